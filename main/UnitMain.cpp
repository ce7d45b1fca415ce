#include "main/UnitMain.h"

#include "Version.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "core/HarvestOptions.h"
#include "core/HarvestSettings.h"
#include "main/MainAria2.h"
#include "main/MainHistory.h"
#include "main/MainListExchange.h"
#include "main/TParseList.h"
#include "main/TPreviewPane.h"
#include "main/TSessionRecorder.h"
#include "platform/ProgramDir.h"
#include "platform/TRegistry.h"
#include "rules/TransferRules.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"
#include "widgets/TPreviewImage.h"
#include "platform/Guarded.h"
#include "widgets/SvgIcon.h"

namespace {
const QString SettingsKey = HarvestSettingsKey();
const QColor Maroon(128, 0, 0);
const QColor Navy(0, 0, 128);
const QColor Blue(0, 0, 255);
const QColor Grey(128, 128, 128);

// A panel that lays out its children itself whenever its size changes, the way fixed
// positions with anchors do; the status bar does the same (its last panel reaches to the edge).
template <class Base>
class TResizing : public Base {
public:
    using Base::Base;
    std::function<void()> OnResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        Base::resizeEvent(event);
        if (OnResize)
            OnResize();
    }
};
using TLayoutFrame = TResizing<QFrame>;
using TStatusPanels = TResizing<QStatusBar>;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QColor& color)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, color);
    label->setPalette(pal);
    return label;
}

QLabel* MakeTitleStrip(QWidget* parent, const char* name, const QString& caption)
{
    auto* strip = new QLabel(caption, parent);
    strip->setObjectName(QLatin1String(name));
    strip->setAlignment(Qt::AlignCenter);
    strip->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return strip;
}

QAction* MakeAction(QMenu* menu, const char* name, const QString& caption, bool checkable = false, bool checked = false)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (checkable) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
    return action;
}

QToolButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                        const QIcon& picture, const QRect& bounds)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(picture);
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);  // flat until the mouse is over it
    button->setGeometry(bounds);
    return button;
}
}  // namespace

const char* const TFormMain::DefaultDocument = "http://www.example.com/index.html";

QString TFormMain::DefaultDownloadDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Kelvorn"));
    // The controls stand at fixed places sized for a small, narrow sans font: take the first
    // such font that is installed.
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setMinimumSize(DesignWidth, 250);
    move(DesignLeft, DesignTop);
    resize(DesignWidth, DesignHeight);

    HarvestOptions = new THarvestOptions(this);
    EndProcessHook = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };

    BuildMenus();
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    BuildTopPanel();
    BuildLists();
    BuildSidePanel();
    column->addWidget(PanelTop);
    MainSplitter = new QSplitter(Qt::Horizontal, central);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    MainSplitter->setHandleWidth(8);
    MainSplitter->setChildrenCollapsible(false);
    MainSplitter->addWidget(ListViewDoc);
    MainSplitter->addWidget(ListViewFile);
    MainSplitter->addWidget(PanelExtra);
    MainSplitter->setStretchFactor(0, 0);
    MainSplitter->setStretchFactor(1, 1);
    MainSplitter->setStretchFactor(2, 0);
    Splitter1 = MainSplitter->handle(1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter2 = MainSplitter->handle(2);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    FitSidePanel();
    ApplySplitterWidths();
    connect(MainSplitter, &QSplitter::splitterMoved, this, [this](int, int) {
        FDocWidth = ListViewDoc->width();
        if (!PanelExtra->isHidden())
            FPreviewWidth = PanelExtra->width();
    });
    column->addWidget(MainSplitter, 1);
    setCentralWidget(central);
    BuildStatusBar();

    ListBoxParse1 = new TParseList(this);
    ListBoxParse1->setObjectName(QStringLiteral("ListBoxParse1"));
    TimerDoc = new QTimer(this);
    TimerDoc->setObjectName(QStringLiteral("TimerDoc"));
    TimerDoc->setInterval(30000);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    // The handlers of this file.
    connect(Quit1, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { Quit1Click(); }); });
    ConnectOption(Addnewfilestoexcistinglistwhenparsing1, &TFormMain::Addnewfilestoexcistinglistwhenparsing1Click);
    ConnectOption(Autoselectdownloadfilesafterparsing1, &TFormMain::Autoselectdownloadfilesafterparsing1Click);
    ConnectOption(Autoselectfirstfilefromeachlink1, &TFormMain::Autoselectfirstfilefromeachlink1Click);
    ConnectOption(Skipfileifexistindownloaddirectory1, &TFormMain::Skipfileifexistindownloaddirectory1Click);
    ConnectOption(Addnewlinksfoundwhenparsingtoexistinglist1,
                  &TFormMain::Addnewlinksfoundwhenparsingtoexistinglist1Click);
    ConnectOption(Addembeddedimageswhenparsing1, &TFormMain::Addembeddedimageswhenparsing1Click);
    ConnectOption(Includelinksonelevelupwhenparsingmaindocument1,
                  &TFormMain::Includelinksonelevelupwhenparsingmaindocument1Click);
    ConnectOption(Beepwhendoneworking1, &TFormMain::Beepwhendoneworking1Click);
    ConnectOption(Usefriendlybossnameontaskbar1, &TFormMain::Usefriendlybossnameontaskbar1Click);
    ConnectOption(Displayimagepreview1, &TFormMain::Displayimagepreview1Click);
    ConnectOption(Letpreviewjumptolatestfiledownloaded1, &TFormMain::Letpreviewjumptolatestfiledownloaded1Click);
    ConnectOption(Autosavelinksfilesasdefaultonquit1, &TFormMain::Autosavelinksfilesasdefaultonquit1Click);
    ConnectOption(Savewindowpositiononexit1, &TFormMain::Savewindowpositiononexit1Click);
    ConnectOption(Findlinksasabrowserdoesmodernpages1, &TFormMain::Findlinksasabrowserdoesmodernpages1Click);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded(lcMain(), [this] { Timer1Timer(); }); });
    connect(ComboBoxBookmark, &TFlatComboBox::TextChanged, this,
            [this] { Guarded(lcMain(), [this] { ComboBoxBookmarkChange(); }); });
    connect(ComboBoxDownload, &TFlatComboBox::TextChanged, this,
            [this] { Guarded(lcMain(), [this] { ComboBoxDownloadChange(); }); });

    WireProgress();
    WireRetrieval();
    WireScanner();
    WireDownload();
    WireListFiles();
    WireListExchange(*this);
    WireAria2(*this);
    WireListCommands();
    WireBookmarks();
    WirePreview();
    WirePicker();

    FormCreate();
    Timer1->start();
    // Once the window is up (and a test's hooks are in place), not inside its construction.
    QMetaObject::invokeMethod(
        this, [this] { Guarded(lcMain(), [this] { LoadListsAtStart(); }); }, Qt::QueuedConnection);
}

