#include "main/UnitMain.h"

void TFormMain::WireBookmarks() {}

bool TFormMain::EventFilterBookmarks(QObject*, QEvent*) { return false; }
