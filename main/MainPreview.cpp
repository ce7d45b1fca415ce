// The picture preview pane, shell opening of downloaded files, and the Help menu's windows.
#include "main/UnitMain.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include "dialogs/UnitHelp.h"
#include "dialogs/UnitInfo.h"
#include "main/JpegDecoder.h"
#include "rules/PreviewRules.h"
#include "main/ShellOpen.h"
#include "widgets/TCheckListView.h"
#include "widgets/TPreviewImage.h"
#include "platform/Guarded.h"

namespace {
const QString PictureHint = QStringLiteral("Double click for view");
}  // namespace

void TFormMain::WirePreview()
{
    connect(ImagePreview, &TPreviewImage::DoubleClicked, this, [this] { Guarded(lcMain(), [this] { ListViewFileDblClick(); }); });
    ImagePreview->installEventFilter(this);  // the resize rule
    connect(Help3, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { Help3Click(); }); });
    connect(Info1, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { Info1Click(); }); });
}

bool TFormMain::EventFilterPreview(QObject* watched, QEvent* event)
{
    // The picture control follows the pane's width; its height keeps the picture's proportions.
    // A blank pane keeps the control's height.
    if (watched == ImagePreview && event->type() == QEvent::Resize && FPictureHeight != 0) {
        const int height = PreviewHeight(ImagePreview->width(), FPictureWidth, FPictureHeight);
        if (height > 0 && height != ImagePreview->height())
            ImagePreview->resize(ImagePreview->width(), height);
    }
    return false;
}

QString TFormMain::NoImageSelectedText() { return QStringLiteral("No image selected !"); }

void TFormMain::BlankPreviewImage()
{
    ImagePreview->setToolTip(QString());
    ImagePreview->ClearPicture();
    FPictureWidth = 0;
    FPictureHeight = 0;
    Label1->setText(NoImageSelectedText());
    Label2->setText(QString());
}

void TFormMain::PreviewImage(int index)
{
    if (index < 0 || index >= ListViewFile->Count()) {
        BlankPreviewImage();
        return;
    }
    if (ListViewFile->ImageIndex(index) < FileDownloaded) {
        BlankPreviewImage();
        return;
    }
    const QString path = LocalPath(index);
    // Only a file that exists under its own name, holds ".JP" in its path and has a JPEG
    // extension is a picture. A ".JP" in a folder name alone ("x.jpg-pics/a.gif") is not: such
    // a file has no decoder, the pane keeps what it shows and the file is never touched.
    if (!MayBePicture(path) || !QFileInfo(path).isFile() || !HasJpegExtension(path))
        return;
    const TJpegPicture picture = TJpegDecoder::DecodeFile(path);
    if (!picture.Ok()) {
        // A picture that cannot be read is a broken download: it goes, and its item says so.
        QFile::remove(path);
        ListViewFile->SetSubItem(index, 1, "Image corrupted");
        ListViewFile->SetSubItem(index, 2, "(Deleted)");
        ListViewFile->SetImageIndex(index, FileFailed);
        ListViewFile->SetStateImage(index, NoBoxStateImage);
        ImagePreview->setToolTip(QString());
        return;
    }
    FPictureWidth = picture.Width;
    FPictureHeight = picture.Height;
    ImagePreview->SetPicture(picture.Image);
    ImagePreview->resize(ImagePreview->width(),
                         PreviewHeight(ImagePreview->width(), picture.Width, picture.Height));
    Label1->setText(QString::fromLatin1(ListViewFile->SubItem(index, 1)));
    Label2->setText(PictureSizeText(picture.Width, picture.Height));
    ImagePreview->setToolTip(PictureHint);
}

void TFormMain::ListViewFileClick()
{
    // An engine that finished a file runs this from its own thread: the work is the window's.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { Guarded(lcMain(), [this] { ListViewFileClick(); }); },
                                  Qt::BlockingQueuedConnection);
        return;
    }
    const int index = CurrentFileIndex;
    if (index < 0 || index >= ListViewFile->Count())
        return;
    if (ListViewFile->ImageIndex(index) >= 0)
        ListViewFile->SetStateImage(index, NoBoxStateImage);  // an item with an icon shows no check box
    if (Displayimagepreview1->isChecked())
        PreviewImage(index);
}

void TFormMain::ListViewFileDblClick()
{
    const int index = CurrentFileIndex;
    if (index < 0 || index >= ListViewFile->Count() || ListViewFile->ImageIndex(index) < FileDownloaded)
        return;
    const QString path = LocalPath(index);
    // A longer path is not cut short: the cut text would name another file, or none. The open
    // is then left out, as a failed open is, and the item still counts as opened.
    if (path.size() <= MaxShellPath)
        ShellOpen(QUrl::fromLocalFile(path));
    if (index < ListViewFile->Count()) {  // the desktop's open may have let events run
        ListViewFile->SetImageIndex(index, FileOpened);
        ListViewFile->SetStateImage(index, NoBoxStateImage);
    }
}

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
