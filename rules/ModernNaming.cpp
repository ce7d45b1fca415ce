#include "rules/ModernNaming.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "Version.h"
#include "rules/AddressParts.h"
#include "rules/ListStates.h"
#include "rules/ModernLinks.h"

namespace {
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

// Types that say nothing of what the file is: its first bytes tell more.
bool GenericContentType(QByteArrayView contentType)
{
    static const char* const generic[] = {"",
                                          "application/octet-stream",
                                          "binary/octet-stream",
                                          "application/x-download",
                                          "application/force-download",
                                          "application/download",
                                          "application/unknown",
                                          "text/plain"};
    const QByteArray type = MediaType(contentType);
    for (const char* known : generic)
        if (type == known)
            return true;
    return false;
}

// Extensions of server programs, which say how the page was made, not what the answer is.
bool IsScriptExtension(const QByteArray& extension)
{
    static const char* const scripts[] = {"php", "asp", "aspx", "jsp", "cgi",   "pl",
                                          "py",  "do",  "ashx", "cfm", "action"};
    const QByteArray lower = extension.toLower();
    for (const char* script : scripts)
        if (lower == script)
            return true;
    return false;
}
}  // namespace

namespace {
bool IsContinuation(uchar c) { return (c & 0xC0) == 0x80; }

QByteArray AsUtf8(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return bytes.toByteArray();
    return QString::fromLatin1(bytes).toUtf8();
}

// The first `max` bytes or fewer, never half a character.
QByteArray CutOnCharacter(const QByteArray& text, qsizetype max)
{
    if (text.size() <= max)
        return text;
    qsizetype keep = max;
    while (keep > 0 && IsContinuation(uchar(text[keep])))
        --keep;
    return text.left(keep);
}

// The stem cut so that the name fits `max` bytes; the extension tells what the file is and stays.
QByteArray Fitted(const QByteArray& name, qsizetype max)
{
    if (name.size() <= max)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray extension = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QByteArray();
    return CutOnCharacter(name.left(name.size() - extension.size()), max - extension.size()) + extension;
}

// Percent escapes decoded; a "%" that starts no escape stays itself (Qt's decoder would take any
// two bytes after it).
QByteArray PercentDecoded(QByteArrayView text)
{
    QByteArray escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool escape =
            i + 2 < text.size() && std::isxdigit(uchar(text[i + 1])) && std::isxdigit(uchar(text[i + 2]));
        if (text[i] == '%' && !escape)
            escaped.append("%25");
        else
            escaped.append(text[i]);
    }
    return QByteArray::fromPercentEncoding(escaped);
}

// Words of a query or a directory name, joined by "-": "id=3&s=l" -> "id-3-s-l".
QByteArray ReadableTag(QByteArrayView text)
{
    // Long enough to tell addresses apart, short enough to read.
    constexpr qsizetype MaxTagBytes = 48;
    const QByteArray decoded = AsUtf8(PercentDecoded(text));
    QByteArray tag;
    for (char c : decoded) {
        const uchar u = uchar(c);
        if (std::isalnum(u) || u >= 0x80)
            tag.append(c);
        else if (!tag.isEmpty() && !tag.endsWith('-'))
            tag.append('-');
    }
    while (tag.endsWith('-'))
        tag.chop(1);
    tag = CutOnCharacter(tag, MaxTagBytes);
    while (tag.endsWith('-'))
        tag.chop(1);
    return tag;
}

// A mark made from the whole address: the same on every run and on every machine.
QByteArray AddressMark(QByteArrayView address)
{
    return QCryptographicHash::hash(address, QCryptographicHash::Sha1).toHex().left(8);
}

QByteArray WithTag(const QByteArray& name, const QByteArray& tag)
{
    if (tag.isEmpty())
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const bool extension = dot > 0 && name.size() - dot <= 16;
    const QByteArray ending = '-' + tag + (extension ? name.mid(dot) : QByteArray());
    // The stem gives way, so that the tag, which tells the names apart, stays whole.
    return CutOnCharacter(extension ? name.left(dot) : name, MaxModernNameBytes - ending.size()) + ending;
}

QByteArray MarkedName(QByteArrayView address) { return WithTag(DisambiguatedName(address), AddressMark(address)); }
}  // namespace

QByteArray PlainModernName(QByteArrayView bytes)
{
    QByteArray name = AsUtf8(bytes);
    for (char& c : name)
        if (UnsafeInName(uchar(c)))
            c = '_';
    if (name == "." || name == "..")
        return QByteArray(name.size(), '_');
    return Fitted(name, MaxModernNameBytes);
}

QByteArray ModernFileName(QByteArrayView address)
{
    const QList<QByteArrayView> segments = PathSegments(AddressParts(address).path);
    const QByteArray name = PlainModernName(PercentDecoded(segments.isEmpty() ? QByteArrayView() : segments.last()));
    return name.isEmpty() ? QByteArray("index") : name;
}

QByteArray DisambiguatedName(QByteArrayView address)
{
    const TAddressParts parts = AddressParts(address);
    QByteArray tag = ReadableTag(parts.query);
    if (tag.isEmpty()) {
        const QList<QByteArrayView> segments = PathSegments(parts.path);
        if (segments.size() >= 2)
            tag = ReadableTag(segments[segments.size() - 2]);
    }
    return WithTag(ModernFileName(address), tag);
}

