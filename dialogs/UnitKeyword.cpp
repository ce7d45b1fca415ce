#include "dialogs/UnitKeyword.h"

TFormKeyword* FormKeyword = nullptr;

TFormKeyword::TFormKeyword(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormKeyword"));
}
