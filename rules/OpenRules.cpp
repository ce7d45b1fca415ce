#include "rules/OpenRules.h"

#include <algorithm>
#include <initializer_list>

namespace {
// A signature: the bytes at an offset of the file's start.
struct TMagic {
    int Offset;
    QByteArrayView Bytes;
};

bool Matches(QByteArrayView head, const TMagic& magic)
{
    return head.size() >= magic.Offset + magic.Bytes.size()
        && head.sliced(magic.Offset, magic.Bytes.size()) == magic.Bytes;
}

// clang-format off
const TMagic Jpeg{0, "\xFF\xD8\xFF"};
const TMagic Png{0, "\x89PNG\r\n\x1a\n"};
const TMagic Gif{0, "GIF8"};
const TMagic Bmp{0, "BM"};
const TMagic Riff{0, "RIFF"};
const TMagic Webp{8, "WEBP"};
const TMagic Wave{8, "WAVE"};
const TMagic Avi{8, "AVI "};
const TMagic TiffLe{0, QByteArrayView("II*\0", 4)};
const TMagic TiffBe{0, QByteArrayView("MM\0*", 4)};
const TMagic Icon{0, QByteArrayView("\0\0\1\0", 4)};
const TMagic Ftyp{4, "ftyp"};
const TMagic Matroska{0, "\x1A\x45\xDF\xA3"};
const TMagic MpegPack{0, QByteArrayView("\0\0\1\xBA", 4)};
const TMagic MpegVideo{0, QByteArrayView("\0\0\1\xB3", 4)};
const TMagic Flv{0, "FLV"};
const TMagic Asf{0, "\x30\x26\xB2\x75"};
const TMagic Id3{0, "ID3"};
const TMagic Ogg{0, "OggS"};
const TMagic Flac{0, "fLaC"};
const TMagic Zip{0, "PK\x03\x04"};
const TMagic Rar{0, "Rar!"};
const TMagic SevenZip{0, "7z\xBC\xAF\x27\x1C"};
const TMagic Gzip{0, "\x1F\x8B"};
const TMagic Bzip2{0, "BZh"};
const TMagic Xz{0, QByteArrayView("\xFD" "7zXZ\0", 6)};
const TMagic Tar{257, "ustar"};
const TMagic Pdf{0, "%PDF-"};
const TMagic OleDocument{0, "\xD0\xCF\x11\xE0"};
// clang-format on

bool IsMpegAudioFrame(QByteArrayView head)
{
    return head.size() >= 2 && uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0;
}

// A kind of file the desktop may open: its extensions and the first bytes it may begin with.
// RIFF forms need both their "RIFF" and their form name, so those carry two signatures that must
// both match.
struct TKind {
    std::initializer_list<const char*> Extensions;
    std::initializer_list<TMagic> AnyOf;  // one of these
    const TMagic* AlsoNeeds = nullptr;    // and this one too
    bool MpegAudio = false;               // or a bare MPEG audio frame
};

// clang-format off
const TKind Kinds[] = {
    {{"jpg", "jpeg", "jpe", "jfif"}, {Jpeg}},
    {{"png"}, {Png}},
    {{"gif"}, {Gif}},
    {{"bmp"}, {Bmp}},
    {{"webp"}, {Riff}, &Webp},
    {{"tif", "tiff"}, {TiffLe, TiffBe}},
    {{"ico"}, {Icon}},
    {{"mp4", "m4v", "mov", "m4a", "3gp"}, {Ftyp}},
    {{"webm", "mkv", "mka"}, {Matroska}},
    {{"avi"}, {Riff}, &Avi},
    {{"mpg", "mpeg"}, {MpegPack, MpegVideo}},
    {{"flv"}, {Flv}},
    {{"wmv", "wma", "asf"}, {Asf}},
    {{"mp3"}, {Id3}, nullptr, true},
    {{"ogg", "oga", "ogv", "opus"}, {Ogg}},
    {{"flac"}, {Flac}},
    {{"wav"}, {Riff}, &Wave},
    {{"zip", "cbz", "epub", "docx", "xlsx", "pptx", "odt", "ods", "odp"}, {Zip}},
    {{"rar", "cbr"}, {Rar}},
    {{"7z"}, {SevenZip}},
    {{"gz", "tgz"}, {Gzip}},
    {{"bz2", "tbz2"}, {Bzip2}},
    {{"xz", "txz"}, {Xz}},
    {{"tar"}, {Tar}},
    {{"pdf"}, {Pdf}},
    {{"doc", "xls", "ppt"}, {OleDocument}},
};
// clang-format on

// Whether the first bytes are of the kind the extension (lower case, without its dot) names;
// false for an extension outside the known kinds.
bool KindMatches(const QString& extension, QByteArrayView head)
{
    for (const TKind& kind : Kinds) {
        if (std::none_of(kind.Extensions.begin(), kind.Extensions.end(),
                         [&](const char* name) { return extension == QLatin1String(name); }))
            continue;
        const bool signature = std::any_of(kind.AnyOf.begin(), kind.AnyOf.end(),
                                           [&](const TMagic& magic) { return Matches(head, magic); });
        return (signature && (kind.AlsoNeeds == nullptr || Matches(head, *kind.AlsoNeeds)))
            || (kind.MpegAudio && IsMpegAudioFrame(head));
    }
    return false;
}
}  // namespace

bool IsWebAddress(QByteArrayView address)
{
    const QByteArray text = address.toByteArray().toLower();
    return text.startsWith("http://") || text.startsWith("https://");
}

bool FileMayBeOpened(const QString& fileName, QByteArrayView firstBytes)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    return KindMatches(fileName.mid(dot + 1).toLower(),
                       firstBytes.first(qMin(firstBytes.size(), qsizetype(SniffSize))));
}
