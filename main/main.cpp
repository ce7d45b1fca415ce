#include <QApplication>

#include "dialogs/UnitDirectory.h"
#include "dialogs/UnitHelp.h"
#include "dialogs/UnitInfo.h"
#include "dialogs/UnitKeyword.h"
#include "main/UnitMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvorn"));
    auto* formMain = new TFormMain;
    FormDirectory = new TFormDirectory;
    FormInfo = new TFormInfo;
    FormKeyword = new TFormKeyword;
    FormHelp = new TFormHelp;
    formMain->show();
    return QApplication::exec();
}
