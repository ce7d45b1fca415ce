// The main window: its controls and menus, start-up and shut-down with the settings store,
// the busy look, the options, the side panel and the status displays.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "main/UnitMain.h"
#include "platform/TRegistry.h"
#include "support/IsolatedSettings.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"
#include "widgets/TPreviewImage.h"

namespace {
const QString Key = QStringLiteral("\\SoftWare\\Kelvorn");

struct Option {
    const char* value;
    const char* item;
    bool byDefault;
};
// In the order the start-up reads them.
const Option Options[14] = {
    {"SkipFile", "Skipfileifexistindownloaddirectory1", true},
    {"AutoDownload", "Autoselectdownloadfilesafterparsing1", false},
    {"AutoSave", "Autosavelinksfilesasdefaultonquit1", false},
    {"BossName", "Usefriendlybossnameontaskbar1", false},
    {"AddFilesWhenParse", "Addnewfilestoexcistinglistwhenparsing1", false},
    {"ParseOneLevelUp", "Includelinksonelevelupwhenparsingmaindocument1", false},
    {"Beep", "Beepwhendoneworking1", true},
    {"Preview", "Displayimagepreview1", true},
    {"IncludeEmb", "Addembeddedimageswhenparsing1", true},
    {"PreviewJump", "Letpreviewjumptolatestfiledownloaded1", false},
    {"SaveWindow", "Savewindowpositiononexit1", false},
    {"AddLinks", "Addnewlinksfoundwhenparsingtoexistinglist1", true},
    {"SelectFirst", "Autoselectfirstfilefromeachlink1", false},
    {"ShowProgress", "Displaydownloadengineprogress1", true},
};
const char* const GeometryValues[9] = {"FormTop",      "FormLeft", "FormHeight", "FormWidth", "DocWidth",
                                       "PreviewWidth", "FileCol0", "FileCol1",   "FileCol2"};

struct Recorded {
    QStringList titles;
    QStringList texts;
    int ends = 0;
    int beeps = 0;
};

// A main window whose message boxes, beeps and process end are recorded instead of shown.
std::unique_ptr<TFormMain> MakeWindow(Recorded& seen)
{
    auto window = std::make_unique<TFormMain>();
    window->MessageBoxHook = [&seen](MsgKind, const QString& title, const QString& text) {
        seen.titles << title;
        seen.texts << text;
        return int(mrOk);
    };
    window->EndProcessHook = [&seen] { ++seen.ends; };
    window->BeepHook = [&seen] { ++seen.beeps; };
    return window;
}

QAction* Item(TFormMain& window, const char* name)
{
    auto* action = window.findChild<QAction*>(QLatin1String(name));
    if (!action)
        qFatal("no menu item %s", name);
    return action;
}

void WriteValues(const QList<QPair<QString, QVariant>>& values)
{
    TRegistry reg;
    reg.OpenKey(Key, true);
    for (const auto& [name, value] : values) {
        if (value.typeId() == QMetaType::Int)
            reg.WriteInteger(name, value.toInt());
        else
            reg.WriteString(name, value.toString());
    }
    reg.CloseKey();
}

QStringList MenuTexts(const QMenu* menu)
{
    QStringList out;
    for (const QAction* action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

void Close(TFormMain& window) { window.FormClose(); }
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void everyControlAndItemHasItsName();
    void topPanelControls_data();
    void topPanelControls();
    void menusHoldTheirItemsInOrder();
    void firstStartWithoutSettings();
    void firstStartMakesTheDesktopDownloadDirectory_data();
    void firstStartMakesTheDesktopDownloadDirectory();
    void loadCommandFollowsTheDirectoryFile();
    void optionGroupEndsAtFirstAbsentOrMistypedValue_data();
    void optionGroupEndsAtFirstAbsentOrMistypedValue();
    void modernLinksValueStandsApart_data();
    void modernLinksValueStandsApart();
    void geometryReadOnlyWithItsOption_data();
    void geometryReadOnlyWithItsOption();
    void settingsFileAfterExit();
    void settingsRoundTrip();
    void idleAndBusyLooks();
    void busyLightChangeUpdatesTheScreen();
    void popupMenusOpenOnRightClick();
    void optionHandlers();
    void sidePanelFollowsItsTwoOptions_data();
    void sidePanelFollowsItsTwoOptions();
    void sidePanelLayout();
    void countersAndDocumentBar();
    void directoryTest_data();
    void directoryTest();
    void downloadFieldColourAndStartButton();
    void activationWarnsOnceForABadDirectory();
    void activationByTheWindowSystem();
    void messageBoxesAndBeep();
};

void TestMainWindow::everyControlAndItemHasItsName()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    // clang-format off
    const QStringList names = {
        "PanelTop", "ButtonStart", "ButtonStop", "ButtonParse", "ButtonDownload", "Label3", "Label4", "Label5",
        "Label6", "ComboBoxBookmark", "ComboBoxDownload", "SpeedButton1", "Image1", "Image2", "ImageEmpty",
        "ListBoxParse1", "ListViewDoc", "ListViewFile", "Splitter1", "Splitter2", "PanelExtra", "PanelPreview",
        "Panel3", "Label1", "Label2", "ImagePreview", "PanelDownload", "Panel5", "Gauge1", "Gauge2", "Gauge3",
        "Gauge4", "Gauge5", "Gauge6", "Gauge7", "Gauge8", "StatusBar1", "GaugeDoc", "LedBusy", "LedEngine1",
        "LedEngine2", "LedEngine3", "LedEngine4", "LedEngine5", "LedEngine6", "LedEngine7", "LedEngine8",
        "TimerDoc", "Timer1", "File1", "Loadlinksfilelistfromdisk1", "Savelinksfilelists1", "Quit1", "Options1",
        "Help1", "Help3", "Info1", "PopupMenuDoc", "Deselectall2", "Selectall2", "Invertselection2",
        "Selectbykeyword1", "SelectalllinesreferingtomarkedUrl1", "Resetlink1", "Deletealllines2", "Addbookmark2",
        "N8", "Useselectedlineasmaindocumentandparseit1", "PopupMenuFile", "Deselectall1", "Selectall1",
        "Invertselection1", "SelectalllinesreferingtomarkedUrl2", "Resetfile1", "Deletealllines1", "Sort",
        "PopupMenuBookmark", "Addbookmark1", "Deleteentry1", "Deleteallentrys1", "PopupMenuDownload", "MenuItem2",
        "MenuItem4", "MenuItem5"};
    // clang-format on
    for (const QString& name : names)
        QVERIFY2(window->findChild<QObject*>(name), qPrintable(name));
    for (const Option& option : Options)
        QVERIFY2(window->findChild<QAction*>(QLatin1String(option.item)), option.item);
    // The named pointers are the named objects.
    QCOMPARE(window->findChild<QObject*>(QStringLiteral("Gauge8")), window->Gauges[7]);
    QCOMPARE(window->findChild<QObject*>(QStringLiteral("LedEngine1")), window->LedEngines[0]);
    QCOMPARE(window->findChild<QObject*>(QStringLiteral("Splitter2")), window->Splitter2);
    QVERIFY(window->N8->isSeparator());
    QCOMPARE(window->TimerDoc->interval(), 30000);
    QVERIFY(!window->TimerDoc->isActive());
    QCOMPARE(window->Timer1->interval(), 1000);
    QVERIFY(window->Timer1->isActive());
    QVERIFY(window->Image1->isHidden());
    QVERIFY(window->Image2->isHidden());
    QCOMPARE(window->Image1->pixmap().size(), QSize(32, 32));
    QCOMPARE(window->Image2->pixmap().size(), QSize(32, 32));
}

void TestMainWindow::topPanelControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<bool>("enabled");
    // clang-format off
    QTest::newRow("ButtonStart") << "ButtonStart" << "&Get document"
                                 << "Get main document and parse it for picture links" << QRect(4, 4, 129, 41) << true;
    QTest::newRow("ButtonStop") << "ButtonStop" << "&Stop" << "Stop all operations" << QRect(136, 4, 85, 41)
                                << false;
    QTest::newRow("ButtonParse") << "ButtonParse" << "&Parse links" << "Parse all selected links"
                                 << QRect(224, 4, 113, 41) << false;
    QTest::newRow("ButtonDownload") << "ButtonDownload" << "&Download files" << "Download all selected files"
                                    << QRect(340, 4, 130, 41) << false;
    QTest::newRow("ComboBoxBookmark")
        << "ComboBoxBookmark" << QString::fromLatin1(TFormMain::DefaultDocument)
        << "Main document to be retrieved and parsed for links   (Right click menu)" << QRect(60, 52, 410, 21) << true;
    QTest::newRow("Label5") << "Label5" << "Document:" << QString() << QRect(4, 56, -1, -1) << true;
    QTest::newRow("Label6") << "Label6" << "DL dir:" << QString() << QRect(480, 56, -1, -1) << true;
    QTest::newRow("Label4") << "Label4" << "Kelvorn" << QString() << QRect(561, -6, -1, -1) << false;
    QTest::newRow("Label3") << "Label3" << "Version 1.31" << QString() << QRect(565, 26, -1, -1) << false;
    QTest::newRow("ImageEmpty") << "ImageEmpty" << QString() << QString() << QRect(552, 4, 33, 33) << true;
    // clang-format on
}

