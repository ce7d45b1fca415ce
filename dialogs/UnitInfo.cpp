#include "dialogs/UnitInfo.h"

#include "Version.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextOption>
#include <QToolButton>

#include "dialogs/DialogTools.h"
#include "widgets/SvgIcon.h"

TFormInfo* FormInfo = nullptr;

TFormInfo::TFormInfo(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormInfo"));
    setWindowTitle(QStringLiteral("Kelvorn - About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setFixedSize(285, 241);

    ButtonClose = MakeFlatButton(this, "ButtonClose", QStringLiteral("&Close"), QStringLiteral("Close window"),
                                 SvgIcon(QStringLiteral("button-cancel")));
    ButtonClose->setGeometry(4, 8, 85, 41);
    connect(ButtonClose, &QToolButton::clicked, this, &QDialog::close);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, 241 - 189, 285, 189);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette pal = Memo1->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, QColor(0, 128, 128));  // teal
        pal.setColor(group, QPalette::Text, Qt::white);
    }
    Memo1->setPalette(pal);
    QFont bold = Memo1->font();
    bold.setBold(true);
    Memo1->setFont(bold);
    // Centre every line: a plain-text view lays its lines out by the document's text option and
    // ignores the alignment of single blocks.
    QTextOption centred = Memo1->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    Memo1->document()->setDefaultTextOption(centred);
    Memo1->setPlainText(CreditText());
    FitText();

    CentreOnScreen(this);
}

void TFormInfo::FitText()
{
    // The design size (285 by 241) holds the credit lines in a narrow 8-point font; with larger
    // fonts the window grows until every line shows whole, without a scroll bar.
    const QFontMetrics metrics(Memo1->font());
    const QStringList lines = CreditText().split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margins = 2 * int(Memo1->document()->documentMargin()) + 2 * Memo1->frameWidth() + 8;
    const int memoWidth = std::max(285, widest + margins);
    const int memoHeight = std::max(189, int(lines.size()) * metrics.lineSpacing() + margins);
    const int top = 241 - 189;
    setFixedSize(std::max(memoWidth, TitleBarWidth(windowTitle())), top + memoHeight);
    Memo1->setGeometry(0, top, width(), memoHeight);
}

QString TFormInfo::CreditText()
{
    return QStringLiteral("\n"
                          "Kelvorn\n"
                          "Version " KELVORN_VERSION "\n"
                          "\n"
                          "Harvests pictures, video and archives\n"
                          "from the links of web pages.\n"
                          "\n"
                          "Written by the Kelvorn team:\n"
                          "window, lists and settings,\n"
                          "download engines, HTTP client.\n"
                          "Picture decoding: libjpeg\n"
                          "Built with Qt\n"
                          "\n"
                          "Free to use and to pass on.");
}

void TFormInfo::ShowInFront() { ShowNonBlocking(this); }
