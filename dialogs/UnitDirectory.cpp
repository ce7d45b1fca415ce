#include "dialogs/UnitDirectory.h"

TFormDirectory* FormDirectory = nullptr;

TFormDirectory::TFormDirectory(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormDirectory"));
}
