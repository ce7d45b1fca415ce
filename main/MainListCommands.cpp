#include "main/UnitMain.h"

void TFormMain::WireListCommands() {}

bool TFormMain::EventFilterListCommands(QObject*, QEvent*) { return false; }