TFormMain::~TFormMain() = default;

// ---- Building the window ------------------------------------------------------------------------

void TFormMain::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    File1->menuAction()->setObjectName(QStringLiteral("File1Action"));
    Loadlinksfilelistfromdisk1 =
        MakeAction(File1, "Loadlinksfilelistfromdisk1", QStringLiteral("Load links && file list from disk"));
    Savelinksfilelists1 = MakeAction(File1, "Savelinksfilelists1", QStringLiteral("Save links && file list to disk"));
    File1->addSeparator()->setObjectName(QStringLiteral("N1"));
    Quit1 = MakeAction(File1, "Quit1", QStringLiteral("Quit"));
    File1->setDefaultAction(Quit1);

    Options1 = bar->addMenu(QStringLiteral("&Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    // The items and their separators come from the options table, in its order.
    for (const TOptionInfo& info : OptionTable()) {
        if (info.SeparatorBefore)
            Options1->addSeparator()->setObjectName(QLatin1String(info.SeparatorBefore));
        QAction* item = MakeAction(Options1, info.ItemName, QString::fromLatin1(info.Caption), true, info.Default);
        this->*OptionItems[std::size_t(info.Id)] = item;
        // The menu shows the option; the option's value lives in the harvest options.
        connect(item, &QAction::toggled, HarvestOptions,
                [this, id = info.Id](bool on) { HarvestOptions->Set(id, on); });
    }
    connect(HarvestOptions, &THarvestOptions::Changed, this,
            [this](TOption id, bool on) { (this->*OptionItems[std::size_t(id)])->setChecked(on); });
    MakeHostConnectionsMenu();
    WireHistory(*this);

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help3 = MakeAction(Help1, "Help3", QStringLiteral("Documentation"));
    Help1->addSeparator()->setObjectName(QStringLiteral("N7"));
    Info1 = MakeAction(Help1, "Info1", QStringLiteral("About"));

    PopupMenuDoc = new QMenu(this);
    PopupMenuDoc->setObjectName(QStringLiteral("PopupMenuDoc"));
    Deselectall2 = MakeAction(PopupMenuDoc, "Deselectall2", QStringLiteral("Deselect all"));
    Selectall2 = MakeAction(PopupMenuDoc, "Selectall2", QStringLiteral("Select all"));
    Invertselection2 = MakeAction(PopupMenuDoc, "Invertselection2", QStringLiteral("Invert selection"));
    Selectbykeyword1 = MakeAction(PopupMenuDoc, "Selectbykeyword1", QStringLiteral("Select by keyword"));
    SelectalllinesreferingtomarkedUrl1 = MakeAction(PopupMenuDoc, "SelectalllinesreferingtomarkedUrl1",
                                                    QStringLiteral("Select all lines refering to marked Url"));
    Resetlink1 = MakeAction(PopupMenuDoc, "Resetlink1", QStringLiteral("Reset link"));
    PopupMenuDoc->addSeparator()->setObjectName(QStringLiteral("N9"));
    Deletealllines2 =
        MakeAction(PopupMenuDoc, "Deletealllines2", QStringLiteral("Delete all lines refering to marked Url"));
    PopupMenuDoc->addSeparator()->setObjectName(QStringLiteral("N10"));
    Addbookmark2 = MakeAction(PopupMenuDoc, "Addbookmark2", QStringLiteral("Add to bookmark"));
    N8 = PopupMenuDoc->addSeparator();
    N8->setObjectName(QStringLiteral("N8"));
    Useselectedlineasmaindocumentandparseit1 = MakeAction(PopupMenuDoc, "Useselectedlineasmaindocumentandparseit1",
                                                          QStringLiteral("Use selected doc as main and parse it"));

    PopupMenuFile = new QMenu(this);
    PopupMenuFile->setObjectName(QStringLiteral("PopupMenuFile"));
    Deselectall1 = MakeAction(PopupMenuFile, "Deselectall1", QStringLiteral("Deselect all"));
    Selectall1 = MakeAction(PopupMenuFile, "Selectall1", QStringLiteral("Select all"));
    Invertselection1 = MakeAction(PopupMenuFile, "Invertselection1", QStringLiteral("Invert selection"));
    SelectalllinesreferingtomarkedUrl2 = MakeAction(PopupMenuFile, "SelectalllinesreferingtomarkedUrl2",
                                                    QStringLiteral("Select all lines refering to marked Url"));
    Resetfile1 = MakeAction(PopupMenuFile, "Resetfile1", QStringLiteral("Reset file"));
    PopupMenuFile->addSeparator()->setObjectName(QStringLiteral("N11"));
    Deletealllines1 =
        MakeAction(PopupMenuFile, "Deletealllines1", QStringLiteral("Delete all lines refering to marked Url"));
    PopupMenuFile->addSeparator()->setObjectName(QStringLiteral("N12"));
    Sort = MakeAction(PopupMenuFile, "Sort", QStringLiteral("Sort list"));

    PopupMenuBookmark = new QMenu(this);
    PopupMenuBookmark->setObjectName(QStringLiteral("PopupMenuBookmark"));
    Addbookmark1 = MakeAction(PopupMenuBookmark, "Addbookmark1", QStringLiteral("Add bookmark"));
    PopupMenuBookmark->addSeparator()->setObjectName(QStringLiteral("N13"));
    Deleteentry1 = MakeAction(PopupMenuBookmark, "Deleteentry1", QStringLiteral("Delete bookmark"));
    Deleteallentrys1 = MakeAction(PopupMenuBookmark, "Deleteallentrys1", QStringLiteral("Delete all bookmarks"));

    PopupMenuDownload = new QMenu(this);
    PopupMenuDownload->setObjectName(QStringLiteral("PopupMenuDownload"));
    MenuItem2 = MakeAction(PopupMenuDownload, "MenuItem2", QStringLiteral("Add bookmark"));
    PopupMenuDownload->addSeparator()->setObjectName(QStringLiteral("MenuItem3"));
    MenuItem4 = MakeAction(PopupMenuDownload, "MenuItem4", QStringLiteral("Delete bookmark"));
    MenuItem5 = MakeAction(PopupMenuDownload, "MenuItem5", QStringLiteral("Delete all bookmarks"));
}

void TFormMain::BuildTopPanel()
{
    auto* top = new TLayoutFrame;
    PanelTop = top;
    PanelTop->setObjectName(QStringLiteral("PanelTop"));
    PanelTop->setFrameShape(QFrame::NoFrame);
    PanelTop->setFixedHeight(77);

    ButtonStart = MakeButton(PanelTop, "ButtonStart", QStringLiteral("&Get document"),
                             QStringLiteral("Get main document and parse it for picture links"),
                             SvgIcon(QStringLiteral("button-get")), QRect(4, 4, 129, 41));
    ButtonStop = MakeButton(PanelTop, "ButtonStop", QStringLiteral("&Stop"), QStringLiteral("Stop all operations"),
                            SvgIcon(QStringLiteral("button-stop")), QRect(136, 4, 85, 41));
    ButtonStop->setEnabled(false);
    ButtonParse =
        MakeButton(PanelTop, "ButtonParse", QStringLiteral("&Parse links"), QStringLiteral("Parse all selected links"),
                   SvgIcon(QStringLiteral("button-parse")), QRect(224, 4, 113, 41));
    ButtonParse->setEnabled(false);
    ButtonDownload = MakeButton(PanelTop, "ButtonDownload", QStringLiteral("&Download files"),
                                QStringLiteral("Download all selected files"),
                                SvgIcon(QStringLiteral("button-download")), QRect(340, 4, 130, 41));
    ButtonDownload->setEnabled(false);

    // An empty picture: it stands in the top panel and shows nothing.
    ImageEmpty = new QLabel(PanelTop);
    ImageEmpty->setObjectName(QStringLiteral("ImageEmpty"));
    ImageEmpty->setGeometry(552, 4, 33, 33);

    Label4 = MakeLabel(PanelTop, "Label4", QStringLiteral("Kelvorn"), Grey);
    QFont big = Label4->font();
    big.setPointSize(20);
    big.setBold(true);
    Label4->setFont(big);
    Label4->move(561, -6);
    Label4->adjustSize();
    Label4->setEnabled(false);
    Label3 = MakeLabel(PanelTop, "Label3", QStringLiteral("Version " KELVORN_VERSION), Maroon);
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    Label3->move(565, 26);
    Label3->adjustSize();
    Label3->setEnabled(false);

    Label5 = MakeLabel(PanelTop, "Label5", QStringLiteral("Document:"), Maroon);
    Label5->move(4, 56);
    Label5->adjustSize();
    ComboBoxBookmark = new TFlatComboBox(PanelTop);
    ComboBoxBookmark->setObjectName(QStringLiteral("ComboBoxBookmark"));
    ComboBoxBookmark->setToolTip(
        QStringLiteral("Main document to be retrieved and parsed for links   (Right click menu)"));
    ComboBoxBookmark->setGeometry(60, 52, 410, 21);
    ComboBoxBookmark->SetText(QStringLiteral("http://"));
    ComboBoxBookmark->SetPopupMenu(PopupMenuBookmark);

    Label6 = MakeLabel(PanelTop, "Label6", QStringLiteral("DL dir:"), Maroon);
    Label6->move(480, 56);
    Label6->adjustSize();
    ComboBoxDownload = new TFlatComboBox(PanelTop);
    ComboBoxDownload->setObjectName(QStringLiteral("ComboBoxDownload"));
    ComboBoxDownload->setToolTip(
        QStringLiteral("Where to save downloaded files  -  Double click for directory view   (Right click menu)"));
    ComboBoxDownload->setGeometry(520, 52, 163, 21);
    ComboBoxDownload->SetText(DefaultDownloadDir());
    ComboBoxDownload->SetPopupMenu(PopupMenuDownload);
    SpeedButton1 = MakeButton(PanelTop, "SpeedButton1", QString(), QStringLiteral("Double click for directory list"),
                              SvgIcon(QStringLiteral("button-folder")), QRect(685, 52, 23, 21));

    Image1 = new QLabel(PanelTop);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(SvgPixmap(QStringLiteral("icon-kelvorn"), QSize(32, 32), devicePixelRatioF()));
    Image1->setGeometry(0, 0, 32, 32);
    Image1->hide();
    Image2 = new QLabel(PanelTop);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(SvgPixmap(QStringLiteral("icon-friendly"), QSize(32, 32), devicePixelRatioF()));
    Image2->setGeometry(0, 0, 32, 32);
    Image2->hide();

    top->OnResize = [this] { LayoutTopPanel(); };
}

void TFormMain::LayoutTopPanel()
{
    // The directory field stretches with the window; its button keeps to the right edge.
    const int w = PanelTop->width();
    const int buttonLeft = std::max(520 + 50, w - 4 - 23);
    SpeedButton1->move(buttonLeft, 52);
    ComboBoxDownload->resize(buttonLeft - 2 - 520, 21);
}

void TFormMain::BuildLists()
{
    const QList<QIcon> states = {SvgIcon(QStringLiteral("state-busy")), SvgIcon(QStringLiteral("state-failed")),
                                 SvgIcon(QStringLiteral("state-done")), SvgIcon(QStringLiteral("state-opened")),
                                 SvgIcon(QStringLiteral("state-skipped"))};

    ListViewDoc = new TCheckListView;
    ListViewDoc->setObjectName(QStringLiteral("ListViewDoc"));
    ListViewDoc->setColumnCount(1);
    ListViewDoc->setHeaderLabels({QStringLiteral("Links found in main document and one level up")});
    ListViewDoc->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ListViewDoc->setToolTip(
        QStringLiteral("Select document for parsing - Double click for preview   (Right click menu)"));
    // Captions of documents may be edited in place (F2 or a click on the selected item);
    // a double-click opens the address instead.
    ListViewDoc->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    ListViewDoc->setMinimumHeight(50);
    ListViewDoc->SetStateIcons(states);
    ListViewDoc->SetSorted(true);
    ListViewDoc->SetPopupMenu(PopupMenuDoc);
    QPalette docPal = ListViewDoc->palette();
    docPal.setColor(QPalette::Text, Maroon);
    ListViewDoc->setPalette(docPal);

    ListViewFile = new TCheckListView;
    ListViewFile->setObjectName(QStringLiteral("ListViewFile"));
    ListViewFile->setColumnCount(3);
    ListViewFile->setHeaderLabels(
        {QStringLiteral("Files found in links"), QStringLiteral("Filename"), QStringLiteral("Size")});
    ListViewFile->header()->setStretchLastSection(false);
    ListViewFile->setColumnWidth(0, 215);
    ListViewFile->setColumnWidth(1, 80);
    ListViewFile->setColumnWidth(2, 60);
    ListViewFile->setToolTip(QStringLiteral("Select file for download - Double click for view   (Right click menu)"));
    ListViewFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewFile->setMinimumWidth(50);
    ListViewFile->SetStateIcons(states);
    ListViewFile->SetPopupMenu(PopupMenuFile);
    QPalette filePal = ListViewFile->palette();
    filePal.setColor(QPalette::Text, Blue);
    ListViewFile->setPalette(filePal);
}

void TFormMain::BuildSidePanel()
{
    auto* extra = new TLayoutFrame;
    PanelExtra = extra;
    PanelExtra->setObjectName(QStringLiteral("PanelExtra"));
    PanelExtra->setFrameShape(QFrame::NoFrame);
    PanelExtra->setMinimumWidth(DesignSideWidth);

    auto* preview = new TLayoutFrame(PanelExtra);
    PanelPreview = preview;
    PanelPreview->setObjectName(QStringLiteral("PanelPreview"));
    PanelPreview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelPreview->setMinimumWidth(50);
    Panel3 = MakeTitleStrip(PanelPreview, "Panel3", QStringLiteral("Image preview"));
    Label1 = MakeLabel(PanelPreview, "Label1", QStringLiteral("(auto)"), Maroon);
    Label1->setGeometry(4, 24, 89, 14);
    Label2 = MakeLabel(PanelPreview, "Label2", QStringLiteral("(auto)"), Navy);
    Label2->setGeometry(4, 40, 89, 14);
    ImagePreview = new TPreviewImage(PanelPreview);
    ImagePreview->setObjectName(QStringLiteral("ImagePreview"));
    ImagePreview->setGeometry(2, 57, 92, 68);
    preview->OnResize = [this] {
        const int w = PanelPreview->width();
        Panel3->setGeometry(1, 1, w - 2, 19);
        Label1->resize(std::max(0, w - 8), Label1->height());
        Label2->resize(std::max(0, w - 8), Label2->height());
        // The picture follows the panel's width (3 from its right edge); its height is the preview's.
        ImagePreview->resize(std::max(1, w - 2 - 3), ImagePreview->height());
    };

    auto* download = new TLayoutFrame(PanelExtra);
    PanelDownload = download;
    PanelDownload->setObjectName(QStringLiteral("PanelDownload"));
    PanelDownload->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel5 = MakeTitleStrip(PanelDownload, "Panel5", QStringLiteral("Download progress"));
    for (int i = 0; i < 8; ++i) {
        auto* gauge = new TGauge(PanelDownload);
        gauge->setObjectName(QStringLiteral("Gauge%1").arg(i + 1));
        gauge->SetColors(Navy, QColor(128, 128, 128));
        gauge->SetMinValue(0);
        gauge->SetMaxValue(500);
        gauge->SetProgress(0);
        gauge->SetHint(QStringLiteral("Not active"));
        gauge->setGeometry(4, 24 + 6 * i, 87, 5);
        Gauges[i] = gauge;
    }
    download->OnResize = [this] {
        const int w = PanelDownload->width();
        Panel5->setGeometry(1, 1, w - 2, 19);
        for (TGauge* gauge : Gauges)
            gauge->resize(std::max(1, w - 10), 5);
    };
    extra->OnResize = [this] { LayoutSidePanel(); };
}

void TFormMain::FitSidePanel()
{
    // The design width suits a narrow 8-point font; with the wider fonts of a Linux desktop the
    // panel grows until its fixed texts fit: the two title strips (frame and one pixel each side)
    // and the preview's caption line (4 pixels each side).
    const QFontMetrics metrics(PanelExtra->font());
    const int strip = 2 + 2 * Panel5->frameWidth() + 4;
    const int needed =
        std::max({metrics.horizontalAdvance(Panel3->text()) + strip, metrics.horizontalAdvance(Panel5->text()) + strip,
                  metrics.horizontalAdvance(TPreviewPane::NoImageText()) + 8});
    const int minimum = std::max(DesignSideWidth, needed);
    PanelExtra->setMinimumWidth(minimum);
    FPreviewWidth = std::max(FPreviewWidth, minimum);
}

void TFormMain::LayoutSidePanel()
{
    // The download panel keeps to the bottom, 76 high; the preview fills what is above it.
    const int w = PanelExtra->width();
    const int h = PanelExtra->height();
    const bool download = !PanelDownload->isHidden();
    if (PanelExtra->isVisible())
        FPreviewWidth = w;  // remembered for the time the panel is hidden
    PanelDownload->setGeometry(0, std::max(0, h - 76), w, 76);
    PanelPreview->setGeometry(0, 0, w, download ? std::max(0, h - 76) : h);
}

void TFormMain::BuildStatusBar()
{
    auto* bar = new TStatusPanels(this);
    bar->OnResize = [this] { LayoutStatusBar(); };
    StatusBar1 = bar;
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(20);
    StatusBar1->setSizeGripEnabled(true);
    setStatusBar(StatusBar1);
    static constexpr int Widths[5] = {200, 114, 90, 85, 85};
    int left = 0;
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(2);
        panel->setGeometry(left, 2, Widths[i] - 2, 18);
        left += Widths[i];
        FPanels[i] = panel;
    }
    FPanels[0]->setText(QStringLiteral("Status: Not active"));

    // The indicators lie over the panels; FormCreate gives them their places.
    GaugeDoc = new TGauge(StatusBar1);
    GaugeDoc->setObjectName(QStringLiteral("GaugeDoc"));
    GaugeDoc->SetColors(Navy, QColor(192, 192, 192));
    GaugeDoc->SetMaxValue(0);
    GaugeDoc->SetProgress(0);
    GaugeDoc->hide();
    LedBusy = new TLed(QStringLiteral("Connected / Busy"), StatusBar1);
    LedBusy->setObjectName(QStringLiteral("LedBusy"));
    for (int i = 0; i < 8; ++i) {
        auto* led = new TLed(QString::number(i + 1), StatusBar1);
        led->setObjectName(QStringLiteral("LedEngine%1").arg(i + 1));
        LedEngines[i] = led;
    }
    for (TLed* led : LedEngines) {
        led->SetColor(lcRed);
        led->SetLit(true);
        led->SetLedEnabled(false);
    }
    LedBusy->SetColor(lcRed);
    LedBusy->SetLit(true);
    LedBusy->SetLedEnabled(false);
    LayoutStatusBar();
}