void TestMainWindow::topPanelControls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QFETCH(QRect, bounds);
    QFETCH(bool, enabled);
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    auto* widget = window->findChild<QWidget*>(name);
    QVERIFY(widget);
    if (auto* button = qobject_cast<QToolButton*>(widget))
        QCOMPARE(button->text(), text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    else if (auto* combo = qobject_cast<TFlatComboBox*>(widget))
        QCOMPARE(combo->Text(), text);
    QCOMPARE(widget->toolTip(), hint);
    QCOMPARE(widget->pos(), bounds.topLeft());
    if (bounds.width() > 0)
        QCOMPARE(widget->size(), bounds.size());
    QCOMPARE(widget->isEnabled(), enabled);
}

void TestMainWindow::menusHoldTheirItemsInOrder()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    QCOMPARE(window->menuBar()->actions().size(), 3);
    QCOMPARE(window->menuBar()->actions().at(0)->text(), QStringLiteral("&File"));
    QCOMPARE(window->menuBar()->actions().at(1)->text(), QStringLiteral("&Options"));
    QCOMPARE(window->menuBar()->actions().at(2)->text(), QStringLiteral("&Help"));
    QCOMPARE(MenuTexts(window->File1),
             (QStringList{"Load links && file list from disk", "Save links && file list to disk", "Export list...",
                          "Import list...", "Send to aria2...", "-", "Quit"}));
    QCOMPARE(window->File1->defaultAction(), window->Quit1);
    QCOMPARE(MenuTexts(window->Options1),
             (QStringList{"Add new files to excisting list when parsing",
                          "Auto select && download files after parsing",
                          "Auto select first file from each link parsed",
                          "-",
                          "Skip file if exist in download directory   (Unchecked it renames file automatic)",
                          "-",
                          "Add child links found when parsing to existing list",
                          "Add embedded images when parsing (\"Html pictures\")",
                          "Include links one level up when parsing main document (Recourse)",
                          "-",
                          "Beep when done working",
                          "Use friendly name on taskbar  (Your boss may look)",
                          "-",
                          "Display download engine progress",
                          "Display image preview",
                          "Preview latest file downloaded automatic",
                          "-",
                          "Save links && files on program exit",
                          "Save window position && size on program exit",
                          "-",
                          "Find links as a browser does (modern pages)",
                          "-",
                          "Skip files downloaded before",
                          "Forget download history",
                          "-",
                          "Connections per host (modern pages)"}));
    for (QAction* action : window->Options1->actions())
        QVERIFY(action->isSeparator() || action->isCheckable() || action->menu() == window->Connectionsperhost1
                || action == window->Forgetdownloadhistory1);
    // One of four, two at first.
    QCOMPARE(MenuTexts(window->Connectionsperhost1), (QStringList{"1", "2", "4", "8"}));
    for (QAction* action : window->Connectionsperhost1->actions())
        QCOMPARE(action->isChecked(), action->text() == QStringLiteral("2"));
    QCOMPARE(MenuTexts(window->Help1), (QStringList{"Documentation", "-", "About"}));
    QCOMPARE(MenuTexts(window->PopupMenuDoc),
             (QStringList{"Deselect all", "Select all", "Invert selection", "Select by keyword",
                          "Select all lines refering to marked Url", "Reset link", "-",
                          "Delete all lines refering to marked Url", "-", "Add to bookmark", "-",
                          "Use selected doc as main and parse it"}));
    QCOMPARE(window->PopupMenuDoc->actions().at(10), window->N8);
    QCOMPARE(MenuTexts(window->PopupMenuFile),
             (QStringList{"Deselect all", "Select all", "Invert selection", "Select all lines refering to marked Url",
                          "Reset file", "-", "Delete all lines refering to marked Url", "-", "Sort list"}));
    const QStringList fieldMenu{"Add bookmark", "-", "Delete bookmark", "Delete all bookmarks"};
    QCOMPARE(MenuTexts(window->PopupMenuBookmark), fieldMenu);
    QCOMPARE(MenuTexts(window->PopupMenuDownload), fieldMenu);
}

