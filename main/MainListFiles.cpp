#include "main/UnitMain.h"

void TFormMain::WireListFiles() {}