void TFormMain::LayoutStatusBar()
{
    // The last panel reaches to the bar's right edge, as the lights stand beyond its width.
    QLabel* last = FPanels[4];
    last->resize(std::max(85, StatusBar1->width() - last->x()) - 2, last->height());
}

void TFormMain::ConnectOption(QAction* item, void (TFormMain::*handler)())
{
    connect(item, &QAction::triggered, this, [this, item, handler] {
        // The menu has flipped the mark already; the handler flips it itself, as it does when the
        // program calls it.
        item->setChecked(!item->isChecked());
        Guarded(lcMain(), [this, handler] { (this->*handler)(); });
    });
}

// ---- Seams ----------------------------------------------------------------------------------------

int TFormMain::ShowMessage(MsgKind kind, const QString& text)
{
    QString title;
    switch (kind) {
    case MsgKind::Information: title = QStringLiteral("Information"); break;
    case MsgKind::Confirm: title = QStringLiteral("Confirm"); break;
    case MsgKind::Warning: title = QStringLiteral("Warning"); break;
    case MsgKind::Error: title = QStringLiteral("Error"); break;
    }
    if (MessageBoxHook)
        return MessageBoxHook(kind, title, text);
    QMessageBox box(this);
    box.setWindowTitle(title);
    box.setText(text);
    switch (kind) {
    case MsgKind::Information: box.setIcon(QMessageBox::Information); break;
    case MsgKind::Confirm: box.setIcon(QMessageBox::Question); break;
    case MsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgKind::Error: box.setIcon(QMessageBox::Critical); break;
    }
    if (kind == MsgKind::Confirm) {
        QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.exec();
        return box.clickedButton() == yes ? mrYes : mrNo;
    }
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
    return mrOk;
}