void TestMainWindow::firstStartWithoutSettings()
{
    IsolatedSettings isolated;
    QVERIFY(!QFile::exists(isolated.SettingsFile()));
    Recorded seen;
    auto window = MakeWindow(seen);
    for (const Option& option : Options)
        QVERIFY2(Item(*window, option.item)->isChecked() == option.byDefault, option.value);
    // Design-time bounds, lists and fields.
    QCOMPARE(window->pos(), QPoint(198, 188));
    QCOMPARE(window->size(), QSize(720, 540));
    QCOMPARE(window->minimumSize(), QSize(720, 250));
    QCOMPARE(window->ListViewFile->columnWidth(0), 215);
    QCOMPARE(window->ListViewFile->columnWidth(1), 80);
    QCOMPARE(window->ListViewFile->columnWidth(2), 60);
    QCOMPARE(window->ComboBoxBookmark->Text(), QString::fromLatin1(TFormMain::DefaultDocument));
    QVERIFY(window->ComboBoxBookmark->Text().startsWith(QStringLiteral("http://")));
    QCOMPARE(window->ComboBoxDownload->Text(), TFormMain::DefaultDownloadDir());
    QVERIFY(!window->ComboBoxDownload->Text().isEmpty());
    QVERIFY(window->ComboBoxBookmark->Entries().isEmpty());
    QVERIFY(window->ComboBoxDownload->Entries().isEmpty());
    // Run-time fields and displays.
    QVERIFY(!window->Busy);
    QVERIFY(!window->StopRequested);
    QCOMPARE(window->CurrentDocIndex, -1);
    QCOMPARE(window->CurrentFileIndex, -1);
    QCOMPARE(window->ListViewFile->Tag.load(), 0);
    QCOMPARE(window->Label1->text(), QString());
    QCOMPARE(window->Label2->text(), QString());
    QCOMPARE(window->StatusText(), QStringLiteral("Status: Not active"));
    QCOMPARE(window->PanelText(2), QString());
    QCOMPARE(window->PanelText(3), QString());
    QVERIFY(window->GaugeDoc->isHidden());
    QCOMPARE(window->GaugeDoc->geometry(), QRect(3, 4, 193, 14));
    QCOMPARE(window->GaugeDoc->MaxValue(), 0);
    QCOMPARE(window->LedBusy->Caption(), QStringLiteral("Connected / Busy"));
    QCOMPARE(window->LedBusy->geometry().topLeft(), QPoint(206, 3));
    QCOMPARE(window->LedBusy->width(), 105);
    QVERIFY(!window->LedBusy->LedEnabled());
    QVERIFY(window->LedBusy->Lit());
    for (int i = 0; i < 8; ++i) {
        TLed* led = window->LedEngines[i];
        QCOMPARE(led->Caption(), QString::number(i + 1));
        QCOMPARE(led->geometry().topLeft(), QPoint(495 + 25 * i, 3));
        QCOMPARE(led->width(), 25);
        QVERIFY(!led->LedEnabled());
        QVERIFY(led->Lit());
        QCOMPARE(led->Color(), lcRed);
        TGauge* gauge = window->Gauges[i];
        QCOMPARE(gauge->MaxValue(), 500);
        QCOMPARE(gauge->Progress(), 0);
        QCOMPARE(gauge->Hint(), QStringLiteral("Not active"));
        QCOMPARE(gauge->geometry().topLeft(), QPoint(4, 24 + 6 * i));
        QCOMPARE(gauge->height(), 5);
    }
    // The idle look of a first start.
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvorn"));
    QVERIFY(window->ButtonStart->isEnabled());
    QVERIFY(!window->ButtonStop->isEnabled());
    QVERIFY(!window->ButtonParse->isEnabled());
    QVERIFY(!window->ButtonDownload->isEnabled());
    QVERIFY(!window->Savelinksfilelists1->isEnabled());
    QVERIFY(!window->Loadlinksfilelistfromdisk1->isEnabled());
    QVERIFY(!window->ListViewDoc->PopupAllowed());
    QVERIFY(!window->ListViewFile->PopupAllowed());
    QCOMPARE(window->ListViewDoc->headerItem()->text(0), QStringLiteral("Links found in main document"));
    QVERIFY(window->ListViewDoc->Sorted());
    QVERIFY(!window->ListViewFile->Sorted());
    // The key is created and filled at the end.
    Close(*window);
    QCOMPARE(seen.ends, 1);
    QVERIFY(QFile::exists(isolated.SettingsFile()));
    TRegistry reg;
    QVERIFY(reg.OpenKey(Key, false));
    QCOMPARE(reg.ReadInteger(QStringLiteral("DocWidth")), std::optional<int32_t>(241));
    QCOMPARE(reg.ReadInteger(QStringLiteral("PreviewWidth")),
             std::optional<int32_t>(window->PanelExtra->minimumWidth()));
    QVERIFY(window->PanelExtra->minimumWidth() >= 97);
}

void TestMainWindow::firstStartMakesTheDesktopDownloadDirectory_data()
{
    QTest::addColumn<bool>("firstStart");
    QTest::addColumn<bool>("made");
    QTest::newRow("no settings: the default is made, no warning") << true << true;
    QTest::newRow("a stored directory that is gone: warned, nothing made") << false << false;
}

void TestMainWindow::firstStartMakesTheDesktopDownloadDirectory()
{
    QFETCH(bool, firstStart);
    QFETCH(bool, made);
    IsolatedSettings isolated;
    const QString desktop = isolated.DesktopDownloadDirectory();
    QCOMPARE(TFormMain::DefaultDownloadDir(), desktop);
    const QString stored = isolated.Root() + QStringLiteral("/old/downloads");
    if (!firstStart)
        WriteValues({{QStringLiteral("DownloadDir"), stored}});
    Recorded seen;
    auto window = MakeWindow(seen);
    QCOMPARE(window->ComboBoxDownload->Text(), firstStart ? desktop : stored);
    QCOMPARE(QFileInfo(desktop).isDir(), made);
    QVERIFY(!QFileInfo::exists(stored));
    window->FormActivate();
    QCOMPARE(seen.texts.isEmpty(), made);
    QCOMPARE(window->ComboBoxDownload->BackgroundColor() == QColor(255, 0, 0), !made);
}

