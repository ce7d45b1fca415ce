#include "dialogs/UnitDirectory.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyle>
#include <QToolButton>

#include "dialogs/DialogTools.h"
#include "platform/Guarded.h"
#include "widgets/TDirectoryListBox.h"
#include "widgets/TDriveComboBox.h"
#include "widgets/SvgIcon.h"

TFormDirectory* FormDirectory = nullptr;

TFormDirectory::TFormDirectory(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormDirectory"));
    setWindowTitle(QStringLiteral("Kelvorn - Select download directory"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(361, 285);

    PanelTop = new QFrame(this);
    PanelTop->setObjectName(QStringLiteral("PanelTop"));
    PanelTop->setGeometry(0, 0, 361, 73);
    ButtonSave =
        MakeFlatButton(PanelTop, "ButtonSave", QStringLiteral("&Save"),
                       QStringLiteral("Save directory and close window"), SvgIcon(QStringLiteral("button-save")));
    ButtonSave->setGeometry(4, 4, 85, 33);
    ButtonCancel = MakeFlatButton(PanelTop, "ButtonCancel", QStringLiteral("&Cancel"),
                                  QStringLiteral("Cancel and close window"), SvgIcon(QStringLiteral("button-cancel")));
    ButtonCancel->setGeometry(92, 4, 85, 33);
    ButtonNew = MakeFlatButton(PanelTop, "ButtonNew", QStringLiteral("&New directory"),
                               QStringLiteral("Make a new directory"), SvgIcon(QStringLiteral("folder-new")));
    ButtonNew->setGeometry(180, 4, 120, 33);
    RzDriveComboBox1 = new TDriveComboBox(PanelTop);
    RzDriveComboBox1->setObjectName(QStringLiteral("RzDriveComboBox1"));
    RzDriveComboBox1->setGeometry(4, 44, 353, 24);

    RzDirectoryListBox1 = new TDirectoryListBox(this);
    RzDirectoryListBox1->setObjectName(QStringLiteral("RzDirectoryListBox1"));
    RzDirectoryListBox1->SetRoots(RzDriveComboBox1->Drives());
    RzDirectoryListBox1->setGeometry(4, 73, 353, 208);

    PanelBottom = new QFrame(this);
    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    PanelBottom->setGeometry(0, 285 - 36, 361, 36);
    Label1 = new QLabel(QStringLiteral("New directory:"), PanelBottom);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(4, 10, 80, 16);
    Edit1 = new QLineEdit(PanelBottom);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(86, 6, 200, 24);
    ButtonOk =
        MakeFlatButton(PanelBottom, "ButtonOk", QStringLiteral("&Ok"), QString(), SvgIcon(QStringLiteral("button-ok")));
    ButtonOk->setGeometry(290, 4, 67, 28);
    ButtonOk->setEnabled(false);
    PanelBottom->hide();
    FitTexts();
    LayoutMiddle();

    connect(ButtonSave, &QToolButton::clicked, this, [this] { Guarded(lcDialogs(), [this] { ButtonSaveClick(); }); });
    connect(ButtonCancel, &QToolButton::clicked, this,
            [this] { Guarded(lcDialogs(), [this] { ButtonCancelClick(); }); });
    connect(ButtonNew, &QToolButton::clicked, this, [this] { Guarded(lcDialogs(), [this] { ButtonNewClick(); }); });
    connect(ButtonOk, &QToolButton::clicked, this, [this] { Guarded(lcDialogs(), [this] { ButtonOkClick(); }); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Guarded(lcDialogs(), [this] { Edit1Change(); }); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] {
        Guarded(lcDialogs(), [this] {
            if (ButtonOk->isEnabled())
                ButtonOkClick();
        });
    });
    // The drive drop-down and the list follow each other.
    connect(RzDriveComboBox1, &TDriveComboBox::DriveChanged, this, [this](const QString& root) {
        Guarded(lcDialogs(), [this, root] { RzDirectoryListBox1->SetDirectory(root); });
    });
    connect(RzDirectoryListBox1, &TDirectoryListBox::DirectoryChanged, this,
            [this](const QString& path) { RzDriveComboBox1->ShowDriveOf(path); });

    if (!RzDirectoryListBox1->SetDirectory(QDir::homePath()))
        RzDirectoryListBox1->SetDirectory(QStringLiteral("/"));
    CentreOnScreen(this);
}

QString TFormDirectory::Directory() const { return RzDirectoryListBox1->Directory(); }

std::optional<QString> TFormDirectory::Choose(const QString& start)
{
    MoveTo(start);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return Directory();
}

bool TFormDirectory::MoveTo(const QString& directory) { return RzDirectoryListBox1->SetDirectory(directory); }

void TFormDirectory::ButtonSaveClick() { accept(); }

void TFormDirectory::ButtonCancelClick() { reject(); }

void TFormDirectory::ButtonNewClick()
{
    Edit1->clear();
    PanelBottom->setVisible(PanelBottom->isHidden());
    LayoutMiddle();
    if (!PanelBottom->isHidden())
        Edit1->setFocus();
}

void TFormDirectory::Edit1Change() { ButtonOk->setEnabled(!Edit1->text().isEmpty()); }

bool TFormDirectory::IsPlainDirectoryName(const QString& name, QString* reason)
{
    QString why;
    if (name.isEmpty())
        why = QStringLiteral("Type a name for the new directory.");
    else if (QDir::isAbsolutePath(name))
        why = QStringLiteral("\"%1\" is a full path. Type only the name of the new directory; it is made "
                             "inside the directory shown in the list.")
                  .arg(name);
    if (reason)
        *reason = why;
    return why.isEmpty();
}

void TFormDirectory::ButtonOkClick()
{
    const QString name = Edit1->text();
    QString reason;
    if (!IsPlainDirectoryName(name, &reason)) {
        ShowError(reason);
        return;  // the panel stays open for a better name
    }
    const QString shown = Directory();
    QDir(shown).mkdir(name);  // its outcome shows in the move below
    const QString target = shown.endsWith(QLatin1Char('/')) ? shown + name : shown + QLatin1Char('/') + name;
    if (!RzDirectoryListBox1->SetDirectory(target)) {
        ShowError(QStringLiteral("Cannot create the directory \"%1\".").arg(target));
        return;
    }
    PanelBottom->hide();
    LayoutMiddle();
}

void TFormDirectory::FitTexts()
{
    // The design places suit a narrow 8-point font. With wider fonts the buttons take what their
    // captions need, the label what its text needs, and the window grows to hold them and its
    // title; the drive box, the list and the new-name field fill the width.
    const int buttonsRight = PlaceButtonsInRow({ButtonSave, ButtonCancel, ButtonNew}, 3);
    const int labelWidth = std::max(80, TextWidth(Label1, Label1->text()));
    const int okWidth = std::max(ButtonOk->width(), ButtonOk->sizeHint().width());
    const int width =
        std::max({361, buttonsRight + 4, TitleBarWidth(windowTitle()), 4 + labelWidth + 2 + 120 + 4 + okWidth + 4});
    setFixedSize(width, height());
    PanelTop->resize(width, PanelTop->height());
    RzDriveComboBox1->resize(width - 8, RzDriveComboBox1->height());
    PanelBottom->resize(width, PanelBottom->height());
    Label1->setGeometry(4, 6, labelWidth, 24);
    ButtonOk->setGeometry(width - 4 - okWidth, ButtonOk->y(), okWidth, ButtonOk->height());
    const int fieldLeft = Label1->x() + labelWidth + 2;
    Edit1->setGeometry(fieldLeft, Edit1->y(), ButtonOk->x() - 4 - fieldLeft, Edit1->height());
}

void TFormDirectory::LayoutMiddle()
{
    // The list fills what the top panel and the bottom panel (when shown) leave.
    const int bottom = PanelBottom->isHidden() ? height() : PanelBottom->y();
    RzDirectoryListBox1->setGeometry(4, 73, width() - 8, qMax(0, bottom - 73 - 4));
}

void TFormDirectory::ShowError(const QString& text)
{
    if (ErrorBoxHook)
        ErrorBoxHook(text);
    else
        QMessageBox::critical(this, QStringLiteral("Error"), text);
}