void TFormMain::Beep()
{
    if (BeepHook)
        BeepHook();
    else
        QApplication::beep();
}

void TFormMain::ProcessMessages() { QCoreApplication::processEvents(); }

void TFormMain::SetPanelText(int panel, const QString& text)
{
    if (panel < 0 || panel >= int(FPanels.size()))
        return;
    QLabel* label = FPanels[panel];
    label->setText(text);
    // A status with a failure's reason can be longer than its panel: the whole text is then
    // the panel's hint.
    const int room = label->contentsRect().width() - label->indent();
    label->setToolTip(label->fontMetrics().horizontalAdvance(text) > room ? text : QString());
}

QString TFormMain::PanelText(int panel) const
{
    return panel >= 0 && panel < int(FPanels.size()) ? FPanels[panel]->text() : QString();
}

void TFormMain::SetStatusText(const QString& text) { SetPanelText(0, text); }

QString TFormMain::StatusText() const { return PanelText(0); }

// ---- Start-up and shut-down -------------------------------------------------------------------------

void TFormMain::FormCreate()
{
    // 1. The preview labels' design text is not shown.
    Label1->clear();
    Label2->clear();
    // 2. Run-time fields.
    Busy = false;
    StopRequested = false;
    CurrentFileIndex = -1;
    CurrentDocIndex = -1;
    ListViewFile->Tag = 0;
    // 3. The indicators in the status bar.
    LedBusy->setGeometry(206, 3, 105, 16);
    for (int i = 0; i < 8; ++i)
        LedEngines[i]->setGeometry(495 + 25 * i, 3, 25, 16);
    GaugeDoc->setGeometry(3, 4, 193, 14);
    GaugeDoc->raise();
    LedBusy->raise();
    for (TLed* led : LedEngines)
        led->raise();
    LedBusy->OnChangeState = [this](TLed* sender) { Guarded(lcMain(), [this, sender] { UpdateScreen(sender); }); };
    // 4.
    ComboBoxBookmarkChange();
    // 5.
    ReadSettings();
    // 6.
    UpdateScreen();
    // 7.
    ApplyTaskbarOption();
    // 8.
    PanelPreview->setVisible(Displayimagepreview1->isChecked());
    PanelDownload->setVisible(Displaydownloadengineprogress1->isChecked());
    UpdatePanels();
    // 9.
    Loadlinksfilelistfromdisk1->setEnabled(QFile::exists(DataDir() + QStringLiteral("Kelvorn.dir")));
    // 10.
    if (ComboBoxBookmark->Text().isEmpty())
        ComboBoxBookmark->SetText(QString::fromLatin1(DefaultDocument));
    if (ComboBoxDownload->Text().isEmpty()) {
        // Made before the field shows it, so that a fresh account's missing download directory
        // is neither coloured nor warned about before the user did anything.
        CreateDefaultDownloadDir();
        ComboBoxDownload->SetText(DefaultDownloadDir());
    }
}

