// The JPEG decoder on arbitrary bytes: the library's errors come back as a failed decode, a
// success always carries a picture no larger than the file states, and the picture stays within
// the pixel budget it was given.
#include <QByteArray>

#include "FuzzCheck.h"
#include "main/JpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A small budget keeps each run quick; the reduction and refusal paths are the same.
    constexpr qint64 budget = 1024 * 1024;
    const TJpegPicture picture = TJpegDecoder::Decode(data, qint64(size), budget);
    if (!picture.Ok()) {
        FUZZ_CHECK(!picture.Error.isEmpty());
        FUZZ_CHECK(picture.Image.isNull());
        return 0;
    }
    FUZZ_CHECK(picture.Image.width() <= picture.Width && picture.Image.height() <= picture.Height);
    FUZZ_CHECK(qint64(picture.Image.width()) * picture.Image.height() <= budget);
    return 0;
}
