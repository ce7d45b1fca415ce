// Temporary until the owners land: the preview's click handlers and blanking, and the download
// side's icon update. The lead deletes this file when merging.
#include "main/UnitMain.h"

void TFormMain::PreviewImage(int) {}
void TFormMain::UpdateIconsInfileList() {}
void TFormMain::ListViewFileClick() {}
void TFormMain::ListViewFileDblClick() {}
