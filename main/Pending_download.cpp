// TEMPORARY until the owners land: Stop (document retrieval) and the file list's click (preview),
// so that the download branch links and its tests run. Delete when merging.
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

// temporary until document retrieval lands
void TFormMain::ButtonStopClick()
{
    StopRequested = true;
    if (ListViewFile)
        ListViewFile->Tag = 0;
    if (ComboBoxDownload)
        ComboBoxDownload->setEnabled(true);
}

// temporary until the preview lands
void TFormMain::ListViewFileClick()
{
    if (CurrentFileIndex >= 0 && ListViewFile->ImageIndex(CurrentFileIndex) >= 0)
        ListViewFile->SetStateImage(CurrentFileIndex, 3);
}