void TestMainWindow::loadCommandFollowsTheDirectoryFile()
{
    IsolatedSettings isolated;
    QFile list(isolated.ProgramDirectory() + QStringLiteral("Kelvorn.dir"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.close();
    Recorded seen;
    auto window = MakeWindow(seen);
    QVERIFY(window->Loadlinksfilelistfromdisk1->isEnabled());
}

void TestMainWindow::optionGroupEndsAtFirstAbsentOrMistypedValue_data()
{
    QTest::addColumn<QString>("broken");  // the value made absent or mistyped
    QTest::addColumn<bool>("mistype");    // false: absent
    QTest::addColumn<int>("readBefore");  // how many options take their stored value
    QTest::newRow("SkipFile absent keeps all fourteen defaults") << "SkipFile" << false << 0;
    QTest::newRow("SkipFile mistyped") << "SkipFile" << true << 0;
    QTest::newRow("Beep mistyped ends the group at the seventh") << "Beep" << true << 6;
    QTest::newRow("ShowProgress absent: only the last keeps its default") << "ShowProgress" << false << 13;
    QTest::newRow("all present") << QString() << false << 14;
}

void TestMainWindow::optionGroupEndsAtFirstAbsentOrMistypedValue()
{
    QFETCH(QString, broken);
    QFETCH(bool, mistype);
    QFETCH(int, readBefore);
    IsolatedSettings isolated;
    // Every stored option is the opposite of its default, so each read shows.
    QList<QPair<QString, QVariant>> values;
    for (const Option& option : Options) {
        const QString name = QLatin1String(option.value);
        if (name == broken && !mistype)
            continue;
        if (name == broken)
            values << qMakePair(name, QVariant(QStringLiteral("on")));
        else
            values << qMakePair(name, QVariant(option.byDefault ? 0 : 1));
    }
    WriteValues(values);
    Recorded seen;
    auto window = MakeWindow(seen);
    for (int i = 0; i < 14; ++i) {
        const bool expected = i < readBefore ? !Options[i].byDefault : Options[i].byDefault;
        QVERIFY2(Item(*window, Options[i].item)->isChecked() == expected, Options[i].value);
    }
}

// The modern pages option is read on its own: settings from before it existed leave it off, and
// a broken option group or geometry group does not keep it from being read.
void TestMainWindow::modernLinksValueStandsApart_data()
{
    QTest::addColumn<QVariant>("stored");  // invalid: absent
    QTest::addColumn<bool>("withGroups");  // the fourteen options and the geometry stored too
    QTest::addColumn<bool>("on");
    QTest::newRow("older settings file") << QVariant() << true << false;
    QTest::newRow("on, groups complete") << QVariant(1) << true << true;
    QTest::newRow("on, with every group absent") << QVariant(1) << false << true;
    QTest::newRow("off") << QVariant(0) << true << false;
    QTest::newRow("mistyped") << QVariant(QStringLiteral("yes")) << true << false;
}

void TestMainWindow::modernLinksValueStandsApart()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, withGroups);
    QFETCH(bool, on);
    IsolatedSettings isolated;
    QList<QPair<QString, QVariant>> values;
    if (withGroups) {
        for (const Option& option : Options)
            values << qMakePair(QString::fromLatin1(option.value), QVariant(option.byDefault ? 0 : 1));
        for (const char* name : GeometryValues)
            values << qMakePair(QString::fromLatin1(name), QVariant(300));
    }
    if (stored.isValid())
        values << qMakePair(QStringLiteral("ModernLinks"), stored);
    WriteValues(values);
    Recorded seen;
    auto window = MakeWindow(seen);
    QCOMPARE(window->Findlinksasabrowserdoesmodernpages1->isChecked(), on);
    if (withGroups)  // the groups read as before
        QCOMPARE(window->Savewindowpositiononexit1->isChecked(), true);

    window->Findlinksasabrowserdoesmodernpages1Click();
    QCOMPARE(window->Findlinksasabrowserdoesmodernpages1->isChecked(), !on);
    Close(*window);
    TRegistry reg;
    QVERIFY(reg.OpenKey(Key, false));
    QCOMPARE(reg.ReadInteger(QStringLiteral("ModernLinks")), std::optional<int32_t>(on ? 0 : 1));
}

void TestMainWindow::geometryReadOnlyWithItsOption_data()
{
    QTest::addColumn<bool>("saveWindow");
    QTest::addColumn<QString>("absent");
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QList<int>>("columns");
    QTest::newRow("option off: design bounds")
        << false << QString() << QRect(198, 188, 720, 540) << QList<int>{215, 80, 60};
    QTest::newRow("option on: stored bounds")
        << true << QString() << QRect(50, 100, 800, 400) << QList<int>{100, 90, 70};
    QTest::newRow("option on, FormHeight absent: top and left only")
        << true << "FormHeight" << QRect(50, 100, 720, 540) << QList<int>{215, 80, 60};
    QTest::newRow("option on, FileCol1 absent: first column only")
        << true << "FileCol1" << QRect(50, 100, 800, 400) << QList<int>{100, 80, 60};
}

void TestMainWindow::geometryReadOnlyWithItsOption()
{
    QFETCH(bool, saveWindow);
    QFETCH(QString, absent);
    QFETCH(QRect, bounds);
    QFETCH(QList<int>, columns);
    IsolatedSettings isolated;
    QList<QPair<QString, QVariant>> values;
    for (const Option& option : Options)
        values << qMakePair(
            QString::fromLatin1(option.value),
            QVariant(option.value == QByteArray("SaveWindow") ? int(saveWindow) : int(option.byDefault)));
    const int stored[9] = {100, 50, 400, 800, 300, 150, 100, 90, 70};
    for (int i = 0; i < 9; ++i)
        if (absent != QLatin1String(GeometryValues[i]))
            values << qMakePair(QString::fromLatin1(GeometryValues[i]), QVariant(stored[i]));
    WriteValues(values);
    Recorded seen;
    auto window = MakeWindow(seen);
    QCOMPARE(window->pos(), bounds.topLeft());
    QCOMPARE(window->size(), bounds.size());
    for (int c = 0; c < 3; ++c)
        QCOMPARE(window->ListViewFile->columnWidth(c), columns.at(c));
    if (saveWindow && absent.isEmpty()) {
        // The stored widths of the document list and the side panel show once laid out.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE(window->ListViewDoc->width(), 300);
        QCOMPARE(window->PanelExtra->width(), 150);
        window->hide();
    }

    // The geometry is written at exit whatever the option says.
    window->move(33, 44);
    window->ListViewFile->setColumnWidth(2, 66);
    Close(*window);
    TRegistry reg;
    QVERIFY(reg.OpenKey(Key, false));
    QCOMPARE(reg.ReadInteger(QStringLiteral("FormLeft")), std::optional<int32_t>(33));
    QCOMPARE(reg.ReadInteger(QStringLiteral("FormTop")), std::optional<int32_t>(44));
    QCOMPARE(reg.ReadInteger(QStringLiteral("FormWidth")), std::optional<int32_t>(bounds.width()));
    QCOMPARE(reg.ReadInteger(QStringLiteral("FormHeight")), std::optional<int32_t>(bounds.height()));
    QCOMPARE(reg.ReadInteger(QStringLiteral("FileCol2")), std::optional<int32_t>(66));
    QCOMPARE(reg.ReadInteger(QStringLiteral("SaveWindow")), std::optional<int32_t>(int(saveWindow)));
}