// The menu item of each option, in the order of TOption.
QAction* TFormMain::*const TFormMain::OptionItems[OptionCount] = {
    &TFormMain::Addnewfilestoexcistinglistwhenparsing1,
    &TFormMain::Autoselectdownloadfilesafterparsing1,
    &TFormMain::Autoselectfirstfilefromeachlink1,
    &TFormMain::Skipfileifexistindownloaddirectory1,
    &TFormMain::Addnewlinksfoundwhenparsingtoexistinglist1,
    &TFormMain::Addembeddedimageswhenparsing1,
    &TFormMain::Includelinksonelevelupwhenparsingmaindocument1,
    &TFormMain::Beepwhendoneworking1,
    &TFormMain::Usefriendlybossnameontaskbar1,
    &TFormMain::Displaydownloadengineprogress1,
    &TFormMain::Displayimagepreview1,
    &TFormMain::Letpreviewjumptolatestfiledownloaded1,
    &TFormMain::Autosavelinksfilesasdefaultonquit1,
    &TFormMain::Savewindowpositiononexit1,
    &TFormMain::Findlinksasabrowserdoesmodernpages1,
    &TFormMain::Skipfilesdownloadedbefore1,
};

void TFormMain::MakeHostConnectionsMenu()
{
    Options1->addSeparator()->setObjectName(QStringLiteral("N15"));
    Connectionsperhost1 = Options1->addMenu(QLatin1String(HostConnectionsOption.Caption));
    Connectionsperhost1->setObjectName(QLatin1String(HostConnectionsOption.MenuName));
    auto* choices = new QActionGroup(Connectionsperhost1);
    for (const int connections : HostConnectionChoices) {
        const QByteArray name = QByteArray(HostConnectionsOption.MenuName).chopped(1) + QByteArray::number(connections);
        QAction* item = MakeAction(Connectionsperhost1, name.constData(), QString::number(connections), true,
                                   connections == HarvestOptions->HostConnections());
        choices->addAction(item);
        connect(item, &QAction::triggered, HarvestOptions,
                [this, connections] { HarvestOptions->SetHostConnections(connections); });
    }
    connect(HarvestOptions, &THarvestOptions::HostConnectionsChanged, this, [this](int connections) {
        for (QAction* item : Connectionsperhost1->actions())
            item->setChecked(item->text() == QString::number(connections));
    });
}

