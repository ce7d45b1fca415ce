#pragma once
// The picture preview pane: shows a file item's downloaded picture (JPEG, PNG, GIF, WebP) scaled to the pane's
// width, blanks it, deletes and marks a picture that cannot be read, and opens an item's file
// with the desktop. It works on the pane's three controls and on the file list it is given;
// which item is current is the window's business.
#include <QObject>
#include <QString>
#include <functional>

class QLabel;
class TCheckListView;
class TPreviewImage;
struct TJpegPicture;

class TPreviewPane : public QObject {
    Q_OBJECT
public:
    // `localPath` gives the downloaded file of a file item (download directory, "/", Filename).
    TPreviewPane(TPreviewImage* picture, QLabel* nameLabel, QLabel* sizeLabel, TCheckListView* files,
                 std::function<QString(int index)> localPath, QObject* parent = nullptr);

    // The download directory: a corrupt picture is deleted only when it lies directly in it
    // (both resolved). Without it, only the path's own directory is taken.
    void SetDownloadDirectory(std::function<QString()> directory) { FDirectory = std::move(directory); }

    // Shows the picture of file item `index`; -1 and items without a picture blank the pane. A
    // picture too large to preview shows as a notice, its file kept.
    void Show(int index);
    void Blank();
    static QString NoImageText();  // the caption of a blank pane
    // A click on file item `index`: an item with an icon shows no check box again, then the
    // item is previewed when `preview` is set. Nothing happens for an index that names no item.
    void Click(int index, bool preview);
    // Opens a downloaded item's file with the desktop and marks it opened; other items and
    // indexes that name no item are left alone.
    void Open(int index);

    // The shown picture's own size; 0 x 0 while the pane is blank.
    int PictureWidth() const { return FPictureWidth; }
    int PictureHeight() const { return FPictureHeight; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ValidIndex(int index) const;
    // Shows a decoded picture, or the notice of one too large to preview, for item `index`.
    void Present(int index, const TJpegPicture& picture);
    void ResizeToPicture();

    TPreviewImage* FPicture;
    QLabel* FNameLabel;
    QLabel* FSizeLabel;
    TCheckListView* FFiles;
    std::function<QString(int)> FLocalPath;
    std::function<QString()> FDirectory;
    int FPictureWidth = 0;
    int FPictureHeight = 0;
};
