#include "rules/LinkRules.h"

#include <QByteArrayView>
#include <bit>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
inline char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Equal after ASCII upper-casing; `upper` is given in upper case.
bool EqualsUpper(QByteArrayView text, std::string_view upper)
{
    if (size_t(text.size()) != upper.size())
        return false;
    for (size_t i = 0; i < upper.size(); ++i)
        if (Upper(text[qsizetype(i)]) != upper[i])
            return false;
    return true;
}

inline std::string_view View(QByteArrayView text) { return {text.data(), size_t(text.size())}; }

inline bool Contains(QByteArrayView text, std::string_view what)
{
    return View(text).find(what) != std::string_view::npos;
}

inline bool Contains(QByteArrayView text, char c)
{
    return !text.isEmpty() && std::memchr(text.data(), c, size_t(text.size())) != nullptr;
}

// Position of the first "HTTP:" in the ASCII-upper-cased text, -1 when absent. Every
// occurrence ends in its colon, so only colons are looked at; no upper-cased copy is made.
qsizetype IndexOfScheme(QByteArrayView text)
{
    const char* const data = text.data();
    qsizetype from = 4;
    while (from < text.size()) {
        const void* hit = std::memchr(data + from, ':', size_t(text.size() - from));
        if (!hit)
            return -1;
        const qsizetype colon = static_cast<const char*>(hit) - data;
        if (EqualsUpper(text.sliced(colon - 4, 4), "HTTP"))
            return colon - 4;
        from = colon + 1;
    }
    return -1;
}

// Which class an extension (the text after a link's last ".") belongs to.
TLinkClass ExtensionClass(QByteArrayView extension)
{
    if (extension.size() < 3 || extension.size() > 5)
        return TLinkClass::None;
    char buffer[5];
    for (qsizetype i = 0; i < extension.size(); ++i)
        buffer[i] = Upper(extension[i]);
    const std::string_view upper(buffer, size_t(extension.size()));
    if (upper == "HTM" || upper == "HTML" || upper == "SHTML" || upper == "COM")
        return TLinkClass::Document;
    if (upper == "JPG" || upper == "JPEG" || upper == "GIF" || upper == "AVI" || upper == "MPG" || upper == "MPEG"
        || upper == "ZIP")
        return TLinkClass::File;
    return TLinkClass::None;
}

inline bool IsLetterOf(char c, char lower) { return (c | 0x20) == lower; }  // folds exactly X, x
}  // namespace

namespace {
// Both class tests rest on the same look at the link, so ClassifyLink takes it once.
struct TLinkFacts {
    TLinkClass extension;
    bool dots;
    bool query;
};

TLinkFacts FactsOf(QByteArrayView link)
{
    const void* dot = link.isEmpty() ? nullptr : memrchr(link.data(), '.', size_t(link.size()));
    const TLinkClass extension =
        dot ? ExtensionClass(link.sliced(static_cast<const char*>(dot) - link.data() + 1)) : TLinkClass::None;
    return {extension, Contains(link, ".."), Contains(link, '?')};
}

bool AcceptsDocument(QByteArrayView link, const TLinkFacts& facts)
{
    return facts.extension == TLinkClass::Document && !facts.dots && !facts.query && !Contains(link, "mailto");
}

bool AcceptsFile(const TLinkFacts& facts) { return facts.extension == TLinkClass::File && !facts.dots && !facts.query; }
}  // namespace

bool IncludeDocument(const QByteArray& link) { return AcceptsDocument(link, FactsOf(link)); }

bool IncludeFile(const QByteArray& link) { return AcceptsFile(FactsOf(link)); }

TLinkClass ClassifyLink(const QByteArray& link)
{
    const TLinkFacts facts = FactsOf(link);
    if (AcceptsDocument(link, facts))
        return TLinkClass::Document;
    if (AcceptsFile(facts))
        return TLinkClass::File;
    return TLinkClass::None;
}

bool ExistsWithoutSearch(const QByteArray& link) { return link.isEmpty() || Contains(link, ".."); }

void ResolveLinkInto(QByteArrayView base, QByteArrayView link, QByteArray& out)
{
    if (link.startsWith("..")) {
        const qsizetype slash = link.indexOf('/');
        if (slash >= 0)
            link = link.sliced(slash + 1);
        // One directory up. A base without any "/" runs out rather than looping.
        base.chop(qMin<qsizetype>(1, base.size()));
        while (!base.isEmpty() && !base.endsWith('/'))
            base.chop(1);
    }
    const bool absolute = Contains(link, "//");
    if (!absolute && link.startsWith('/'))
        link = link.sliced(1);
    const QByteArrayView head = absolute ? QByteArrayView() : base;
    if (!out.isDetached())
        out = QByteArray();  // a list keeps the previous link: leave that copy alone
    out.resize(head.size() + link.size());
    if (!head.isEmpty())
        std::memcpy(out.data(), head.data(), size_t(head.size()));
    if (!link.isEmpty())
        std::memcpy(out.data() + head.size(), link.data(), size_t(link.size()));
    const qsizetype scheme = IndexOfScheme(out);
    if (scheme > 0)
        out.remove(0, scheme);
}

QByteArray ResolveLink(QByteArrayView base, QByteArrayView link)
{
    QByteArray resolved;
    ResolveLinkInto(base, link, resolved);
    return resolved;
}

TMarkerWalk::TMarkerWalk(const QByteArray& text) : FText(text), FData(FText.constData()), FSize(FText.size())
{
    FMask = CandidateMask(0);
}

