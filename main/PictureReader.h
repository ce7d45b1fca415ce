#pragma once
// Pictures read with Qt's image plug-ins: PNG, GIF and WebP files for the preview pane (JPEG
// files keep their own decoder), and the pixel size a picture's first bytes state, whatever its
// format, without decoding any pixels.
#include <QByteArray>
#include <QSize>
#include <QString>

#include "main/JpegDecoder.h"

// The size the header of `head` (the start of a picture file, such as the answer to a request
// for its first 64 KB) states; an invalid size when no plug-in reads it from those bytes.
QSize PictureSizeFromHead(const QByteArray& head);

// Decodes a PNG, GIF or WebP file (the first frame of an animation). Pictures of more than
// `maxPixels` are decoded reduced, as the JPEG decoder does; one whose own size is beyond what
// a preview can hold even reduced comes back TooLarge. Damaged data fails with the reader's
// error text.
TJpegPicture DecodeOtherPicture(const QString& path, qint64 maxPixels = TJpegDecoder::MaxPixels);