void TestMainWindow::settingsFileAfterExit()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->Autosavelinksfilesasdefaultonquit1Click();  // on
    window->Beepwhendoneworking1Click();                // off
    window->ComboBoxBookmark->SetText(QStringLiteral("http://host/page.html"));
    window->ComboBoxBookmark->AddEntry(QStringLiteral("http://b/"));
    window->ComboBoxBookmark->AddEntry(QStringLiteral("http://a/"));
    window->ComboBoxDownload->SetText(isolated.Root());
    QStringList order;
    window->SaveListsOnExit = [&order, &isolated] {
        // The settings are on disk before the lists are saved.
        order << (QFile::exists(isolated.SettingsFile()) ? QStringLiteral("lists after settings")
                                                         : QStringLiteral("lists before settings"));
    };
    window->EndProcessHook = [&order] { order << QStringLiteral("end"); };
    Close(*window);
    QCOMPARE(order, (QStringList{"lists after settings", "end"}));

    QSettings raw(isolated.SettingsFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("SoftWare/Kelvorn"));
    QCOMPARE(raw.allKeys().size(), 30);
    QCOMPARE(raw.value(QStringLiteral("ModernLinks")).toString(), QStringLiteral("0"));
    QCOMPARE(raw.value(QStringLiteral("SkipDownloadedBefore")).toString(), QStringLiteral("0"));
    QCOMPARE(raw.value(QStringLiteral("HostConnections")).toString(), QStringLiteral("2"));
    for (const Option& option : Options) {
        const QString text = raw.value(QLatin1String(option.value)).toString();
        QVERIFY2(text == QLatin1String("0") || text == QLatin1String("1"), option.value);
    }
    QCOMPARE(raw.value(QStringLiteral("AutoSave")).toString(), QStringLiteral("1"));
    QCOMPARE(raw.value(QStringLiteral("Beep")).toString(), QStringLiteral("0"));
    QCOMPARE(raw.value(QStringLiteral("SkipFile")).toString(), QStringLiteral("1"));
    for (const char* name : GeometryValues) {
        bool isInteger = false;
        raw.value(QLatin1String(name)).toString().toInt(&isInteger);
        QVERIFY2(isInteger, name);
    }
    QCOMPARE(raw.value(QStringLiteral("LastDocument")).toString(), QStringLiteral("http://host/page.html"));
    QCOMPARE(raw.value(QStringLiteral("DownloadDir")).toString(), isolated.Root());
    QCOMPARE(raw.value(QStringLiteral("Bookmark")).toString(), QStringLiteral("http://a/\r\nhttp://b/\r\n"));
    QCOMPARE(raw.value(QStringLiteral("Download")).toString(), QString());

    // Without the option the lists are not saved.
    order.clear();
    window->Autosavelinksfilesasdefaultonquit1Click();
    Close(*window);
    QCOMPARE(order, QStringList{QStringLiteral("end")});
}

void TestMainWindow::settingsRoundTrip()
{
    IsolatedSettings isolated;
    Recorded seen;
    {
        auto window = MakeWindow(seen);
        for (const Option& option : Options)
            Item(*window, option.item)->setChecked(!option.byDefault);
        window->ComboBoxBookmark->SetText(QStringLiteral("http://x/\xe9.html"));
        window->ComboBoxBookmark->SetEntries({QStringLiteral("http://2/"), QStringLiteral("http://1/")});
        window->ComboBoxDownload->SetText(isolated.Root());
        window->ComboBoxDownload->SetEntries({isolated.Root(), QStringLiteral("/tmp")});
        window->move(70, 80);
        window->resize(900, 600);
        Close(*window);
    }
    auto window = MakeWindow(seen);
    for (const Option& option : Options)
        QVERIFY2(Item(*window, option.item)->isChecked() == !option.byDefault, option.value);
    QCOMPARE(window->ComboBoxBookmark->Text(), QStringLiteral("http://x/\xe9.html"));
    QCOMPARE(window->ComboBoxBookmark->Entries(), (QStringList{"http://1/", "http://2/"}));
    QCOMPARE(window->ComboBoxDownload->Text(), isolated.Root());
    QCOMPARE(window->ComboBoxDownload->Entries().size(), 2);
    QCOMPARE(window->pos(), QPoint(70, 80));  // SaveWindow was stored on
    QCOMPARE(window->size(), QSize(900, 600));
    QCOMPARE(window->windowTitle(), QStringLiteral("Untitled - Notepad"));
    QVERIFY(window->PanelExtra->isHidden());  // both panes stored off
}

void TestMainWindow::idleAndBusyLooks()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->ListViewDoc->Add("http://h/a.html");
    window->ListViewFile->Add("http://h/a.jpg");
    window->UpdateScreen();
    const QList<QAction*> offWhileBusy = {window->Deselectall1,
                                          window->Selectall1,
                                          window->Invertselection1,
                                          window->SelectalllinesreferingtomarkedUrl2,
                                          window->Resetfile1,
                                          window->Deletealllines1,
                                          window->Sort,
                                          window->Deletealllines2,
                                          window->Useselectedlineasmaindocumentandparseit1};
    const QList<QAction*> alwaysOn = {window->Deselectall2,
                                      window->Selectall2,
                                      window->Invertselection2,
                                      window->Selectbykeyword1,
                                      window->SelectalllinesreferingtomarkedUrl1,
                                      window->Resetlink1,
                                      window->Addbookmark2};
    const auto check = [&](bool busy) {
        QCOMPARE(window->LedBusy->LedEnabled(), busy);
        QCOMPARE(window->ButtonStart->isEnabled(), !busy);
        QCOMPARE(window->ButtonStop->isEnabled(), busy);
        QCOMPARE(window->ButtonParse->isEnabled(), !busy);
        QCOMPARE(window->ButtonDownload->isEnabled(), !busy);
        QCOMPARE(window->File1->menuAction()->isEnabled(), !busy);
        QCOMPARE(window->windowTitle(), busy ? QStringLiteral("Kelvorn - Busy") : QStringLiteral("Kelvorn"));
        for (QAction* item : offWhileBusy)
            QVERIFY2(item->isEnabled() == !busy, qPrintable(item->objectName()));
        for (QAction* item : alwaysOn)
            QVERIFY2(item->isEnabled(), qPrintable(item->objectName()));
        QCOMPARE(window->Useselectedlineasmaindocumentandparseit1->isVisible(), !busy);
        QCOMPARE(window->N8->isVisible(), !busy);
        QCOMPARE(window->Includelinksonelevelupwhenparsingmaindocument1->isVisible(), !busy);
        QVERIFY(window->Savelinksfilelists1->isEnabled());  // follows the document list only
        QVERIFY(window->ListViewDoc->PopupAllowed());
        QVERIFY(window->ListViewFile->PopupAllowed());
    };
    check(false);
    window->Busy = true;
    window->UpdateScreen();
    check(true);
    window->Busy = false;
    window->UpdateScreen();
    check(false);

    // With the friendly name the title stays through both looks.
    window->Usefriendlybossnameontaskbar1Click();
    window->Busy = true;
    window->UpdateScreen();
    QCOMPARE(window->windowTitle(), QStringLiteral("Untitled - Notepad"));
    window->Busy = false;
    window->UpdateScreen();
    QCOMPARE(window->windowTitle(), QStringLiteral("Untitled - Notepad"));

    // Only the document list's count decides the save command; each list its own button and menu.
    window->ListViewDoc->Clear();
    window->UpdateScreen();
    QVERIFY(!window->Savelinksfilelists1->isEnabled());
    QVERIFY(!window->ButtonParse->isEnabled());
    QVERIFY(window->ButtonDownload->isEnabled());
    QVERIFY(!window->ListViewDoc->PopupAllowed());
    QVERIFY(window->ListViewFile->PopupAllowed());
}

