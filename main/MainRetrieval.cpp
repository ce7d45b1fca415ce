#include "main/UnitMain.h"

void TFormMain::WireRetrieval() {}