// The quotes at `block`..`block`+63 that may end a marker: right after "=" with a marker's last
// letter ("F" or "C", either case) or a space before that, or right after a space (a marker
// written with spaces). Few other quotes pass; MarkerAt decides.
quint64 TMarkerWalk::CandidateMask(qsizetype block) const
{
#if defined(__SSE2__)
    if (block >= 2 && block + 64 <= FSize) {
        const auto load = [this](qsizetype at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(FData + at));
        };
        const __m128i space = _mm_set1_epi8(' ');
        quint64 mask = 0;
        for (int part = 0; part < 4; ++part) {
            const qsizetype at = block + 16 * part;
            const __m128i at0 = load(at), at1 = load(at - 1), at2 = load(at - 2);
            const __m128i folded2 = _mm_or_si128(at2, space);  // space is 0x20: folds the letters
            const __m128i named = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(folded2, _mm_set1_epi8('f')), _mm_cmpeq_epi8(folded2, _mm_set1_epi8('c'))),
                _mm_cmpeq_epi8(at2, space));
            const __m128i equals = _mm_cmpeq_epi8(at1, _mm_set1_epi8('='));
            const __m128i candidate =
                _mm_and_si128(_mm_cmpeq_epi8(at0, _mm_set1_epi8('"')),
                              _mm_or_si128(_mm_and_si128(equals, named), _mm_cmpeq_epi8(at1, space)));
            mask |= quint64(quint32(_mm_movemask_epi8(candidate))) << (16 * part);
        }
        return mask;
    }
#endif
    quint64 mask = 0;
    const qsizetype stop = qMin(block + 64, FSize);
    for (qsizetype i = qMax<qsizetype>(block, 1); i < stop; ++i) {
        if (FData[i] != '"')
            continue;
        const char before = FData[i - 1];
        const char named = i >= 2 ? char(FData[i - 2] | 0x20) : 0;
        if (before == ' ' || (before == '=' && (named == ' ' || named == 'f' || named == 'c')))
            mask |= quint64(1) << (i - block);
    }
    return mask;
}

qsizetype TMarkerWalk::NextCandidate()
{
    while (FMask == 0) {
        FBlock += 64;
        if (FBlock >= FSize)
            return -1;
        FMask = CandidateMask(FBlock);
    }
    const qsizetype quote = FBlock + std::countr_zero(FMask);
    FMask &= FMask - 1;
    return quote;
}

// Which marker, if any, ends at this quote: its characters, spaces skipped, run up to it. The
// backward look stops at the first byte that fits neither marker, which is at the latest the
// previous quote, so the looks of the walk never cover a byte twice.
int TMarkerWalk::MarkerAt(qsizetype quote) const
{
    static constexpr std::string_view Names[2] = {"href=", "imgsrc="};
    qsizetype at = quote - 1;
    const auto previous = [&] {  // the next byte back that is not a space, or -1
        while (at >= 0 && FData[at] == ' ')
            --at;
        return at;
    };
    if (previous() < 0 || FData[at] != '=')
        return -1;
    --at;
    if (previous() < 0)
        return -1;
    const char last = char(FData[at] | 0x20);
    const int kind = last == 'f' ? 0 : last == 'c' ? 1 : -1;
    if (kind < 0)
        return -1;
    const std::string_view name = Names[kind];
    for (size_t k = name.size() - 2; k-- > 0;) {
        --at;
        if (previous() < 0 || !IsLetterOf(FData[at], name[k]))
            return -1;
    }
    return kind;
}

bool TMarkerWalk::Next(TMarker& marker)
{
    qsizetype quote = -1;
    if (!FLinksDone) {
        // Link markers are handed out as met; picture markers wait for the end of the text.
        for (;;) {
            quote = NextCandidate();
            if (quote < 0) {
                FLinksDone = true;
                break;
            }
            const int kind = MarkerAt(quote);
            if (kind == 0)
                break;
            if (kind == 1)
                FPictures.push_back(quote);
        }
    }
    if (FLinksDone) {
        if (FNextPicture >= FPictures.size())
            return false;
        quote = FPictures[FNextPicture++];
    }
    marker.kind = FLinksDone ? TMarkerKind::Picture : TMarkerKind::Link;
    marker.start = quote + 1;
    const void* close =
        marker.start < FSize ? std::memchr(FData + marker.start, '"', size_t(FSize - marker.start)) : nullptr;
    marker.end = close ? static_cast<const char*>(close) - FData : FSize;
    return true;
}

namespace {
// The marker's value without its spaces: a view of the text when it has none (the usual case),
// else of `storage`.
QByteArrayView ValueOf(const QByteArray& text, const TMarker& marker, QByteArray& storage)
{
    const QByteArrayView value = QByteArrayView(text).sliced(marker.start, marker.end - marker.start);
    if (!Contains(value, ' '))
        return value;
    storage.resize(value.size());
    char* out = storage.data();
    for (char c : value) {
        *out = c;
        out += c != ' ';
    }
    storage.truncate(out - storage.constData());
    return storage;
}
}  // namespace

QByteArray MarkerValue(const QByteArray& text, const TMarker& marker)
{
    QByteArray storage;
    return ValueOf(text, marker, storage).toByteArray();
}

const QByteArray& MarkerLink(const QByteArray& text, const TMarker& marker, const QByteArray& base, bool takePictures,
                             TLinkBuffer& buffer)
{
    const QByteArrayView value = marker.kind == TMarkerKind::Picture && !takePictures
        ? QByteArrayView()
        : ValueOf(text, marker, buffer.spaceless);
    ResolveLinkInto(base, value, buffer.link);
    return buffer.link;
}
