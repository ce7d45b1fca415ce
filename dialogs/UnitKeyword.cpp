#include "dialogs/UnitKeyword.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "dialogs/DialogTools.h"
#include "rules/ListRecords.h"
#include "main/ListSelection.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"

TFormKeyword* FormKeyword = nullptr;

namespace {
QToolButton* FlatButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint,
                        QStyle::StandardPixmap picture)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return button;
}
}  // namespace

TFormKeyword::TFormKeyword(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormKeyword"));
    setWindowTitle(QStringLiteral("Kelvorn - Keyword selection"));
    // Only a close box: no minimise, maximise or help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(268, 104);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 268, 41);
    Panel1->setFrameShape(QFrame::NoFrame);
    ButtonOk = FlatButton(Panel1, QStringLiteral("ButtonOk"), QStringLiteral("&Ok"),
                          QStringLiteral("Find and Tag links"), QStyle::SP_DialogOkButton);
    ButtonOk->setGeometry(4, 4, 85, 33);
    ButtonCancel = FlatButton(Panel1, QStringLiteral("ButtonCancel"), QStringLiteral("&Cancel"),
                              QStringLiteral("Cancel and close window"), QStyle::SP_DialogCancelButton);
    ButtonCancel->setGeometry(92, 4, 85, 33);

    Label1 = new QLabel(QStringLiteral("Keyword:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 50, 60, 16);
    EditKeyword = new QLineEdit(this);
    EditKeyword->setObjectName(QStringLiteral("EditKeyword"));
    EditKeyword->setGeometry(70, 47, 190, 21);
    Label1->setBuddy(EditKeyword);
    Label2 = new QLabel(QStringLiteral("Search is not case sensitive !"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(70, 76, 190, 16);
    QPalette maroon = Label2->palette();
    maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
    Label2->setPalette(maroon);

    FitTexts();

    connect(ButtonOk, &QToolButton::clicked, this, [this] { ButtonOkClick(); });
    connect(ButtonCancel, &QToolButton::clicked, this, [this] { ButtonCancelClick(); });
    connect(EditKeyword, &QLineEdit::returnPressed, this, [this] { ButtonOkClick(); });
}

void TFormKeyword::FitTexts()
{
    // The design places suit a narrow 8-point font: the labels, the field after "Keyword:" and
    // the window itself (its title included) grow as the fonts need.
    const int buttonsRight = PlaceButtonsInRow({ButtonOk, ButtonCancel}, 3);
    Label1->resize(std::max(Label1->width(), TextWidth(Label1, Label1->text())), Label1->height());
    const int fieldLeft = std::max(70, Label1->x() + Label1->width() + 2);
    const int fieldWidth = std::max(190, TextWidth(Label2, Label2->text()));
    EditKeyword->setGeometry(fieldLeft, EditKeyword->y(), fieldWidth, EditKeyword->height());
    Label2->setGeometry(fieldLeft, Label2->y(), fieldWidth, std::max(Label2->height(), Label2->sizeHint().height()));
    const int width = std::max({268, fieldLeft + fieldWidth + 8, buttonsRight + 4, TitleBarWidth(windowTitle())});
    setFixedSize(width, std::max(104, Label2->y() + Label2->height() + 12));
    Panel1->resize(width, Panel1->height());
}

void TFormKeyword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormActivate();
}

// The dialog keeps nothing between uses.
void TFormKeyword::FormActivate()
{
    EditKeyword->clear();
    EditKeyword->setFocus();
}

void TFormKeyword::ButtonOkClick()
{
    try {
        TFormMain* main = TFormMain::Instance();
        // Latin-1 keeps the bytes the captions are made of.
        const QByteArray keyword = EditKeyword->text().toLatin1().toUpper();
        int count = 0;
        if (main && main->ListViewDoc && main->CurrentDocIndex != -1 && !keyword.isEmpty())
            count = TickUntouchedContaining(*main->ListViewDoc, keyword);
        accept();
        if (main && count > 0)
            main->ShowMessage(MsgKind::Information, LinesSelectedText(count));
    } catch (...) {
        accept();
    }
}

void TFormKeyword::ButtonCancelClick() { reject(); }
