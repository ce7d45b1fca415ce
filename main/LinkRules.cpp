#include "main/LinkRules.h"

#include <QByteArrayView>
#include <cstring>

namespace {
inline char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Equal after ASCII upper-casing; `upper` is given in upper case.
bool EqualsUpper(QByteArrayView text, QByteArrayView upper)
{
    if (text.size() != upper.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (Upper(text[i]) != upper[i])
            return false;
    return true;
}

// Position of `upper` in the ASCII-upper-cased text, -1 when absent; no upper-cased copy made.
qsizetype IndexOfUpper(QByteArrayView text, QByteArrayView upper)
{
    const qsizetype last = text.size() - upper.size();
    for (qsizetype i = 0; i <= last; ++i)
        if (EqualsUpper(text.sliced(i, upper.size()), upper))
            return i;
    return -1;
}

QByteArrayView ExtensionOf(QByteArrayView link)
{
    const qsizetype dot = link.lastIndexOf('.');
    return dot < 0 ? QByteArrayView() : link.sliced(dot + 1);
}

bool ExtensionIn(QByteArrayView link, std::initializer_list<const char*> extensions)
{
    const QByteArrayView extension = ExtensionOf(link);
    if (extension.isEmpty())
        return false;
    for (const char* candidate : extensions)
        if (EqualsUpper(extension, QByteArrayView(candidate)))
            return true;
    return false;
}

// `q` is the position of a double quote: does a marker end there? Letters compare in any case
// (c | 0x20 folds exactly 'X' and 'x' together for a letter, nothing else); "=" compares as is.
inline bool LinkMarkerEndsAt(const unsigned char* d, qsizetype q)
{
    if (q < 5)
        return false;
    const unsigned char* p = d + q - 5;
    return p[4] == '=' && (p[0] | 0x20) == 'h' && (p[1] | 0x20) == 'r' && (p[2] | 0x20) == 'e'
        && (p[3] | 0x20) == 'f';
}

inline bool PictureMarkerEndsAt(const unsigned char* d, qsizetype q)
{
    if (q < 7)
        return false;
    const unsigned char* p = d + q - 7;
    return p[6] == '=' && (p[0] | 0x20) == 'i' && (p[1] | 0x20) == 'm' && (p[2] | 0x20) == 'g'
        && (p[3] | 0x20) == 's' && (p[4] | 0x20) == 'r' && (p[5] | 0x20) == 'c';
}
}  // namespace

QByteArray PrepareText(const QByteArray& text)
{
    if (!text.contains(' '))
        return text;
    QByteArray prepared(text.size(), Qt::Uninitialized);
    char* out = prepared.data();
    const char* in = text.constData();
    const char* const stop = in + text.size();
    // Branch-free copy: every byte is written, only non-spaces advance the output.
    for (; in != stop; ++in) {
        *out = *in;
        out += *in != ' ';
    }
    prepared.truncate(out - prepared.constData());
    return prepared;
}

QByteArray UpperAscii(const QByteArray& text)
{
    QByteArray upper(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        upper[i] = Upper(text[i]);
    return upper;
}

QByteArray LinkExtension(const QByteArray& link) { return UpperAscii(ExtensionOf(link).toByteArray()); }

bool IncludeDocument(const QByteArray& link)
{
    return ExtensionIn(link, {"HTM", "HTML", "SHTML", "COM"}) && !link.contains("..")
        && !link.contains("mailto") && !link.contains('?');
}

bool IncludeFile(const QByteArray& link)
{
    return ExtensionIn(link, {"JPG", "JPEG", "GIF", "AVI", "MPG", "MPEG", "ZIP"})
        && !link.contains("..") && !link.contains('?');
}

TLinkClass ClassifyLink(const QByteArray& link)
{
    if (IncludeDocument(link))
        return TLinkClass::Document;
    if (IncludeFile(link))
        return TLinkClass::File;
    return TLinkClass::None;
}

bool ExistsWithoutSearch(const QByteArray& link) { return link.isEmpty() || link.contains(".."); }

QByteArray ResolveLink(const QByteArray& base, const QByteArray& link)
{
    QByteArray workBase = base;
    QByteArray resolved = link;
    if (resolved.startsWith("..")) {
        const qsizetype slash = resolved.indexOf('/');
        if (slash >= 0)
            resolved.remove(0, slash + 1);
        // One directory up. A base without any "/" runs out rather than looping.
        workBase.chop(1);
        while (!workBase.isEmpty() && !workBase.endsWith('/'))
            workBase.chop(1);
    }
    if (!resolved.contains("//")) {
        if (resolved.startsWith('/'))
            resolved.remove(0, 1);
        resolved.prepend(workBase);
    }
    const qsizetype scheme = IndexOfUpper(resolved, "HTTP:");
    if (scheme > 0)
        resolved.remove(0, scheme);
    return resolved;
}

TMarkerWalk::TMarkerWalk(const QByteArray& prepared)
    : FText(prepared), FData(FText.constData()), FSize(FText.size())
{
}

bool TMarkerWalk::Next(TMarker& marker)
{
    const auto* data = reinterpret_cast<const unsigned char*>(FData);
    while (FPass < 2) {
        const void* hit = FPos < FSize ? std::memchr(FData + FPos, '"', size_t(FSize - FPos)) : nullptr;
        if (!hit) {
            ++FPass;
            FPos = 0;
            continue;
        }
        const qsizetype quote = static_cast<const char*>(hit) - FData;
        FPos = quote + 1;
        const bool found = FPass == 0 ? LinkMarkerEndsAt(data, quote) : PictureMarkerEndsAt(data, quote);
        if (!found)
            continue;
        marker.kind = FPass == 0 ? TMarkerKind::Link : TMarkerKind::Picture;
        marker.start = quote + 1;
        const void* close = marker.start < FSize
            ? std::memchr(FData + marker.start, '"', size_t(FSize - marker.start))
            : nullptr;
        marker.end = close ? static_cast<const char*>(close) - FData : FSize;
        return true;
    }
    return false;
}

QByteArray MarkerLink(const QByteArray& prepared, const TMarker& marker, const QByteArray& base,
                      bool takePictures)
{
    QByteArray value;
    if (marker.kind == TMarkerKind::Link || takePictures)
        value = prepared.mid(marker.start, marker.end - marker.start);
    return ResolveLink(base, value);
}
