#pragma once
// The picture preview pane: shows a file item's downloaded JPEG picture scaled to the pane's
// width, blanks it, deletes and marks a picture that cannot be read, and opens an item's file
// with the desktop. It works on the pane's three controls and on the file list it is given;
// which item is current is the window's business.
#include <QObject>
#include <QString>
#include <functional>

class QLabel;
class TCheckListView;
class TPreviewImage;

class TPreviewPane : public QObject {
    Q_OBJECT
public:
    // `localPath` gives the downloaded file of a file item (download directory, "/", Filename).
    TPreviewPane(TPreviewImage* picture, QLabel* nameLabel, QLabel* sizeLabel, TCheckListView* files,
                 std::function<QString(int index)> localPath, QObject* parent = nullptr);

    // Shows the picture of file item `index`; -1 and items without a picture blank the pane.
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
    void ResizeToPicture();

    TPreviewImage* FPicture;
    QLabel* FNameLabel;
    QLabel* FSizeLabel;
    TCheckListView* FFiles;
    std::function<QString(int)> FLocalPath;
    int FPictureWidth = 0;
    int FPictureHeight = 0;
};
