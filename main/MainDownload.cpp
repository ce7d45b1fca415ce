#include "main/UnitMain.h"

void TFormMain::WireDownload() {}
