#include "main/UnitMain.h"

void TFormMain::WireScanner() {}
