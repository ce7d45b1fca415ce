#include "dialogs/UnitHelp.h"

#include <QFile>
#include <QFrame>
#include <QTextEdit>
#include <QToolButton>

#include "dialogs/DialogTools.h"
#include "dialogs/RtfReader.h"
#include "platform/ProgramDir.h"
#include "widgets/SvgIcon.h"

TFormHelp* FormHelp = nullptr;

TFormHelp::TFormHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(QStringLiteral("Kelvorn - Help"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    setModal(false);
    setSizeGripEnabled(true);

    PanelTop = new QFrame(this);
    PanelTop->setObjectName(QStringLiteral("PanelTop"));
    PanelTop->setFrameShape(QFrame::NoFrame);
    ButtonClose = MakeFlatButton(PanelTop, "ButtonClose", QStringLiteral("&Close"), QStringLiteral("Close window"),
                                 SvgIcon(QStringLiteral("button-cancel")));
    ButtonClose->setGeometry(4, 4, 85, 41);
    connect(ButtonClose, &QToolButton::clicked, this, &QDialog::close);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    resize(617, 378);  // the normal size; the window opens maximised
    CentreOnScreen(this);
    setWindowState(Qt::WindowMaximized);
    LoadDocumentation();
}

void TFormHelp::LoadDocumentation()
{
    RichEdit1->clear();
    const QString dir = DocumentationDir();
    QFile file(dir + DocumentationName());
    if (file.exists()) {
        if (file.open(QIODevice::ReadOnly))
            TRtfReader::Fill(RichEdit1, file.readAll());
        else  // there, but not readable: say so rather than call it missing
            RichEdit1->setPlainText(DocumentationName() + QStringLiteral(" cannot be read in : ") + dir
                                    + QStringLiteral(" (") + file.errorString() + QLatin1Char(')'));
        return;
    }
    RichEdit1->setPlainText(DocumentationName() + QStringLiteral(" is missing in : ") + dir);
}

void TFormHelp::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // Top panel 49 high; the text fills the rest, inset 3 from the sides and 5 from the bottom.
    PanelTop->setGeometry(0, 0, width(), 49);
    RichEdit1->setGeometry(3, 49, qMax(0, width() - 6), qMax(0, height() - 49 - 5));
}

void TFormHelp::ShowInFront() { ShowNonBlocking(this); }
