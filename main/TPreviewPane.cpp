#include "main/TPreviewPane.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>

#include "main/JpegDecoder.h"
#include "main/PictureReader.h"
#include "rules/PreviewRules.h"
#include "main/ShellOpen.h"
#include "rules/OpenRules.h"
#include "platform/LocalFiles.h"
#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"
#include "widgets/TPreviewImage.h"

namespace {
const QString PictureHint = QStringLiteral("Double click for view");
const QString TooLargeNotice = QStringLiteral("(too large to preview)");
}  // namespace

TPreviewPane::TPreviewPane(TPreviewImage* picture, QLabel* nameLabel, QLabel* sizeLabel, TCheckListView* files,
                           std::function<QString(int)> localPath, QObject* parent)
    : QObject(parent), FPicture(picture), FNameLabel(nameLabel), FSizeLabel(sizeLabel), FFiles(files),
      FLocalPath(std::move(localPath))
{
    FPicture->installEventFilter(this);  // the resize rule
}

bool TPreviewPane::ValidIndex(int index) const { return index >= 0 && index < FFiles->Count(); }

bool TPreviewPane::eventFilter(QObject* watched, QEvent* event)
{
    // The picture control follows the pane's width; its height keeps the picture's proportions.
    // A blank pane keeps the control's height.
    if (watched == FPicture && event->type() == QEvent::Resize && FPictureHeight != 0)
        ResizeToPicture();
    return false;
}

void TPreviewPane::ResizeToPicture()
{
    const int height = PreviewHeight(FPicture->width(), FPictureWidth, FPictureHeight);
    if (height > 0 && height != FPicture->height())
        FPicture->resize(FPicture->width(), height);
}

QString TPreviewPane::NoImageText() { return QStringLiteral("No image selected !"); }

void TPreviewPane::Blank()
{
    FPicture->setToolTip(QString());
    FPicture->ClearPicture();
    FPictureWidth = 0;
    FPictureHeight = 0;
    FNameLabel->setText(NoImageText());
    FSizeLabel->setText(QString());
}

void TPreviewPane::Show(int index)
{
    if (!ValidIndex(index) || FFiles->ImageIndex(index) < FileDownloaded) {
        Blank();
        return;
    }
    const QString path = FLocalPath(index);
    if (!QFileInfo(path).isFile())
        return;
    // PNG, GIF and WebP files are read by Qt's plug-ins. One that does not read is left as it
    // is, with the pane unchanged: only the JPEG decoder's verdict deletes a download.
    if (HasOtherPictureExtension(path)) {
        const TJpegPicture picture = DecodeOtherPicture(path);
        if (picture.Ok() || picture.TooLarge)
            Present(index, picture);
        return;
    }
    // Only a file that holds ".JP" in its path and has a JPEG extension is a JPEG picture. A
    // ".JP" in a folder name alone ("x.jpg-pics/a.mp4") is not: such a file has no decoder, the
    // pane keeps what it shows and the file is never touched.
    if (!MayBePicture(path) || !HasJpegExtension(path))
        return;
    const TJpegPicture picture = TJpegDecoder::DecodeFile(path);
    if (picture.TooLarge || picture.Ok()) {
        Present(index, picture);
        return;
    }
    // A picture that cannot be read is a broken download: it goes, and its item says so.
    RemoveInside(FDirectory ? FDirectory() : QFileInfo(path).path(), path);
    FFiles->SetSubItem(index, 1, "Image corrupted");
    FFiles->SetSubItem(index, 2, "(Deleted)");
    FFiles->SetImageIndex(index, FileFailed);
    FFiles->SetStateImage(index, NoBoxStateImage);
    FPicture->setToolTip(QString());
}

void TPreviewPane::Present(int index, const TJpegPicture& picture)
{
    if (picture.TooLarge) {
        // A sound picture too big for a preview stays on disk; the pane says why it shows none.
        FPictureWidth = 0;
        FPictureHeight = 0;
        FPicture->SetNotice(TooLargeNotice);
        FPicture->setToolTip(QString());
        FNameLabel->setText(QString::fromLatin1(FFiles->SubItem(index, 1)));
        FSizeLabel->setText(picture.Width > 0 ? PictureSizeText(picture.Width, picture.Height) : QString());
        return;
    }
    FPictureWidth = picture.Width;
    FPictureHeight = picture.Height;
    FPicture->SetPicture(picture.Image);
    FPicture->resize(FPicture->width(), PreviewHeight(FPicture->width(), picture.Width, picture.Height));
    FNameLabel->setText(QString::fromLatin1(FFiles->SubItem(index, 1)));
    FSizeLabel->setText(PictureSizeText(picture.Width, picture.Height));
    FPicture->setToolTip(PictureHint);
}

void TPreviewPane::Click(int index, bool preview)
{
    if (!ValidIndex(index))
        return;
    if (FFiles->ImageIndex(index) >= 0)
        FFiles->SetStateImage(index, NoBoxStateImage);  // an item with an icon shows no check box
    if (preview)
        Show(index);
}

void TPreviewPane::Open(int index)
{
    if (!ValidIndex(index) || FFiles->ImageIndex(index) < FileDownloaded)
        return;
    const QString path = FLocalPath(index);
    // A longer path is not cut short: the cut text would name another file, or none. The open
    // is then left out, as a failed open is, and the item still counts as opened.
    if (!path.isEmpty() && path.size() <= MaxShellPath) {
        // Only a file that is plainly a picture, video, audio file, archive or document goes to
        // its program; anything else (a script, a desktop entry, a program) is shown in its
        // folder, where the user decides.
        QFile file(path);
        const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(SniffSize) : QByteArray();
        const QFileInfo info(path);
        ShellOpen(QUrl::fromLocalFile(FileMayBeOpened(info.fileName(), head) ? path : info.absolutePath()));
    }
    if (ValidIndex(index)) {  // the desktop's open may have let events run
        FFiles->SetImageIndex(index, FileOpened);
        FFiles->SetStateImage(index, NoBoxStateImage);
    }
}
