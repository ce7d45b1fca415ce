#include "dialogs/UnitKeyword.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include "dialogs/DialogTools.h"

TFormKeyword* FormKeyword = nullptr;

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
    ButtonOk = MakeFlatButton(Panel1, "ButtonOk", QStringLiteral("&Ok"), QStringLiteral("Find and Tag links"),
                              style()->standardIcon(QStyle::SP_DialogOkButton));
    ButtonOk->setGeometry(4, 4, 85, 33);
    ButtonCancel =
        MakeFlatButton(Panel1, "ButtonCancel", QStringLiteral("&Cancel"), QStringLiteral("Cancel and close window"),
                       style()->standardIcon(QStyle::SP_DialogCancelButton));
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
    CentreOnScreen(this);
    FormActivate();
}

// The dialog keeps nothing between uses.
void TFormKeyword::FormActivate()
{
    EditKeyword->clear();
    EditKeyword->setFocus();
}

std::optional<QString> TFormKeyword::AskKeyword()
{
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return EditKeyword->text();
}

void TFormKeyword::ButtonOkClick() { accept(); }

void TFormKeyword::ButtonCancelClick() { reject(); }