void TFormMain::ReadSettings()
{
    TRegistry reg;
    if (!reg.OpenKey(SettingsKey, true))
        return;
    // Texts: absent ones read as empty. Every stored value is text in this store, so none is
    // mistyped.
    ComboBoxDownload->SetText(reg.ReadString(QStringLiteral("DownloadDir")));
    ComboBoxBookmark->SetText(reg.ReadString(QStringLiteral("LastDocument")));
    ComboBoxBookmark->SetEntries(StringsFromText(reg.ReadString(QStringLiteral("Bookmark"))));
    ComboBoxDownload->SetEntries(StringsFromText(reg.ReadString(QStringLiteral("Download"))));

    HarvestOptions->ReadGroup(reg);

    ReadGeometry(reg);

    // Read apart from the groups above, which end at their first absent value: settings
    // written before such an option existed keep their meaning.
    HarvestOptions->ReadApart(reg);
}

void TFormMain::ReadGeometry(TRegistry& reg)
{
    if (!Savewindowpositiononexit1->isChecked())
        return;
    const auto read = [&reg](const char* name) { return reg.ReadInteger(QLatin1String(name)); };
    const auto top = read("FormTop");
    if (!top)
        return;
    move(x(), *top);
    const auto left = read("FormLeft");
    if (!left)
        return;
    move(*left, y());
    const auto height = read("FormHeight");
    if (!height)
        return;
    resize(width(), *height);
    const auto width = read("FormWidth");
    if (!width)
        return;
    resize(*width, this->height());
    const auto docWidth = read("DocWidth");
    if (!docWidth)
        return;
    FDocWidth = std::max(0, *docWidth);
    ApplySplitterWidths();
    const auto previewWidth = read("PreviewWidth");
    if (!previewWidth)
        return;
    FPreviewWidth = std::max(PanelExtra->minimumWidth(), *previewWidth);
    ApplySplitterWidths();
    const char* const columns[3] = {"FileCol0", "FileCol1", "FileCol2"};
    for (int c = 0; c < 3; ++c) {
        const auto columnWidth = read(columns[c]);
        if (!columnWidth)
            return;
        ListViewFile->setColumnWidth(c, std::max(0, *columnWidth));
    }
}