void HarvestNames(QList<TNamedAddress>& items)
{
    // The names that more than one address holds. Each name keeps only its first holder: a set
    // of holders per name took a kilobyte for each of tens of thousands of names.
    const auto shared = [&items] {
        QHash<QByteArray, QByteArray> firstHolder;
        QSet<QByteArray> names;
        for (const TNamedAddress& item : items) {
            const auto first = firstHolder.constFind(item.name);
            if (first == firstHolder.cend())
                firstHolder.insert(item.name, item.address);
            else if (*first != item.address)
                names.insert(item.name);
        }
        return names;
    };
    for (TNamedAddress& item : items)
        if (item.renamable)
            item.name = ModernFileName(item.address);
    QSet<QByteArray> clashes = shared();
    for (TNamedAddress& item : items)
        if (item.renamable && clashes.contains(item.name))
            item.name = DisambiguatedName(item.address);
    clashes = shared();
    for (TNamedAddress& item : items)
        if (item.renamable && clashes.contains(item.name))
            item.name = MarkedName(item.address);
}

bool IsAutomaticName(QByteArrayView address, QByteArrayView name)
{
    return name == ModernFileName(address) || name == DisambiguatedName(address) || name == MarkedName(address);
}

QByteArray ContentDispositionName(QByteArrayView value)
{
    QByteArray plain, extended;
    bool haveExtended = false;
    qsizetype i = value.indexOf(';');
    while (i >= 0 && i < value.size()) {
        ++i;  // past ";"
        const qsizetype equals = value.indexOf('=', i);
        const qsizetype semicolon = value.indexOf(';', i);
        if (equals < 0)
            break;
        if (semicolon >= 0 && semicolon < equals) {
            i = semicolon;  // a parameter without a value
            continue;
        }
        const QByteArray name = value.sliced(i, equals - i).toByteArray().trimmed().toLower();
        i = equals + 1;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
            ++i;
        QByteArray parameter;
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                parameter.append(value[i]);
            }
            i = value.indexOf(';', i);
        } else {
            const qsizetype end = value.indexOf(';', i);
            parameter = value.sliced(i, (end < 0 ? value.size() : end) - i).toByteArray().trimmed();
            i = end;
        }
        if (name == "filename*" && !haveExtended) {
            // charset'language'percent-encoded bytes
            const qsizetype first = parameter.indexOf('\'');
            const qsizetype second = first < 0 ? -1 : parameter.indexOf('\'', first + 1);
            if (second < 0)
                continue;
            const QByteArray charset = parameter.left(first).toLower();
            const QByteArray bytes = PercentDecoded(parameter.mid(second + 1));
            if (charset == "utf-8" && bytes.isValidUtf8()) {
                extended = bytes;
                haveExtended = true;
            } else if (charset == "iso-8859-1") {
                extended = QString::fromLatin1(bytes).toUtf8();
                haveExtended = true;
            }
        } else if (name == "filename" && plain.isEmpty()) {
            plain = parameter;
        }
    }
    QByteArray name = haveExtended ? extended : plain;
    // Only the name: a directory in it is never followed.
    const qsizetype separator = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    name = name.mid(separator + 1).trimmed();
    return PlainModernName(name);
}

QByteArray SniffedExtension(QByteArrayView head)
{
    const auto at = [&head](qsizetype offset, QByteArrayView magic) {
        return head.size() >= offset + magic.size() && head.sliced(offset, magic.size()) == magic;
    };
    if (at(0, "\xFF\xD8\xFF"))
        return ".jpg";
    if (at(0, "\x89PNG\r\n\x1A\n"))
        return ".png";
    if (at(0, "GIF87a") || at(0, "GIF89a"))
        return ".gif";
    if (at(0, "RIFF") && at(8, "WEBP"))
        return ".webp";
    if (at(4, "ftyp")) {
        // The major brand tells still pictures from films.
        if (at(8, "avif") || at(8, "avis"))
            return ".avif";
        if (at(8, "heic") || at(8, "heix") || at(8, "mif1") || at(8, "msf1"))
            return {};
        if (at(8, "qt  "))
            return ".mov";
        return ".mp4";
    }
    if (at(0, "\x1A\x45\xDF\xA3"))
        return head.contains("webm") ? ".webm" : ".mkv";
    if (at(0, "%PDF-"))
        return ".pdf";
    if (at(0, "PK\x03\x04") || at(0, "PK\x05\x06"))
        return ".zip";
    return {};
}

QByteArray ModernFinalName(QByteArrayView listed, QByteArrayView contentDisposition, QByteArrayView contentType,
                           QByteArrayView head)
{
    QByteArray name = ContentDispositionName(contentDisposition);
    if (name.isEmpty())
        name = listed.toByteArray();
    if (HasModernFileExtension(name))
        return name;
    QByteArray extension = GenericContentType(contentType) ? QByteArray() : ExtensionForContentType(contentType);
    if (extension.isEmpty())
        extension = SniffedExtension(head);
    if (extension.isEmpty() || name.toLower().endsWith(extension))
        return name;
    // "image.php" answering with a picture is that picture; other dots stay part of the name.
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0 && IsScriptExtension(name.mid(dot + 1)))
        name.truncate(dot);
    return Fitted(name + extension, MaxModernNameBytes);
}

QByteArray ExtensionForContentType(QByteArrayView contentType)
{
    const QByteArray type = MediaType(contentType);
    for (const TTypeExtension& known : TypeExtensions)
        if (type == known.type)
            return known.extension;
    return {};
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
