#include "dialogs/UnitHelp.h"

TFormHelp* FormHelp = nullptr;

TFormHelp::TFormHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormHelp"));
}
