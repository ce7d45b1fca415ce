#include "main/UnitMain.h"

void TFormMain::WireProgress() {}
