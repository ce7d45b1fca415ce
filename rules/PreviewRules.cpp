#include "rules/PreviewRules.h"

#include <QFileInfo>

int PreviewHeight(int controlWidth, int pictureWidth, int pictureHeight)
{
    if (pictureWidth <= 0 || pictureHeight <= 0 || controlWidth <= 0)
        return 0;
    const qint64 product = qint64(controlWidth) * pictureHeight;
    qint64 quotient = product / pictureWidth;
    const qint64 twiceRest = 2 * (product % pictureWidth);
    if (twiceRest > pictureWidth || (twiceRest == pictureWidth && quotient % 2 != 0))
        ++quotient;
    return quotient > INT_MAX ? INT_MAX : int(quotient);
}

bool MayBePicture(const QString& path) { return path.toUpper().contains(QLatin1String(".JP")); }

bool HasJpegExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("jpeg"), Qt::CaseInsensitive) == 0;
}

bool HasOtherPictureExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    for (const char* known : {"png", "gif", "webp"})
        if (suffix.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString PictureSizeText(int width, int height) { return QStringLiteral("(%1 * %2)").arg(width).arg(height); }
