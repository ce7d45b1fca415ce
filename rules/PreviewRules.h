#pragma once
// Rules of the preview pane that need no window.
#include <QString>

// The picture control's height for a picture W x H shown at the control's width: width * H / W
// rounded to the nearest whole number, halves to the even number. 0 when the picture is empty.
int PreviewHeight(int controlWidth, int pictureWidth, int pictureHeight);

// Only paths whose upper-cased text holds ".JP" are looked at by the preview at all.
bool MayBePicture(const QString& path);

// The extensions "jpg" and "jpeg" in any letter case choose the JPEG decoder; any other file
// (say, a gif in a folder named "x.jpg-pics") has no decoder and is left alone.
bool HasJpegExtension(const QString& path);

// The extensions "png", "gif" and "webp" in any letter case: pictures that Qt's image plug-ins
// read for the preview, whatever the rest of the path holds.
bool HasOtherPictureExtension(const QString& path);

// The size label: "(" width " * " height ")".
QString PictureSizeText(int width, int height);

// The longest path handed to the shell's open operation.
constexpr int MaxShellPath = 120;
