// TEMPORARY until their owners land: definitions that let this branch link on its own. Each
// block goes as soon as the real one is merged.
#include "main/UnitMain.h"

// Temporary until the download command lands.
void TFormMain::ButtonDownloadClick() {}