void TestMainWindow::busyLightChangeUpdatesTheScreen()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    // A command that sets Busy without UpdateScreen takes the busy look when the light goes on,
    // as the document client's connect handler does.
    window->Busy = true;
    QVERIFY(window->ButtonStart->isEnabled());
    window->LedBusy->SetLedEnabled(true);
    QVERIFY(!window->ButtonStart->isEnabled());
    QVERIFY(window->ButtonStop->isEnabled());
    QVERIFY(!window->Includelinksonelevelupwhenparsingmaindocument1->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvorn - Busy"));
    // The light going out while Busy is still set: the nested run lights it again, and the look
    // stays busy.
    window->LedBusy->SetLedEnabled(false);
    QVERIFY(window->LedBusy->LedEnabled());
    QVERIFY(window->ButtonStop->isEnabled());
    // Stop clears Busy and updates: the idle look comes back at once.
    window->Busy = false;
    window->UpdateScreen();
    QVERIFY(!window->LedBusy->LedEnabled());
    QVERIFY(window->ButtonStart->isEnabled());
    QVERIFY(window->Includelinksonelevelupwhenparsingmaindocument1->isVisible());
    // The document field's handler sets the start button on every edit, also while busy.
    window->ComboBoxBookmark->SetText(QString());
    QVERIFY(!window->ButtonStart->isEnabled());
    window->ComboBoxBookmark->SetText(QStringLiteral("h"));
    QVERIFY(window->ButtonStart->isEnabled());
}

void TestMainWindow::popupMenusOpenOnRightClick()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const auto rightClick = [](QWidget* target) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
    };
    // Empty lists: no menu.
    rightClick(window->ListViewDoc->viewport());
    rightClick(window->ListViewFile->viewport());
    QVERIFY(!window->PopupMenuDoc->isVisible());
    QVERIFY(!window->PopupMenuFile->isVisible());
    // With items, after the next screen update.
    window->ListViewDoc->Add("http://h/a.html");
    window->ListViewFile->Add("http://h/a.jpg");
    rightClick(window->ListViewDoc->viewport());
    QVERIFY(!window->PopupMenuDoc->isVisible());
    window->UpdateScreen();
    rightClick(window->ListViewDoc->viewport());
    QTRY_VERIFY(window->PopupMenuDoc->isVisible());
    window->PopupMenuDoc->hide();
    rightClick(window->ListViewFile->viewport());
    QTRY_VERIFY(window->PopupMenuFile->isVisible());
    window->PopupMenuFile->hide();
    // The two fields show their bookmark menus instead of the editor's own.
    rightClick(window->ComboBoxBookmark->lineEdit());
    QTRY_VERIFY(window->PopupMenuBookmark->isVisible());
    window->PopupMenuBookmark->hide();
    rightClick(window->ComboBoxDownload->lineEdit());
    QTRY_VERIFY(window->PopupMenuDownload->isVisible());
    window->PopupMenuDownload->hide();
    window->hide();
}

void TestMainWindow::optionHandlers()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    // A click from the menu flips the mark exactly once, like a direct call.
    for (const Option& option : Options) {
        QAction* item = Item(*window, option.item);
        const bool before = item->isChecked();
        item->trigger();
        QVERIFY2(item->isChecked() == !before, option.item);
        item->trigger();
        QVERIFY2(item->isChecked() == before, option.item);
    }
    window->Includelinksonelevelupwhenparsingmaindocument1Click();
    QCOMPARE(window->ListViewDoc->headerItem()->text(0),
             QStringLiteral("Links found in main document and one level up"));
    window->Includelinksonelevelupwhenparsingmaindocument1Click();
    QCOMPARE(window->ListViewDoc->headerItem()->text(0), QStringLiteral("Links found in main document"));

    // Preview off disables the jump option but keeps its mark.
    window->Letpreviewjumptolatestfiledownloaded1Click();
    QVERIFY(window->Letpreviewjumptolatestfiledownloaded1->isChecked());
    window->Displayimagepreview1Click();
    QVERIFY(!window->Letpreviewjumptolatestfiledownloaded1->isEnabled());
    QVERIFY(window->Letpreviewjumptolatestfiledownloaded1->isChecked());
    window->Displayimagepreview1Click();
    QVERIFY(window->Letpreviewjumptolatestfiledownloaded1->isEnabled());

    // The friendly name changes title and icon at once, also while busy.
    window->Busy = true;
    window->UpdateScreen();
    window->Usefriendlybossnameontaskbar1Click();
    QCOMPARE(window->windowTitle(), QStringLiteral("Untitled - Notepad"));
    QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), window->Image2->pixmap().toImage());
    window->Usefriendlybossnameontaskbar1Click();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvorn"));
    QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), window->Image1->pixmap().toImage());
    QVERIFY(window->Image1->pixmap().toImage() != window->Image2->pixmap().toImage());
}

void TestMainWindow::sidePanelFollowsItsTwoOptions_data()
{
    QTest::addColumn<bool>("progress");
    QTest::addColumn<bool>("preview");
    QTest::newRow("both") << true << true;
    QTest::newRow("progress only") << true << false;
    QTest::newRow("preview only") << false << true;
    QTest::newRow("neither") << false << false;
}

void TestMainWindow::sidePanelFollowsItsTwoOptions()
{
    QFETCH(bool, progress);
    QFETCH(bool, preview);
    IsolatedSettings isolated;
    Recorded seen;
    // Through the menu handlers ...
    {
        auto window = MakeWindow(seen);
        if (!progress)
            window->Displaydownloadengineprogress1Click();
        if (!preview)
            window->Displayimagepreview1Click();
        QCOMPARE(window->Displaydownloadengineprogress1->isChecked(), progress);
        QCOMPARE(!window->PanelDownload->isHidden(), progress);
        QCOMPARE(!window->PanelPreview->isHidden(), preview);
        QCOMPARE(!window->PanelExtra->isHidden(), progress || preview);
        QCOMPARE(!window->Splitter2->isHidden(), progress || preview);
        // The engine lights stay in the status bar whatever the panel shows.
        QVERIFY(!window->LedEngines[0]->isHidden());
        Close(*window);
    }
    // ... and at the next start from the stored options.
    auto window = MakeWindow(seen);
    QCOMPARE(!window->PanelDownload->isHidden(), progress);
    QCOMPARE(!window->PanelPreview->isHidden(), preview);
    QCOMPARE(!window->PanelExtra->isHidden(), progress || preview);
    QCOMPARE(!window->Splitter2->isHidden(), progress || preview);
}