void TFormMain::ApplySplitterWidths()
{
    // The file list takes what the two side widths and the handles leave.
    const int handles = 2 * MainSplitter->handleWidth();
    MainSplitter->setSizes({FDocWidth, std::max(50, width() - FDocWidth - FPreviewWidth - handles), FPreviewWidth});
}

int TFormMain::DocWidthNow() const { return MainSplitter->isVisible() ? ListViewDoc->width() : FDocWidth; }

int TFormMain::PreviewWidthNow() const
{
    // While the side panel is hidden its width stays what it was.
    return MainSplitter->isVisible() && PanelExtra->isVisible() ? PanelExtra->width() : FPreviewWidth;
}

void TFormMain::WriteSettings()
{
    TRegistry reg;
    reg.OpenKey(SettingsKey, true);
    HarvestOptions->WriteGroup(reg);
    reg.WriteString(QStringLiteral("LastDocument"), ComboBoxBookmark->Text());
    reg.WriteString(QStringLiteral("DownloadDir"), ComboBoxDownload->Text());
    reg.WriteString(QStringLiteral("Bookmark"), TextFromStrings(ComboBoxBookmark->Entries()));
    reg.WriteString(QStringLiteral("Download"), TextFromStrings(ComboBoxDownload->Entries()));
    // The geometry is written always; the option only decides whether it is read back.
    reg.WriteInteger(QStringLiteral("FormTop"), y());
    reg.WriteInteger(QStringLiteral("FormLeft"), x());
    reg.WriteInteger(QStringLiteral("FormHeight"), height());
    reg.WriteInteger(QStringLiteral("FormWidth"), width());
    reg.WriteInteger(QStringLiteral("DocWidth"), DocWidthNow());
    reg.WriteInteger(QStringLiteral("PreviewWidth"), PreviewWidthNow());
    reg.WriteInteger(QStringLiteral("FileCol0"), ListViewFile->columnWidth(0));
    reg.WriteInteger(QStringLiteral("FileCol1"), ListViewFile->columnWidth(1));
    reg.WriteInteger(QStringLiteral("FileCol2"), ListViewFile->columnWidth(2));
    HarvestOptions->WriteApart(reg);
    reg.CloseKey();
}

void TFormMain::FormClose()
{
    Guarded(lcMain(), [this] { WriteSettings(); });
    if (Autosavelinksfilesasdefaultonquit1->isChecked() && SaveListsOnExit)
        Guarded(lcMain(), [this] { SaveListsOnExit(); });
    Guarded(lcMain(), [this] { FlushSession(); });
    if (EndProcessHook)
        EndProcessHook();
}

void TFormMain::Quit1Click() { close(); }

