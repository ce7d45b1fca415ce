#include "rules/ModernNaming.h"

#include <cctype>
#include <cstring>

#include "Version.h"
#include "rules/ListStates.h"

namespace {
// Longest name most file systems take, in bytes.
constexpr qsizetype MaxNameBytes = 255;

bool UnsafeInName(uchar c)
{
    // "/" and NUL cannot stand in a name here; the others break names on the file systems and
    // shells that downloaded files are often copied to.
    return c < 0x20 || c == 0x7f || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

struct TTypeExtension {
    const char* type;
    const char* extension;
};

// clang-format off
const TTypeExtension TypeExtensions[] = {
    {"image/jpeg", ".jpg"}, {"image/pjpeg", ".jpg"}, {"image/jpg", ".jpg"}, {"image/png", ".png"},
    {"image/gif", ".gif"}, {"image/webp", ".webp"}, {"image/avif", ".avif"}, {"image/bmp", ".bmp"},
    {"image/x-ms-bmp", ".bmp"}, {"image/tiff", ".tif"}, {"image/svg+xml", ".svg"},
    {"image/x-icon", ".ico"}, {"image/vnd.microsoft.icon", ".ico"},
    {"video/mp4", ".mp4"}, {"video/webm", ".webm"}, {"video/quicktime", ".mov"}, {"video/x-msvideo", ".avi"},
    {"video/mpeg", ".mpg"}, {"video/x-matroska", ".mkv"}, {"video/x-m4v", ".m4v"},
    {"audio/mpeg", ".mp3"}, {"audio/mp4", ".m4a"}, {"audio/x-m4a", ".m4a"}, {"audio/ogg", ".ogg"},
    {"audio/opus", ".opus"}, {"audio/flac", ".flac"}, {"audio/x-flac", ".flac"}, {"audio/wav", ".wav"},
    {"audio/x-wav", ".wav"}, {"audio/wave", ".wav"},
    {"application/zip", ".zip"}, {"application/x-zip-compressed", ".zip"}, {"application/pdf", ".pdf"},
    {"application/epub+zip", ".epub"}, {"application/gzip", ".gz"}, {"application/x-gzip", ".gz"},
    {"application/x-7z-compressed", ".7z"}, {"application/vnd.rar", ".rar"}, {"application/x-rar-compressed", ".rar"},
    {"application/x-tar", ".tar"}, {"application/x-bzip2", ".bz2"}, {"application/x-xz", ".xz"},
    {"application/zstd", ".zst"}, {"text/html", ".html"}, {"text/plain", ".txt"},
};
// clang-format on

QByteArray MediaType(QByteArrayView contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    return (semicolon < 0 ? contentType : contentType.first(semicolon)).toByteArray().trimmed().toLower();
}
}  // namespace

QByteArray ModernFileName(QByteArrayView address)
{
    qsizetype end = address.size();
    for (char stop : {'?', '#'})
        if (const qsizetype at = address.first(end).indexOf(stop); at >= 0)
            end = at;
    const QByteArrayView path = address.first(end);
    const qsizetype authority = path.indexOf("//");
    const qsizetype slash = path.lastIndexOf('/');
    // "http://host" has no path: its slashes belong to the authority.
    const QByteArrayView segment =
        slash < 0 || (authority >= 0 && slash <= authority + 1) ? QByteArrayView() : path.sliced(slash + 1);

    // A "%" that starts no escape stays itself (Qt's decoder would take any two bytes after it).
    QByteArray escaped;
    escaped.reserve(segment.size());
    for (qsizetype i = 0; i < segment.size(); ++i) {
        const bool escape =
            i + 2 < segment.size() && std::isxdigit(uchar(segment[i + 1])) && std::isxdigit(uchar(segment[i + 2]));
        if (segment[i] == '%' && !escape)
            escaped.append("%25");
        else
            escaped.append(segment[i]);
    }
    QByteArray name = QByteArray::fromPercentEncoding(escaped);
    for (char& c : name)
        if (UnsafeInName(uchar(c)))
            c = '_';
    if (name.isEmpty())
        return "index";
    if (name == "." || name == "..")
        return QByteArray(name.size(), '_');
    if (name.size() > MaxNameBytes) {
        // Keep the extension: it tells what the file is.
        const qsizetype dot = name.lastIndexOf('.');
        const QByteArray extension = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QByteArray();
        name = name.left(MaxNameBytes - extension.size()) + extension;
    }
    return name;
}

QByteArray ExtensionForContentType(QByteArrayView contentType)
{
    const QByteArray type = MediaType(contentType);
    for (const TTypeExtension& known : TypeExtensions)
        if (type == known.type)
            return known.extension;
    return {};
}

QByteArray NameWithTypeExtension(const QByteArray& name, QByteArrayView contentType)
{
    // A dot at the start marks a hidden name, not an extension.
    if (name.lastIndexOf('.') > 0)
        return name;
    return name + ExtensionForContentType(contentType);
}

QByteArray RequestTarget(QByteArrayView target)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(target.size());
    for (char c : target) {
        const uchar u = uchar(c);
        if (u <= 0x20 || u >= 0x7f) {
            encoded.append('%');
            encoded.append(hex[u >> 4]);
            encoded.append(hex[u & 15]);
        } else {
            encoded.append(c);
        }
    }
    return encoded;
}

bool DiscardDownload(qint64 size, bool failed, bool modern, int statusCode, QByteArrayView contentType)
{
    if (failed)
        return true;
    if (size >= MinimumFileSize)
        return false;
    if (!modern)
        return true;
    return statusCode >= 400 || MediaType(contentType) == "text/html";
}

QByteArray ModernUserAgent() { return QByteArrayLiteral("Kelvorn/" KELVORN_VERSION); }
