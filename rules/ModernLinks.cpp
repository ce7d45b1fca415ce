#include "rules/ModernLinks.h"

#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <gumbo.h>
#include <vector>

namespace {

// ---- Extensions -----------------------------------------------------------------------------

bool EqualsUpper(QByteArrayView ext, const char* upper)
{
    const qsizetype n = qsizetype(std::strlen(upper));
    if (ext.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        char c = ext[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return true;
}

// clang-format off
const char* const FileExtensions[] = {
    // pictures
    "JPG", "JPEG", "PNG", "GIF", "WEBP", "AVIF", "BMP", "TIF", "TIFF", "SVG",
    // video
    "AVI", "MPG", "MPEG", "MP4", "M4V", "MOV", "WEBM", "MKV",
    // audio
    "MP3", "M4A", "OGG", "OPUS", "FLAC", "WAV",
    // archives
    "ZIP", "7Z", "RAR", "TAR", "GZ", "TGZ", "BZ2", "XZ", "ZST",
    // books
    "PDF", "EPUB",
};
// clang-format on

// ---- Text helpers ---------------------------------------------------------------------------

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

QByteArrayView Trimmed(QByteArrayView text)
{
    // Browsers strip ASCII white space and C0 controls around an address.
    qsizetype begin = 0, end = text.size();
    while (begin < end && uchar(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && uchar(text[end - 1]) <= 0x20)
        --end;
    return text.sliced(begin, end - begin);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualsLower(QByteArrayView text, QByteArrayView lower)
{
    if (text.size() != lower.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (LowerAscii(text[i]) != lower[i])
            return false;
    return true;
}

// ---- Resolution -----------------------------------------------------------------------------

// `raw` resolved against `base` into an absolute http(s) address without fragment; false for
// empty and fragment-only values, other schemes (data:, javascript:, mailto:, tel: ...) and
// addresses that do not parse.
bool Resolve(const QUrl& base, QByteArrayView raw, QByteArray& out)
{
    const QByteArrayView trimmed = Trimmed(raw);
    if (trimmed.isEmpty() || trimmed.front() == '#')
        return false;
    QByteArray text;
    text.reserve(trimmed.size());
    bool inPath = true;
    for (char c : trimmed) {
        if (c == '\t' || c == '\n' || c == '\r')
            continue;  // browsers drop these anywhere in an address
        if (c == '?' || c == '#')
            inPath = false;
        // A backslash in the path of an http(s) address is a slash to a browser.
        text.append(inPath && c == '\\' ? '/' : c);
    }
    QUrl relative(QString::fromUtf8(text), QUrl::TolerantMode);
    if (!relative.isValid())
        return false;
    // Other schemes (data:, javascript:, mailto:, tel: ...) need no resolving to be dropped.
    const QString ownScheme = relative.scheme();
    if (!ownScheme.isEmpty() && ownScheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0
        && ownScheme.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return false;
    // The result's fragment is the link's own.
    if (relative.hasFragment())
        relative.setFragment(QString());
    QUrl absolute = base.resolved(relative);
    const QString scheme = absolute.scheme();
    const bool https = scheme == QLatin1String("https");
    if ((!https && scheme != QLatin1String("http")) || absolute.host().isEmpty())
        return false;
    // A default port is left out, as browsers do, so that both spellings are one address.
    if (absolute.port() == (https ? 443 : 80))
        absolute.setPort(-1);
    if (absolute.path().isEmpty())
        absolute.setPath(QStringLiteral("/"));
    out = absolute.toEncoded();
    return true;
}

// The path of an absolute address: from the first "/" after "//host" up to the query.
QByteArrayView PathOf(QByteArrayView address)
{
    const qsizetype authority = address.indexOf("//");
    qsizetype start = authority < 0 ? 0 : address.indexOf('/', authority + 2);
    if (start < 0)
        return {};
    qsizetype end = address.indexOf('?', start);
    if (end < 0)
        end = address.size();
    return address.sliced(start, end - start);
}

// ---- Findings of the tree walk ----------------------------------------------------------------

enum class TFindingKind : uint8_t {
    Link,     // a, area, frame, iframe: class by extension
    Media,    // video, audio, poster, og:image, image_src, CSS: a file whatever its extension
    Picture,  // one img (and its picture's sources): the largest candidate is a file
};

struct TFinding {
    TFindingKind kind;
    QByteArray value;                    // Link and Media
    QList<TSrcsetCandidate> candidates;  // Picture
};

// Attributes that lazy-loading scripts move the real picture into, leaving a placeholder in src.
const char* const LazySourceAttributes[] = {
    "data-src",      "data-lazy-src",  "data-original",   "data-original-src", "data-lazy",
    "data-echo",     "data-full-src",  "data-fullsrc",    "data-hi-res-src",   "data-hires",
    "data-lazyload", "data-orig-file", "data-large-file", "data-zoom-image",   "data-zoom-src",
};
const char* const LazySrcsetAttributes[] = {"data-srcset", "data-lazy-srcset", "data-original-set"};

bool OneOf(const char* name, const char* const* names, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(name, names[i]) == 0)
            return true;
    return false;
}

template <size_t N>
bool OneOf(const char* name, const char* const (&names)[N])
{
    return OneOf(name, names, N);
}

QByteArrayView ValueOf(const GumboAttribute* attribute) { return QByteArrayView(attribute->value); }

// The parser lower-cases attribute names, so a plain comparison finds them.
const GumboAttribute* Attribute(const GumboElement& element, const char* name)
{
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        if (std::strcmp(attribute->name, name) == 0)
            return attribute;
    }
    return nullptr;
}

// A value of the parse tree, without a copy: valid while the tree lives.
QByteArray TreeText(QByteArrayView value) { return QByteArray::fromRawData(value.data(), value.size()); }

bool IsUnknownNamed(const GumboNode* node, QByteArrayView lowerName)
{
    if (node == nullptr || node->type != GUMBO_NODE_ELEMENT || node->v.element.tag != GUMBO_TAG_UNKNOWN)
        return false;
    GumboStringPiece name = node->v.element.original_tag;
    gumbo_tag_from_original_text(&name);
    return EqualsLower(QByteArrayView(name.data, qsizetype(name.length)), lowerName);
}

// Picture candidates of one element: lazy attributes, when it has any, replace src and srcset.
struct TCandidates {
    QList<TSrcsetCandidate> plain;
    QList<TSrcsetCandidate> lazy;
    void AddSrcset(QList<TSrcsetCandidate>& to, QByteArrayView value) { to += ParseSrcset(value); }
    void AddUrl(QList<TSrcsetCandidate>& to, QByteArrayView value)
    {
        if (!Trimmed(value).isEmpty())
            to.append({TreeText(Trimmed(value)), 0, 1.0});
    }
    void Read(const GumboElement& element, bool withSrc)
    {
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            const char* name = attribute->name;
            if (withSrc && std::strcmp(name, "src") == 0)
                AddUrl(plain, ValueOf(attribute));
            else if (std::strcmp(name, "srcset") == 0)
                AddSrcset(plain, ValueOf(attribute));
            else if (OneOf(name, LazySrcsetAttributes))
                AddSrcset(lazy, ValueOf(attribute));
            else if (withSrc && OneOf(name, LazySourceAttributes))
                AddUrl(lazy, ValueOf(attribute));
        }
    }
    QList<TSrcsetCandidate> Taken() const { return lazy.isEmpty() ? plain : lazy; }
};

const char* const PictureMetaNames[] = {"og:image", "og:image:url", "og:image:secure_url", "twitter:image",
                                        "twitter:image:src"};

class TWalker {
public:
    std::vector<TFinding> findings;
    QByteArray baseHref;
    bool haveBase = false;

    void Walk(const GumboNode* root)
    {
        std::vector<const GumboNode*> stack{root};
        while (!stack.empty()) {
            const GumboNode* node = stack.back();
            stack.pop_back();
            const GumboVector* children = nullptr;
            if (node->type == GUMBO_NODE_DOCUMENT) {
                children = &node->v.document.children;
            } else if (node->type == GUMBO_NODE_ELEMENT) {
                Visit(node);
                // A browser running scripts reads noscript as text: its pictures (lazy-loading
                // fallbacks, mostly) are not loaded.
                if (node->v.element.tag != GUMBO_TAG_NOSCRIPT)
                    children = &node->v.element.children;
            }
            // Template contents (GUMBO_NODE_TEMPLATE) are inert: a browser loads nothing there.
            if (children == nullptr)
                continue;
            for (unsigned i = children->length; i-- > 0;) {
                const auto* child = static_cast<const GumboNode*>(children->data[i]);
                if (child->type == GUMBO_NODE_ELEMENT)  // text and comments hold no links
                    stack.push_back(child);
            }
        }
    }

private:
    void Link(QByteArrayView value) { findings.push_back({TFindingKind::Link, TreeText(value), {}}); }
    void Media(QByteArrayView value)
    {
        if (!Trimmed(value).isEmpty())
            findings.push_back({TFindingKind::Media, TreeText(value), {}});
    }
    void Css(QByteArrayView css)
    {
        if (css.contains("url(") || css.contains("URL(") || css.contains("Url("))
            for (const QByteArray& url : CssPictureUrls(css))
                findings.push_back({TFindingKind::Media, url, {}});  // owns its bytes
    }

    void Visit(const GumboNode* node)
    {
        const GumboElement& element = node->v.element;
        if (const GumboAttribute* style = Attribute(element, "style"))
            Css(ValueOf(style));
        switch (element.tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
            if (const GumboAttribute* href = Attribute(element, "href"))
                Link(ValueOf(href));
            break;
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            if (const GumboAttribute* src = Attribute(element, "src"))
                Link(ValueOf(src));
            break;
        case GUMBO_TAG_BASE:
            // The first base element with an href sets the base for the whole page.
            if (const GumboAttribute* href = Attribute(element, "href"); href && !haveBase) {
                baseHref = TreeText(ValueOf(href));
                haveBase = true;
            }
            break;
        case GUMBO_TAG_IMG: VisitImg(node); break;
        case GUMBO_TAG_SOURCE:
            // Sources of a picture are read with its img; those of video and audio are media.
            if (node->parent && node->parent->type == GUMBO_NODE_ELEMENT
                && (node->parent->v.element.tag == GUMBO_TAG_VIDEO || node->parent->v.element.tag == GUMBO_TAG_AUDIO))
                if (const GumboAttribute* src = Attribute(element, "src"))
                    Media(ValueOf(src));
            break;
        case GUMBO_TAG_VIDEO:
            if (const GumboAttribute* poster = Attribute(element, "poster"))
                Media(ValueOf(poster));
            [[fallthrough]];
        case GUMBO_TAG_AUDIO:
            if (const GumboAttribute* src = Attribute(element, "src"))
                Media(ValueOf(src));
            break;
        case GUMBO_TAG_META: VisitMeta(element); break;
        case GUMBO_TAG_LINK: VisitLink(element); break;
        case GUMBO_TAG_STYLE: {
            QByteArray css;
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    css += child->v.text.text;
            }
            Css(css);
            break;
        }
        default: break;
        }
    }

    void VisitImg(const GumboNode* node)
    {
        TCandidates candidates;
        candidates.Read(node->v.element, true);
        // In a picture, the sources before the img are further candidates of the same picture.
        if (IsUnknownNamed(node->parent, "picture")) {
            const GumboVector& siblings = node->parent->v.element.children;
            for (unsigned i = 0; i < siblings.length; ++i) {
                const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
                if (sibling->type == GUMBO_NODE_ELEMENT && sibling->v.element.tag == GUMBO_TAG_SOURCE)
                    candidates.Read(sibling->v.element, false);
            }
        }
        QList<TSrcsetCandidate> taken = candidates.Taken();
        if (!taken.isEmpty())
            findings.push_back({TFindingKind::Picture, {}, std::move(taken)});
    }

    void VisitMeta(const GumboElement& element)
    {
        const GumboAttribute* key = Attribute(element, "property");
        if (key == nullptr)
            key = Attribute(element, "name");
        const GumboAttribute* content = Attribute(element, "content");
        if (key == nullptr || content == nullptr)
            return;
        for (const char* name : PictureMetaNames)
            if (EqualsLower(Trimmed(ValueOf(key)), name)) {
                Media(ValueOf(content));
                return;
            }
    }

    void VisitLink(const GumboElement& element)
    {
        const GumboAttribute* rel = Attribute(element, "rel");
        const GumboAttribute* href = Attribute(element, "href");
        if (rel == nullptr || href == nullptr)
            return;
        for (QByteArrayView token : QByteArrayView(rel->value).toByteArray().simplified().split(' '))
            if (EqualsLower(token, "image_src")) {
                Media(ValueOf(href));
                return;
            }
    }
};

// Gumbo allocates and frees many small pieces while it builds the tree; taking them from large
// blocks and freeing the blocks at the end makes a big page parse about a fifth faster.
class TArena {
public:
    ~TArena()
    {
        for (char* block : FBlocks)
            std::free(block);
    }
    static void* Allocate(void* self, size_t size) { return static_cast<TArena*>(self)->Take(size); }
    static void Release(void*, void*) {}

private:
    static constexpr size_t BlockSize = size_t(1) << 20;
    void* Take(size_t size)
    {
        size = (size + 15) & ~size_t(15);
        if (size > FLeft) {
            const size_t bytes = std::max(size, BlockSize);
            FNext = static_cast<char*>(std::malloc(bytes));
            // No exception may unwind through the C parser: out of memory here ends the program.
            if (FNext == nullptr)
                std::abort();
            FBlocks.push_back(FNext);
            FLeft = bytes;
        }
        void* piece = FNext;
        FNext += size;
        FLeft -= size;
        return piece;
    }
    std::vector<char*> FBlocks;
    char* FNext = nullptr;
    size_t FLeft = 0;
};

const TSrcsetCandidate* Largest(const QList<TSrcsetCandidate>& candidates, const QList<bool>& usable)
{
    const TSrcsetCandidate* best = nullptr;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (!usable[i])
            continue;
        const TSrcsetCandidate& c = candidates[i];
        if (best == nullptr)
            best = &c;
        else if (c.width != best->width ? c.width > best->width : c.density > best->density)
            best = &c;
    }
    return best;
}

}  // namespace

bool HasModernFileExtension(QByteArrayView path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArrayView segment = path.sliced(slash + 1);
    const qsizetype dot = segment.lastIndexOf('.');
    if (dot < 0)
        return false;
    const QByteArrayView extension = segment.sliced(dot + 1);
    for (const char* known : FileExtensions)
        if (EqualsUpper(extension, known))
            return true;
    return false;
}

QByteArray PageAsUtf8(QByteArrayView page)
{
    if (page.isValidUtf8())
        return page.toByteArray();
    // A declared charset is looked for where browsers look first: the first 1024 bytes.
    const QByteArray head = page.first(std::min<qsizetype>(page.size(), 1024)).toByteArray().toLower();
    const qsizetype at = head.indexOf("charset=");
    if (at >= 0) {
        qsizetype begin = at + 8;
        while (begin < head.size() && (head[begin] == '"' || head[begin] == '\'' || head[begin] == ' '))
            ++begin;
        qsizetype end = begin;
        while (end < head.size() && (std::isalnum(uchar(head[end])) || std::strchr("-_:.", head[end])))
            ++end;
        const QByteArray name = head.mid(begin, end - begin);
        if (!name.isEmpty()) {
            QStringDecoder decoder(name.constData());
            if (decoder.isValid())
                return QString(decoder(page)).toUtf8();
        }
    }
    QStringDecoder western("windows-1252");
    if (western.isValid())
        return QString(western(page)).toUtf8();
    return QString::fromLatin1(page).toUtf8();
}

QList<TSrcsetCandidate> ParseSrcset(QByteArrayView srcset)
{
    QList<TSrcsetCandidate> candidates;
    qsizetype i = 0;
    const qsizetype n = srcset.size();
    while (i < n) {
        while (i < n && (IsAsciiSpace(srcset[i]) || srcset[i] == ','))
            ++i;
        if (i >= n)
            break;
        const qsizetype urlStart = i;
        while (i < n && !IsAsciiSpace(srcset[i]))
            ++i;
        QByteArrayView url = srcset.sliced(urlStart, i - urlStart);
        TSrcsetCandidate candidate;
        if (url.endsWith(',')) {
            // A trailing comma ends the candidate: it has no descriptors.
            while (url.endsWith(','))
                url.chop(1);
        } else {
            // Descriptors run to the next comma outside parentheses.
            const qsizetype descriptorsStart = i;
            int depth = 0;
            while (i < n && (srcset[i] != ',' || depth > 0)) {
                if (srcset[i] == '(')
                    ++depth;
                else if (srcset[i] == ')' && depth > 0)
                    --depth;
                ++i;
            }
            const QByteArray descriptors = srcset.sliced(descriptorsStart, i - descriptorsStart).toByteArray();
            for (const QByteArray& descriptor : descriptors.simplified().split(' ')) {
                if (descriptor.size() < 2)
                    continue;
                bool ok = false;
                if (descriptor.endsWith('w')) {
                    const int width = descriptor.chopped(1).toInt(&ok);
                    if (ok && width > 0)
                        candidate.width = width;
                } else if (descriptor.endsWith('x')) {
                    const double density = descriptor.chopped(1).toDouble(&ok);
                    if (ok && density > 0)
                        candidate.density = density;
                }
            }
        }
        if (!url.isEmpty()) {
            candidate.url = url.toByteArray();
            candidates.append(candidate);
        }
    }
    return candidates;
}

QList<QByteArray> CssPictureUrls(QByteArrayView css)
{
    QList<QByteArray> urls;
    const QByteArray lower = css.toByteArray().toLower();
    for (qsizetype at = lower.indexOf("url("); at >= 0; at = lower.indexOf("url(", at + 4)) {
        // The declaration holding the url: back to the last ";", "{" or "}". Its property names
        // what the url is for; @import and a font's src are no pictures.
        qsizetype start = at;
        while (start > 0 && lower[start - 1] != ';' && lower[start - 1] != '{' && lower[start - 1] != '}')
            --start;
        const QByteArray declaration = lower.mid(start, at - start);
        const qsizetype colon = declaration.indexOf(':');
        if (colon < 0 || declaration.left(colon).trimmed() == "src")
            continue;
        qsizetype i = at + 4;
        while (i < css.size() && IsAsciiSpace(css[i]))
            ++i;
        qsizetype end;
        if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
            const char quote = css[i++];
            end = css.indexOf(quote, i);
        } else {
            end = css.indexOf(')', i);
        }
        if (end < 0)
            break;
        const QByteArrayView url = Trimmed(css.sliced(i, end - i));
        if (!url.isEmpty())
            urls.append(url.toByteArray());
    }
    return urls;
}

