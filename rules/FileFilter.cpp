#include "rules/FileFilter.h"

namespace {

struct TKindExtensions {
    TFileKind kind;
    const char* const* extensions;
};
// clang-format off
const char* const PictureExtensions[] = {"jpg", "jpeg", "jpe", "png", "gif", "webp", "avif", "bmp", "tif", "tiff",
                                         "svg", "heic", "jxl", nullptr};
const char* const VideoExtensions[] = {"avi", "mpg", "mpeg", "mp4", "m4v", "mov", "webm", "mkv", "wmv", "flv",
                                       "ogv", nullptr};
const char* const AudioExtensions[] = {"mp3", "m4a", "ogg", "oga", "opus", "flac", "wav", "aac", "wma", nullptr};
const char* const ArchiveExtensions[] = {"zip", "7z", "rar", "tar", "gz", "tgz", "bz2", "xz", "zst", "lzh", "arj",
                                         nullptr};
const char* const DocumentExtensions[] = {"pdf", "epub", "doc", "docx", "odt", "rtf", "txt", "xls", "xlsx", "ods",
                                          "ppt", "pptx", "odp", nullptr};
const TKindExtensions Kinds[] = {
    {TFileKind::Picture, PictureExtensions}, {TFileKind::Video, VideoExtensions},
    {TFileKind::Audio, AudioExtensions},     {TFileKind::Archive, ArchiveExtensions},
    {TFileKind::Document, DocumentExtensions},
};
// clang-format on

QByteArrayView PathPart(QByteArrayView address)
{
    if (const qsizetype cut = address.indexOf('#'); cut >= 0)
        address = address.first(cut);
    if (const qsizetype cut = address.indexOf('?'); cut >= 0)
        address = address.first(cut);
    if (const qsizetype scheme = address.indexOf("://"); scheme >= 0) {
        const qsizetype slash = address.indexOf('/', scheme + 3);
        return slash < 0 ? QByteArrayView() : address.sliced(slash);
    }
    return address;
}

bool Outside(qint64 value, qint64 minimum, qint64 maximum)
{
    if (value < 0)
        return false;  // unknown
    return (minimum > 0 && value < minimum) || (maximum > 0 && value > maximum);
}

}  // namespace

TFileKind FileKindOf(QByteArrayView address, bool foundAsPicture)
{
    const QByteArrayView path = PathPart(address);
    const QByteArrayView name = path.sliced(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) {
        const QByteArrayView extension = name.sliced(dot + 1);
        for (const TKindExtensions& kind : Kinds)
            for (const char* const* known = kind.extensions; *known != nullptr; ++known)
                if (extension.compare(QByteArrayView(*known), Qt::CaseInsensitive) == 0)
                    return kind.kind;
    }
    return foundAsPicture ? TFileKind::Picture : TFileKind::Other;
}

QByteArray HostOf(QByteArrayView address)
{
    const qsizetype scheme = address.indexOf("://");
    if (scheme < 0)
        return {};
    QByteArrayView authority = address.sliced(scheme + 3);
    for (char end : {'/', '?', '#'})
        if (const qsizetype cut = authority.indexOf(end); cut >= 0)
            authority = authority.first(cut);
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0)
        authority = authority.sliced(at + 1);
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        return (close < 0 ? authority : authority.first(close + 1)).toByteArray().toLower();
    }
    if (const qsizetype colon = authority.indexOf(':'); colon >= 0)
        authority = authority.first(colon);
    return authority.toByteArray().toLower();
}

bool PassesFilter(const TFileFilter& filter, const TFileFacts& file)
{
    if ((filter.kinds & KindBit(file.kind)) == 0)
        return false;
    if (Outside(file.width, filter.minWidth, filter.maxWidth)
        || Outside(file.height, filter.minHeight, filter.maxHeight)
        || Outside(file.bytes, filter.minBytes, filter.maxBytes))
        return false;
    if (!filter.host.isEmpty()) {
        const QByteArray wanted = filter.host.trimmed().toLower();
        const QByteArray host = HostOf(file.address);
        if (host != wanted && !host.endsWith('.' + wanted))
            return false;
    }
    // Letter case aside, for ASCII: addresses are 8-bit text.
    if (!filter.keyword.isEmpty() && !file.address.toLower().contains(filter.keyword.toLower()))
        return false;
    return true;
}
