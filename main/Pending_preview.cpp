// TEMPORARY definitions so this branch links; temporary until the owner lands (the lead
// deletes this file when merging). They follow the download code's own definitions.
#include <QFileInfo>

#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

QString TFormMain::LocalPath(int index) const
{
    return ComboBoxDownload->Text() + QLatin1Char('/') + QString::fromLatin1(ListViewFile->SubItem(index, 1));
}

void TFormMain::UpdateIconsInfileList()
{
    for (int i = 0; i < ListViewFile->Count(); ++i) {
        if (QFileInfo(LocalPath(i)).isFile()) {
            ListViewFile->SetImageIndex(i, FileSkipped);
            ListViewFile->SetStateImage(i, 3);
        }
    }
}