QList<TModernLink> ModernLinks(QByteArrayView page, const QByteArray& address)
{
    QList<TModernLink> links;
    // Most pages are UTF-8 already and are parsed in place.
    const QByteArray converted = page.isValidUtf8() ? QByteArray() : PageAsUtf8(page);
    const QByteArrayView utf8 = converted.isNull() ? page : QByteArrayView(converted);
    // The findings point into the tree: the arena, which frees it at once, outlives them.
    TArena arena;
    TWalker walker;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &TArena::Allocate;
    options.deallocator = &TArena::Release;
    options.userdata = &arena;
    options.max_errors = 0;  // errors are of no use here and cost time
    GumboOutput* output = gumbo_parse_with_options(&options, utf8.data(), size_t(utf8.size()));
    walker.Walk(output->document);

    QUrl base(QString::fromUtf8(address), QUrl::TolerantMode);
    if (walker.haveBase) {
        QByteArray resolvedBase;
        if (Resolve(base, walker.baseHref, resolvedBase))
            base = QUrl::fromEncoded(resolvedBase);
    }

    const auto resolve = [&base](const QByteArray& raw, QByteArray& out) { return Resolve(base, raw, out); };
    QSet<QByteArray> seen;
    QByteArray resolved;
    const auto add = [&](const QByteArray& absolute, bool file, bool picture) {
        if (seen.contains(absolute))
            return;
        seen.insert(absolute);
        links.append({absolute, file, picture});
    };
    for (const TFinding& finding : walker.findings) {
        switch (finding.kind) {
        case TFindingKind::Link:
            if (resolve(finding.value, resolved))
                add(resolved, HasModernFileExtension(PathOf(resolved)), false);
            break;
        case TFindingKind::Media:
            if (resolve(finding.value, resolved))
                add(resolved, true, true);
            break;
        case TFindingKind::Picture: {
            QList<QByteArray> addresses(finding.candidates.size());
            QList<bool> usable(finding.candidates.size());
            for (qsizetype i = 0; i < finding.candidates.size(); ++i)
                usable[i] = resolve(finding.candidates[i].url, addresses[i]);
            if (const TSrcsetCandidate* best = Largest(finding.candidates, usable))
                add(addresses[best - finding.candidates.constData()], true, true);
            break;
        }
        }
    }
    return links;
}