void TestMainWindow::sidePanelLayout()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(window->PanelExtra->height() > 200);
    const int h = window->PanelExtra->height();
    const int w = window->PanelExtra->width();
    // The design width, or wider where the fonts need it for the panel's texts.
    QCOMPARE(w, window->PanelExtra->minimumWidth());
    QVERIFY(w >= TFormMain::DesignSideWidth);
    QCOMPARE(window->ListViewDoc->width(), 241);
    QCOMPARE(window->PanelDownload->geometry(), QRect(0, h - 76, w, 76));
    QCOMPARE(window->PanelPreview->geometry(), QRect(0, 0, w, h - 76));
    QCOMPARE(window->ImagePreview->geometry(), QRect(2, 57, w - 5, 68));
    QCOMPARE(window->Label1->pos(), QPoint(4, 24));
    QCOMPARE(window->Label2->pos(), QPoint(4, 40));
    QCOMPARE(window->Panel3->text(), QStringLiteral("Image preview"));
    QCOMPARE(window->Panel5->text(), QStringLiteral("Download progress"));
    QCOMPARE(window->Panel3->height(), 19);
    for (TGauge* gauge : window->Gauges)
        QCOMPARE(gauge->width(), w - 10);
    // Preview off: the download panel stays at the bottom, the area above it empty.
    window->Displayimagepreview1Click();
    QTRY_COMPARE(window->PanelDownload->geometry(), QRect(0, h - 76, w, 76));
    QVERIFY(window->PanelPreview->isHidden());
    // Progress off and preview on: the preview takes the whole height.
    window->Displayimagepreview1Click();
    window->Displaydownloadengineprogress1Click();
    QTRY_COMPARE(window->PanelPreview->geometry(), QRect(0, 0, w, h));
    // A wider side panel widens the picture and the bars with it.
    window->Displaydownloadengineprogress1Click();
    window->MainSplitter->setSizes({241, window->width() - 241 - 150 - 16, 150});
    QTRY_COMPARE(window->PanelExtra->width(), 150);
    QCOMPARE(window->ImagePreview->width(), 150 - 5);
    QCOMPARE(window->Gauges[0]->width(), 150 - 10);
    // Hidden and shown again, the side panel keeps its width.
    window->Displayimagepreview1Click();
    window->Displaydownloadengineprogress1Click();
    QVERIFY(window->PanelExtra->isHidden());
    window->Displayimagepreview1Click();
    QTRY_VERIFY(window->PanelExtra->isVisible());
    QTRY_COMPARE(window->PanelExtra->width(), 150);
    window->Displaydownloadengineprogress1Click();
    // The widths written at exit are the ones shown, also while the side panel is hidden.
    window->Displayimagepreview1Click();
    window->Displaydownloadengineprogress1Click();
    QVERIFY(window->PanelExtra->isHidden());
    Close(*window);
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(Key, false));
        QCOMPARE(reg.ReadInteger(QStringLiteral("PreviewWidth")), std::optional<int32_t>(150));
        QCOMPARE(reg.ReadInteger(QStringLiteral("DocWidth")), std::optional<int32_t>(241));
    }
    window->Displayimagepreview1Click();
    window->Displaydownloadengineprogress1Click();
    // The directory field stretches with the window; its button keeps to the right edge.
    const int fieldWidth = window->ComboBoxDownload->width();
    window->resize(window->width() + 100, window->height());
    QTRY_COMPARE(window->ComboBoxDownload->width(), fieldWidth + 100);
    QCOMPARE(window->SpeedButton1->geometry().right(), window->PanelTop->width() - 5);
    window->hide();
}

void TestMainWindow::countersAndDocumentBar()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->ListViewDoc->Add("http://h/1.html");
    window->ListViewFile->Add("http://h/1.jpg");
    window->ListViewFile->Add("http://h/2.jpg");
    window->Timer1Timer();  // idle: nothing counted
    QCOMPARE(window->PanelText(2), QString());
    QCOMPARE(window->PanelText(3), QString());
    window->Busy = true;
    window->Timer1Timer();
    QCOMPARE(window->PanelText(2), QStringLiteral("Links: 1"));
    QCOMPARE(window->PanelText(3), QStringLiteral("Files: 2"));
    window->Busy = false;
    window->ListViewFile->Clear();
    window->Timer1Timer();  // the last values stay
    QCOMPARE(window->PanelText(3), QStringLiteral("Files: 2"));

    window->ShowBar(true, 300, 1000);
    QVERIFY(!window->GaugeDoc->isHidden());
    QCOMPARE(window->GaugeDoc->MaxValue(), 1000);
    QCOMPARE(window->GaugeDoc->Progress(), 300);
    QCOMPARE(window->StatusText(), QStringLiteral("Status: Not active"));
    window->ShowBar(true, 5000, 1000);  // more than announced: a full bar
    QCOMPARE(window->GaugeDoc->Progress(), 1000);
    window->ShowBar(true, 1234, 0);  // no length: the bytes are counted in the text
    QVERIFY(window->GaugeDoc->isHidden());
    QCOMPARE(window->StatusText(), QStringLiteral("Status: 1234 bytes retrieved"));
    window->ShowBar(true, 10, 100);
    window->ShowBar(false, 0, 100);
    QVERIFY(window->GaugeDoc->isHidden());
    QCOMPARE(window->StatusText(), QStringLiteral("Status: 0 bytes retrieved"));
    window->SetPanelText(9, QStringLiteral("ignored"));
    QCOMPARE(window->PanelText(9), QString());
}

void TestMainWindow::directoryTest_data()
{
    QTest::addColumn<QString>("relative");  // under a fresh temporary folder; "<root>" for "/"
    QTest::addColumn<bool>("usable");
    QTest::newRow("existing folder") << "files" << true;
    QTest::newRow("folder with blanks and accents") << QStringLiteral("my files \u00e9") << true;
    QTest::newRow("missing folder") << "missing" << false;
    QTest::newRow("ends with separator") << "files/" << false;
    QTest::newRow("root") << "<root>" << false;
    QTest::newRow("empty") << "<empty>" << false;
    QTest::newRow("a file, not a folder") << "plain.txt" << false;
    QTest::newRow("test file name taken by a folder") << "blocked" << false;
    QTest::newRow("a user's file of the test file's name") << "users" << true;
    QTest::newRow("a test file left behind earlier") << "leftover" << true;
    QTest::newRow("a dangling link of the test file's name") << "dangling" << true;
    QTest::newRow("a link of the test file's name to a user's file") << "linked" << true;
}

