#pragma once
// JPEG pictures for the preview pane, decoded with libjpeg. Every library error comes back to
// the caller as a failed decode: the library's default handler would end the process.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>

struct TJpegPicture {
    QImage Image;   // the decoded pixels, possibly reduced (see MaxPixels)
    int Width = 0;  // the picture's own size, as the file states it
    int Height = 0;
    int Warnings = 0;  // damaged data that the library got past (the picture is still shown)
    QString Error;     // why the decode failed; empty on success
    // The decode was refused or ran out of memory because of the picture's size: the file may
    // be a sound picture, only too big for a preview. Not set for damaged data.
    bool TooLarge = false;
    bool Ok() const { return Error.isEmpty() && !Image.isNull(); }
};

class TJpegDecoder {
public:
    // A preview never needs more pixels than this: bigger pictures are decoded at 1/2, 1/4
    // or 1/8 of their size, which libjpeg does cheaply, so a hostile header that claims
    // 65000 x 65000 pixels cannot make us allocate gigabytes.
    static constexpr qint64 MaxPixels = 16 * 1024 * 1024;
    // A progressive file makes libjpeg keep every coefficient of the whole picture, whatever
    // the reduction (128 bytes per 8 x 8 block and component): pictures up to this size still
    // preview; a larger one is refused as too large before anything is allocated for it.
    static constexpr qint64 MaxProgressivePixels = 10240LL * 10240;

    // Called after each band of rows with the rows decoded so far; for progressive drawing.
    using Progress = std::function<void(const QImage& partial, int rowsDone)>;

    static TJpegPicture DecodeFile(const QString& path, qint64 maxPixels = MaxPixels, const Progress& progress = {});
    static TJpegPicture DecodeData(const QByteArray& data, qint64 maxPixels = MaxPixels, const Progress& progress = {});
    static TJpegPicture Decode(const uchar* data, qint64 size, qint64 maxPixels = MaxPixels,
                               const Progress& progress = {});
};
