// The picture preview pane and shell opening of downloaded files (the work is TPreviewPane's),
// and the Help menu's windows.
#include "main/UnitMain.h"

#include "dialogs/UnitHelp.h"
#include "dialogs/UnitInfo.h"
#include "main/TPreviewPane.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TPreviewImage.h"
#include "platform/Guarded.h"

void TFormMain::WirePreview()
{
    FPreview = new TPreviewPane(
        ImagePreview, Label1, Label2, ListViewFile, [this](int index) { return LocalPath(index); }, this);
    FPreview->SetDownloadDirectory([this] { return ComboBoxDownload->Text(); });
    // A double click on the picture opens the current item, not necessarily the picture shown.
    connect(ImagePreview, &TPreviewImage::DoubleClicked, this,
            [this] { Guarded(lcMain(), [this] { ListViewFileDblClick(); }); });
    connect(Help3, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { Help3Click(); }); });
    connect(Info1, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { Info1Click(); }); });
}

void TFormMain::BlankPreviewImage() { FPreview->Blank(); }

void TFormMain::PreviewImage(int index) { FPreview->Show(index); }

void TFormMain::ListViewFileClick() { FPreview->Click(CurrentFileIndex, Displayimagepreview1->isChecked()); }

void TFormMain::ListViewFileDblClick() { FPreview->Open(CurrentFileIndex); }

void TFormMain::Help3Click()
{
    if (FormHelp)
        FormHelp->ShowInFront();
}

void TFormMain::Info1Click()
{
    if (FormInfo)
        FormInfo->ShowInFront();
}
