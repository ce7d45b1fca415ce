#include "main/PictureReader.h"

#include <QBuffer>
#include <QImageReader>
#include <cmath>

namespace {
// A header that claims more than this is refused before anything is allocated for it: even
// reduced, such a picture would cost the plug-in its whole size while it decodes.
constexpr qint64 MaxClaimedPixels = 20000LL * 20000;
}  // namespace

QSize PictureSizeFromHead(const QByteArray& head)
{
    QBuffer buffer;
    buffer.setData(head);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    return size.width() > 0 && size.height() > 0 ? size : QSize();
}

TJpegPicture DecodeOtherPicture(const QString& path, qint64 maxPixels)
{
    TJpegPicture picture;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.width() > 0 && size.height() > 0) {
        picture.Width = size.width();
        picture.Height = size.height();
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels > MaxClaimedPixels) {
            picture.TooLarge = true;
            picture.Error = QStringLiteral("Picture too large");
            return picture;
        }
        if (pixels > maxPixels) {
            const double scale = std::sqrt(double(maxPixels) / double(pixels));
            reader.setScaledSize(
                QSize(std::max(1, int(size.width() * scale)), std::max(1, int(size.height() * scale))));
        }
    }
    if (!reader.read(&picture.Image)) {
        picture.Image = QImage();
        picture.Error = reader.errorString();
        if (picture.Error.isEmpty())
            picture.Error = QStringLiteral("Unreadable picture");
        return picture;
    }
    if (picture.Width <= 0) {
        picture.Width = picture.Image.width();
        picture.Height = picture.Image.height();
    }
    return picture;
}