void TestMainWindow::directoryTest()
{
    QFETCH(QString, relative);
    QFETCH(bool, usable);
    QTemporaryDir root;
    const QDir dir(root.path());
    for (const QString& sub :
         {QStringLiteral("files"), QStringLiteral("my files \u00e9"), QStringLiteral("blocked/Kelvorn.txt"),
          QStringLiteral("users"), QStringLiteral("leftover"), QStringLiteral("dangling"), QStringLiteral("linked"),
          QStringLiteral("elsewhere")})
        QVERIFY(dir.mkpath(sub));
    const auto writeFile = [&root](const QString& name, const QByteArray& content) {
        QFile file(root.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    writeFile(QStringLiteral("plain.txt"), "x");
    writeFile(QStringLiteral("users/Kelvorn.txt"), "my own notes");
    writeFile(QStringLiteral("leftover/Kelvorn.txt"), "For test perpose only - This file can be deleted !\n");
    // Links are never written through nor replaced: what they point to stays as it was.
    writeFile(QStringLiteral("elsewhere/notes.txt"), "linked notes");
    QVERIFY(QFile::link(root.filePath(QStringLiteral("elsewhere/planted.txt")),
                        root.filePath(QStringLiteral("dangling/Kelvorn.txt"))));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("elsewhere/notes.txt")),
                        root.filePath(QStringLiteral("linked/Kelvorn.txt"))));
    const QString path = relative == QLatin1String("<root>") ? QStringLiteral("/")
        : relative == QLatin1String("<empty>")               ? QString()
                                                             : root.path() + QLatin1Char('/') + relative;
    QCOMPARE(TFormMain::DirectoryOk(path), usable);
    // Nothing is left behind, the user's file stays as it was, a leftover test file is gone.
    const bool linked = relative == QLatin1String("dangling") || relative == QLatin1String("linked");
    if (usable && relative != QLatin1String("users") && !linked) {
        QCOMPARE(QDir(path).entryList(QDir::Files), QStringList());
    }
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("elsewhere/planted.txt"))));
    QCOMPARE(QDir(root.filePath(QStringLiteral("elsewhere"))).entryList(QDir::Files), QStringList{"notes.txt"});
    QFile notes(root.filePath(QStringLiteral("elsewhere/notes.txt")));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("linked notes"));
    for (const QString& name : {QStringLiteral("dangling/Kelvorn.txt"), QStringLiteral("linked/Kelvorn.txt")})
        QVERIFY2(QFileInfo(root.filePath(name)).isSymLink(), qPrintable(name));
    if (linked)
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{"Kelvorn.txt"});
    QFile users(root.filePath(QStringLiteral("users/Kelvorn.txt")));
    QVERIFY(users.open(QIODevice::ReadOnly));
    QCOMPARE(users.readAll(), QByteArray("my own notes"));
    QCOMPARE(QDir(root.filePath(QStringLiteral("users"))).entryList(QDir::Files), QStringList{"Kelvorn.txt"});
    QVERIFY(!QFile::exists(root.filePath(QStringLiteral("missing"))));
}

void TestMainWindow::downloadFieldColourAndStartButton()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->ComboBoxDownload->SetText(isolated.Root() + QStringLiteral("/nowhere"));
    QCOMPARE(window->ComboBoxDownload->BackgroundColor(), QColor(255, 0, 0));
    QCOMPARE(window->ComboBoxDownload->TextColor(), QColor(255, 255, 255));
    window->ComboBoxDownload->SetText(isolated.Root());
    QCOMPARE(window->ComboBoxDownload->BackgroundColor(), QApplication::palette().color(QPalette::Base));
    QCOMPARE(window->ComboBoxDownload->TextColor(), QApplication::palette().color(QPalette::Text));
    window->ComboBoxDownload->SetText(QString());
    QCOMPARE(window->ComboBoxDownload->BackgroundColor(), QColor(255, 0, 0));
}

void TestMainWindow::activationWarnsOnceForABadDirectory()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->ComboBoxDownload->SetText(isolated.Root());
    window->FormActivate();
    QCOMPARE(seen.texts.size(), 0);

    const QString bad = isolated.Root() + QStringLiteral("/gone");
    window->ComboBoxDownload->SetText(bad);
    // Closing the warning activates the window again: the nested check shows nothing.
    QList<MsgKind> kinds;
    window->MessageBoxHook = [&seen, &window, &kinds](MsgKind kind, const QString& title, const QString& text) {
        seen.titles << title;
        seen.texts << text;
        kinds << kind;
        window->FormActivate();
        return int(mrOk);
    };
    window->FormActivate();
    QCOMPARE(seen.texts, QStringList{QStringLiteral("Specified download directory don't exist !")});
    QCOMPARE(seen.titles, QStringList{QStringLiteral("Warning")});
    QCOMPARE(kinds, QList<MsgKind>{MsgKind::Warning});
    QCOMPARE(window->ComboBoxDownload->BackgroundColor(), QColor(255, 0, 0));
    // Later activations with the same text do not repeat it ...
    window->FormActivate();
    window->FormActivate();
    QCOMPARE(seen.texts.size(), 1);
    // ... another bad text does, and so does the same one after it was good in between.
    window->ComboBoxDownload->SetText(bad + QStringLiteral("2"));
    window->FormActivate();
    QCOMPARE(seen.texts.size(), 2);
    QDir().mkpath(bad);
    window->ComboBoxDownload->SetText(bad);
    window->FormActivate();
    QCOMPARE(seen.texts.size(), 2);
    QDir(bad).removeRecursively();
    window->FormActivate();
    QCOMPARE(seen.texts.size(), 3);
}

void TestMainWindow::activationByTheWindowSystem()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    window->ComboBoxDownload->SetText(isolated.Root() + QStringLiteral("/gone"));
    window->show();
    window->activateWindow();
    QTRY_COMPARE(seen.texts.size(), 1);
    QCOMPARE(seen.texts.first(), QStringLiteral("Specified download directory don't exist !"));
    // Another window takes the activation and gives it back: no second warning for the same text.
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
    QCoreApplication::processEvents();
    QCOMPARE(seen.texts.size(), 1);
    QCOMPARE(QApplication::focusWidget() != nullptr, true);
    window->hide();
}

void TestMainWindow::messageBoxesAndBeep()
{
    IsolatedSettings isolated;
    Recorded seen;
    auto window = MakeWindow(seen);
    QCOMPARE(window->ShowMessage(MsgKind::Information, QStringLiteral("i")), int(mrOk));
    window->ShowMessage(MsgKind::Confirm, QStringLiteral("c"));
    window->ShowMessage(MsgKind::Warning, QStringLiteral("w"));
    window->ShowMessage(MsgKind::Error, QStringLiteral("e"));
    QCOMPARE(seen.titles, (QStringList{"Information", "Confirm", "Warning", "Error"}));
    QCOMPARE(seen.texts, (QStringList{"i", "c", "w", "e"}));
    window->MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrNo); };
    QCOMPARE(window->ShowMessage(MsgKind::Confirm, QStringLiteral("c")), int(mrNo));
    window->Beep();
    window->Beep();
    QCOMPARE(seen.beeps, 2);
    // Quit closes the window, which writes the settings and ends the process.
    window->show();
    window->Quit1->trigger();
    QCOMPARE(seen.ends, 1);
    QVERIFY(QFile::exists(isolated.SettingsFile()));
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