void TFormMain::FormActivate()
{
    // Closing the warning activates the window again: a check already running, or a warning
    // already given for this same text, shows nothing more.
    const TCommandGuard check(FCommands, TCommand::ActivateCheck);
    if (!check)
        return;
    const QString directory = ComboBoxDownload->Text();
    if (DirectoryOk(directory)) {
        FDirectoryWarned = false;
        return;
    }
    if (FDirectoryWarned && directory == FWarnedDirectory)
        return;
    FDirectoryWarned = true;
    FWarnedDirectory = directory;
    Guarded(lcMain(), [this] {
        ComboBoxDownloadChange();
        ShowMessage(MsgKind::Warning, QStringLiteral("Specified download directory don't exist !"));
        ComboBoxDownload->setFocus();
    });
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TFormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // Checked once the activation itself is done, so that the warning is not shown from
        // inside the window system's activation.
        QMetaObject::invokeMethod(
            this, [this] { Guarded(lcMain(), [this] { FormActivate(); }); }, Qt::QueuedConnection);
    }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    return EventFilterListCommands(watched, event) || EventFilterBookmarks(watched, event)
        || QMainWindow::eventFilter(watched, event);
}

// ---- Busy look ----------------------------------------------------------------------------------------

void TFormMain::UpdateScreen(TLed*)
{
    // Every step sets a property from the current state: a change of LedBusy (step 3) runs this
    // method again from the start before this run goes on.
    const bool idle = !Busy;
    for (QAction* item : {Deselectall1, Selectall1, Invertselection1, SelectalllinesreferingtomarkedUrl2, Resetfile1,
                          Deletealllines1, Sort, Deletealllines2, Useselectedlineasmaindocumentandparseit1})
        item->setEnabled(idle);
    Letpreviewjumptolatestfiledownloaded1->setEnabled(Displayimagepreview1->isChecked());
    LedBusy->SetLedEnabled(Busy);
    const bool busyLook = LedBusy->LedEnabled();
    ButtonStop->setEnabled(busyLook);
    ButtonStart->setEnabled(!busyLook);
    Useselectedlineasmaindocumentandparseit1->setVisible(!busyLook);
    N8->setVisible(!busyLook);
    Includelinksonelevelupwhenparsingmaindocument1->setVisible(!busyLook);
    ButtonDownload->setEnabled(ListViewFile->Count() > 0 && !busyLook);
    ButtonParse->setEnabled(ListViewDoc->Count() > 0 && !busyLook);
    if (!Usefriendlybossnameontaskbar1->isChecked())
        setWindowTitle(Busy ? QStringLiteral("Kelvorn - Busy") : QStringLiteral("Kelvorn"));
    ListViewDoc->headerItem()->setText(0,
                                       Includelinksonelevelupwhenparsingmaindocument1->isChecked()
                                           ? QStringLiteral("Links found in main document and one level up")
                                           : QStringLiteral("Links found in main document"));
    Savelinksfilelists1->setEnabled(ListViewDoc->Count() > 0);
    const bool fileMenu = !ButtonStop->isEnabled();
    File1->menuAction()->setEnabled(fileMenu);
    File1->setEnabled(fileMenu);
    ListViewFile->SetPopupAllowed(ListViewFile->Count() > 0);
    ListViewDoc->SetPopupAllowed(ListViewDoc->Count() > 0);
}

// ---- Options ------------------------------------------------------------------------------------------

namespace {
void Flip(QAction* item) { item->setChecked(!item->isChecked()); }
}  // namespace

void TFormMain::ApplyTaskbarOption()
{
    const bool friendly = Usefriendlybossnameontaskbar1->isChecked();
    setWindowTitle(friendly ? QStringLiteral("Untitled - Notepad") : QStringLiteral("Kelvorn"));
    // Image1 and Image2 show the same drawings; the icon itself scales with the screen.
    const QIcon icon = SvgIcon(friendly ? QStringLiteral("icon-friendly") : QStringLiteral("icon-kelvorn"));
    setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
}

void TFormMain::Addnewfilestoexcistinglistwhenparsing1Click() { Flip(Addnewfilestoexcistinglistwhenparsing1); }
void TFormMain::Autoselectdownloadfilesafterparsing1Click() { Flip(Autoselectdownloadfilesafterparsing1); }
void TFormMain::Autoselectfirstfilefromeachlink1Click() { Flip(Autoselectfirstfilefromeachlink1); }
void TFormMain::Skipfileifexistindownloaddirectory1Click() { Flip(Skipfileifexistindownloaddirectory1); }
void TFormMain::Addnewlinksfoundwhenparsingtoexistinglist1Click() { Flip(Addnewlinksfoundwhenparsingtoexistinglist1); }
void TFormMain::Addembeddedimageswhenparsing1Click() { Flip(Addembeddedimageswhenparsing1); }
void TFormMain::Beepwhendoneworking1Click() { Flip(Beepwhendoneworking1); }
void TFormMain::Letpreviewjumptolatestfiledownloaded1Click() { Flip(Letpreviewjumptolatestfiledownloaded1); }
void TFormMain::Autosavelinksfilesasdefaultonquit1Click() { Flip(Autosavelinksfilesasdefaultonquit1); }
void TFormMain::Savewindowpositiononexit1Click() { Flip(Savewindowpositiononexit1); }
void TFormMain::Findlinksasabrowserdoesmodernpages1Click() { Flip(Findlinksasabrowserdoesmodernpages1); }

void TFormMain::Includelinksonelevelupwhenparsingmaindocument1Click()
{
    Flip(Includelinksonelevelupwhenparsingmaindocument1);
    UpdateScreen();
}

void TFormMain::Usefriendlybossnameontaskbar1Click()
{
    Flip(Usefriendlybossnameontaskbar1);
    ApplyTaskbarOption();
}

void TFormMain::Displayimagepreview1Click()
{
    Flip(Displayimagepreview1);
    PanelPreview->setVisible(Displayimagepreview1->isChecked());
    UpdatePanels();
    UpdateScreen();
}
