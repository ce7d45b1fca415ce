#include "main/UnitMain.h"

void TFormMain::WirePreview() {}

bool TFormMain::EventFilterPreview(QObject*, QEvent*) { return false; }
