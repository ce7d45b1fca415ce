#include "dialogs/UnitInfo.h"

TFormInfo* FormInfo = nullptr;

TFormInfo::TFormInfo(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormInfo"));
}
