#include "rules/ModernLinks.h"

#include "rules/AddressParts.h"
#include "rules/FileFilter.h"
#include "rules/ModernClasses.h"

#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <array>
#include <csetjmp>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <gumbo.h>
#include <sys/mman.h>
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
    // books and office documents
    "PDF", "EPUB", "MOBI", "AZW3", "DOC", "DOCX", "XLS", "XLSX", "PPT", "PPTX", "ODT", "ODS",
    // disk images and installers
    "ISO", "DMG", "EXE", "MSI", "APK", "DEB", "RPM", "APPIMAGE",
};
// clang-format on

// ---- Text helpers ---------------------------------------------------------------------------

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Characters that show as nothing (or as a blank) and that pasted addresses often carry: zero-width
// space, non-joiner and joiner, word joiner, byte order mark, no-break space (UTF-8).
const char* const InvisibleCharacters[] = {"\xE2\x80\x8B", "\xE2\x80\x8C", "\xE2\x80\x8D",
                                           "\xE2\x81\xA0", "\xEF\xBB\xBF", "\xC2\xA0"};

qsizetype InvisibleAtStart(QByteArrayView text)
{
    for (const char* invisible : InvisibleCharacters)
        if (text.startsWith(invisible))
            return qsizetype(std::strlen(invisible));
    return 0;
}

qsizetype InvisibleAtEnd(QByteArrayView text)
{
    for (const char* invisible : InvisibleCharacters)
        if (text.endsWith(invisible))
            return qsizetype(std::strlen(invisible));
    return 0;
}

QByteArrayView Trimmed(QByteArrayView text)
{
    // Browsers strip ASCII white space and C0 controls around an address; invisible characters
    // around it are no part of it either.
    for (;;) {
        if (!text.isEmpty() && uchar(text.front()) <= 0x20)
            text = text.sliced(1);
        else if (const qsizetype n = InvisibleAtStart(text))
            text = text.sliced(n);
        else
            break;
    }
    for (;;) {
        if (!text.isEmpty() && uchar(text.back()) <= 0x20)
            text.chop(1);
        else if (const qsizetype n = InvisibleAtEnd(text))
            text.chop(n);
        else
            break;
    }
    return text;
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

bool StartsWithLower(QByteArrayView text, QByteArrayView lower)
{
    return text.size() >= lower.size() && EqualsLower(text.first(lower.size()), lower);
}

// "%20http://host/..." names the absolute address, not a path beginning with a blank: encoded
// blanks and invisible characters before an absolute address are typing slips.
QByteArrayView WithoutEncodedBlanks(QByteArrayView text)
{
    static const char* const blanks[] = {"%20", "%09", "%0a", "%0d", "%c2%a0", "%e2%80%8b", "%ef%bb%bf"};
    QByteArrayView rest = text;
    for (bool more = true; more;) {
        more = false;
        for (const char* blank : blanks)
            if (StartsWithLower(rest, blank)) {
                rest = rest.sliced(qsizetype(std::strlen(blank)));
                more = true;
            }
    }
    if (rest.size() == text.size())
        return text;
    const bool absolute = StartsWithLower(rest, "http:") || StartsWithLower(rest, "https:") || rest.startsWith("//");
    return absolute ? rest : text;
}

// ---- Resolution -----------------------------------------------------------------------------

// `raw` resolved against `base` into an absolute http(s) address without fragment; false for
// empty and fragment-only values, other schemes (data:, javascript:, mailto:, tel: ...) and
// addresses that do not parse.
bool Resolve(const QUrl& base, QByteArrayView raw, QByteArray& out)
{
    const QByteArrayView trimmed = WithoutEncodedBlanks(Trimmed(raw));
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

// ---- Findings of the tree walk ----------------------------------------------------------------

enum class TFindingKind : uint8_t {
    Link,     // a, area, frame, iframe: class by extension
    Media,    // video, audio, poster, og:image, image_src, CSS: a file whatever its extension
    Picture,  // one img (and its picture's sources), or an element's lazy values: the largest is a file
};

// Where a picture candidate was read. A lazy value stands in for the placeholder in src and
// srcset; a known original (the upload itself, its zoom or large copy) competes with both by size.
enum class TCandidateGroup : uint8_t { Plain, Lazy, Original };

struct TPictureCandidate {
    TSrcsetCandidate candidate;
    TCandidateGroup group;
};

struct TFinding {
    TFindingKind kind;
    QByteArray value;                     // Link and Media
    QList<TPictureCandidate> candidates;  // Picture
    bool tiny = false;                    // an img declared 1x1 or 0x0: a tracking pixel unless lazy
    bool img = false;                     // read from an img (and its picture)
    QByteArray around = {};               // an img's: the href of the link around it
    int width = 0;                        // an img's width and height attributes, in pixels
    int height = 0;
};

// Attributes that lazy-loading scripts move the real picture into, leaving a placeholder in src.
const char* const LazySourceAttributes[] = {
    "data-src",      "data-lazy-src", "data-original",   "data-original-src",     "data-lazy",   "data-echo",
    "data-lazyload", "data-bg",       "data-background", "data-background-image", "data-bg-src", "data-lazy-background",
};
const char* const LazySrcsetAttributes[] = {"data-srcset", "data-lazy-srcset", "data-original-set", "data-bgset"};
// Attributes naming the picture's original or a copy larger than what the page shows.
const char* const OriginalAttributes[] = {
    "data-orig-file", "data-large-file", "data-full-src", "data-fullsrc",    "data-hi-res-src",
    "data-hires",     "data-zoom-image", "data-zoom-src", "data-full-image",
};
// An original whose size nobody states is still larger than every copy made from it.
constexpr int UnstatedOriginalWidth = 1 << 30;

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

// The leading number of a value such as "4000,2667" or "1"; -1 when it starts with none.
int LeadingNumber(QByteArrayView value)
{
    value = Trimmed(value);
    qsizetype digits = 0;
    while (digits < value.size() && digits < 9 && std::isdigit(uchar(value[digits])))
        ++digits;
    return digits == 0 ? -1 : value.first(digits).toInt();
}

// A lazy value is used only when it is an address: scripts also keep JSON, ids and
// placeholders there, which would otherwise resolve as relative paths.
bool LooksLikeAddress(QByteArrayView value)
{
    value = Trimmed(value);
    if (value.isEmpty() || value.front() == '{' || value.front() == '[')
        return false;
    for (char c : value)
        if (c == '"' || c == '{' || c == '}' || c == '<' || c == '>' || c == ' ')
            return false;
    return true;
}

// On elements other than img a lazy value names a picture only when it looks like one: a path
// with a file extension, or an absolute or rooted address whose last segment has no extension
// at all (not an id, a selector, a page or a script's data).
bool LooksLikePictureAddress(QByteArrayView value)
{
    value = Trimmed(value);
    if (!LooksLikeAddress(value))
        return false;
    const QByteArrayView path = AddressParts(value).path;
    if (HasModernFileExtension(path))
        return true;
    const QList<QByteArrayView> segments = PathSegments(path);
    if (!segments.isEmpty() && segments.last().contains('.'))
        return false;
    return StartsWithLower(value, "http:") || StartsWithLower(value, "https:") || value.startsWith('/');
}

// Picture candidates of one element: lazy values, when one is an address, replace src and srcset.
struct TCandidates {
    QList<TPictureCandidate> found;
    void AddSrcset(TCandidateGroup group, QByteArrayView value)
    {
        for (TSrcsetCandidate& candidate : ParseSrcset(value))
            found.append({std::move(candidate), group});
    }
    void AddUrl(TCandidateGroup group, QByteArrayView value, int width = 0)
    {
        if (!Trimmed(value).isEmpty())
            found.append({{TreeText(Trimmed(value)), width, 1.0}, group});
    }
    // An address, or the url() values of a background (data-bg="url(a.jpg)").
    void AddUrls(TCandidateGroup group, QByteArrayView value)
    {
        if (!StartsWithLower(Trimmed(value), "url(")) {
            AddUrl(group, value);
            return;
        }
        for (QByteArray& url : CssUrlValues(value))  // these own their bytes
            found.append({{std::move(url), 0, 1.0}, group});
    }
    void ReadOriginal(const GumboElement& element, const GumboAttribute* attribute)
    {
        const QByteArrayView value = ValueOf(attribute);
        int width = 0;
        if (std::strcmp(attribute->name, "data-large-file") == 0) {
            // A large copy, not the original: its size is stated in its name, if anywhere.
            width = WidthInName(value);
        } else {
            const GumboAttribute* size =
                std::strcmp(attribute->name, "data-orig-file") == 0 ? Attribute(element, "data-orig-size") : nullptr;
            width = size ? LeadingNumber(ValueOf(size)) : -1;
            if (width <= 0)
                width = WidthInName(value);
            if (width <= 0)
                width = UnstatedOriginalWidth;
        }
        AddUrl(TCandidateGroup::Original, value, width);
    }
    // `img`: an img or a picture's source; otherwise any other element, whose lazy values are read.
    void Read(const GumboElement& element, bool withSrc, bool img)
    {
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            const char* name = attribute->name;
            const QByteArrayView value = ValueOf(attribute);
            if (img && withSrc && std::strcmp(name, "src") == 0)
                AddUrl(TCandidateGroup::Plain, value);
            else if (img && std::strcmp(name, "srcset") == 0)
                AddSrcset(TCandidateGroup::Plain, value);
            else if (OneOf(name, LazySrcsetAttributes))
                AddSrcset(TCandidateGroup::Lazy, value);
            else if (withSrc && OneOf(name, LazySourceAttributes))
                AddUrls(TCandidateGroup::Lazy, value);
            else if (img && withSrc && OneOf(name, OriginalAttributes))
                ReadOriginal(element, attribute);
        }
        if (!img)  // ids, selectors and JSON are not pictures here
            found.removeIf([](const TPictureCandidate& c) { return !LooksLikePictureAddress(c.candidate.url); });
    }
};

bool DeclaredTiny(const GumboElement& element)
{
    const GumboAttribute* width = Attribute(element, "width");
    const GumboAttribute* height = Attribute(element, "height");
    if (width == nullptr || height == nullptr)
        return false;
    const int w = LeadingNumber(ValueOf(width));
    const int h = LeadingNumber(ValueOf(height));
    return w >= 0 && w <= 1 && h >= 0 && h <= 1;
}

const char* const PictureMetaNames[] = {"og:image", "og:image:url", "og:image:secure_url", "twitter:image",
                                        "twitter:image:src"};

// Gumbo allocates and frees many small pieces while it builds the tree. They are taken from
// slabs of 64 KB, each holding pieces of one size class, in one stretch of address space set
// aside for the parse; a piece carries no header, since its slab tells its class. A freed piece
// goes on a free list of its class for the next one, so the buffers gumbo grows and drops are
// reused instead of piling up. All of it goes with the arena, after the findings, and goes back
// to the system at once: the lists filled after the scan do not come on top of it.
//
// The arena is also where a parse is stopped: no exception may unwind through the C parser, so
// when memory runs out, the parse passes its memory limit or the user stops, the arena jumps back
// to where the parse began (Parse below) and the whole tree goes with its slabs.
class TArena {
public:
    enum class TGiveUp { None, Stopped, OutOfMemory };

    explicit TArena(const TScanControl* control) : FControl(control)
    {
        // Only address space: a slab costs memory once it is made writable and written.
        void* region = ::mmap(nullptr, RegionBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        FRegion = region == MAP_FAILED ? nullptr : static_cast<char*>(region);
    }
    ~TArena()
    {
        if (FRegion != nullptr)
            ::munmap(FRegion, RegionBytes);
        while (FLarge.Next != &FLarge) {
            TLink* large = FLarge.Next;
            Unlink(large);
            std::free(large);
        }
    }
    TArena(const TArena&) = delete;
    TArena& operator=(const TArena&) = delete;

    static void* Allocate(void* self, size_t size) { return static_cast<TArena*>(self)->Take(size); }
    static void Release(void* self, void* piece) { static_cast<TArena*>(self)->Give(piece); }

    std::jmp_buf Escape;
    TGiveUp GaveUp = TGiveUp::None;

private:
    // Nothing here may throw or own anything with a destructor: a jump back to Parse leaves
    // these frames as they are. Free pieces and large pieces are chained through their own bytes.
    struct TLink {
        TLink* Previous;
        TLink* Next;
    };
    // Gumbo's structures hold pointers and integers only, so 8-byte alignment serves them. Most
    // of a tree is pieces of 8 to 128 bytes: classes in steps of 8 bytes up to 256 keep the waste
    // of rounding small, then doubling classes up to a slab.
    static constexpr int FineClasses = 32;                // 8, 16, ... 256 bytes
    static constexpr int SmallClasses = FineClasses + 8;  // then 512 bytes ... 64 KB
    static constexpr int LargeClass = SmallClasses;
    static constexpr size_t SlabBytes = size_t(64) << 10;
    // The parse never takes more than its memory limit, so the slabs never need more room.
    static constexpr size_t RegionBytes = size_t(MaxParseMemory);
    static constexpr size_t Slabs = RegionBytes / SlabBytes;
    static constexpr int StopCheckInterval = 4096;  // allocations between two looks at Stop
    // A piece beyond the largest class, malloc'ed alone behind this head.
    struct TLargeHead {
        TLink Link;
        size_t Bytes;
    };

    static size_t ClassBytes(int sizeClass)
    {
        return sizeClass < FineClasses ? size_t(sizeClass + 1) * 8 : size_t(256) << (sizeClass - FineClasses + 1);
    }
    // The class of a piece of `size` bytes; LargeClass beyond the largest.
    static int ClassOf(size_t size)
    {
        size = std::max(size, sizeof(char*));  // a free piece holds the free list's link
        if (size <= 256)
            return int((size + 7) / 8) - 1;
        int sizeClass = FineClasses;
        while (sizeClass < SmallClasses && ClassBytes(sizeClass) < size)
            ++sizeClass;
        return sizeClass;
    }

    [[noreturn]] void Fail(TGiveUp why)
    {
        GaveUp = why;
        std::longjmp(Escape, 1);
    }
    void Count(size_t bytes)
    {
        FUsed += bytes;
        if (FUsed > size_t(MaxParseMemory))
            Fail(TGiveUp::OutOfMemory);
    }
    static void Unlink(TLink* link)
    {
        link->Previous->Next = link->Next;
        link->Next->Previous = link->Previous;
    }
    bool InRegion(const char* piece) const
    {
        return FRegion != nullptr && piece >= FRegion && piece < FRegion + RegionBytes;
    }
    void* TakeLarge(size_t size)
    {
        const size_t bytes = sizeof(TLargeHead) + size;
        Count(bytes);
        auto* head = static_cast<TLargeHead*>(std::malloc(bytes));
        if (head == nullptr)
            Fail(TGiveUp::OutOfMemory);
        head->Link.Previous = &FLarge;
        head->Link.Next = FLarge.Next;
        FLarge.Next->Previous = &head->Link;
        FLarge.Next = &head->Link;
        head->Bytes = bytes;
        return head + 1;
    }
    void* Take(size_t size)
    {
        if (++FSinceStopCheck >= StopCheckInterval) {
            FSinceStopCheck = 0;
            if (FControl && FControl->StopRequested())
                Fail(TGiveUp::Stopped);
        }
        const int sizeClass = ClassOf(size);
        if (sizeClass == LargeClass)
            return TakeLarge(size);
        char* piece = FFree[sizeClass];
        if (piece != nullptr) {
            std::memcpy(&FFree[sizeClass], piece, sizeof(char*));
            return piece;
        }
        const size_t bytes = ClassBytes(sizeClass);
        if (FNext[sizeClass] == nullptr || size_t(FEnd[sizeClass] - FNext[sizeClass]) < bytes) {
            if (FRegion == nullptr || FSlabsTaken == Slabs)
                Fail(TGiveUp::OutOfMemory);
            Count(SlabBytes);
            char* slab = FRegion + FSlabsTaken * SlabBytes;
            if (::mprotect(slab, SlabBytes, PROT_READ | PROT_WRITE) != 0)
                Fail(TGiveUp::OutOfMemory);
            FSlabClass[FSlabsTaken++] = uint8_t(sizeClass);
            FNext[sizeClass] = slab;
            FEnd[sizeClass] = slab + SlabBytes;
        }
        piece = FNext[sizeClass];
        FNext[sizeClass] += bytes;
        return piece;
    }
    void Give(void* given)
    {
        if (given == nullptr)
            return;
        char* piece = static_cast<char*>(given);
        if (!InRegion(piece)) {
            auto* head = static_cast<TLargeHead*>(given) - 1;
            FUsed -= head->Bytes;
            Unlink(&head->Link);
            std::free(head);
            return;
        }
        const int sizeClass = FSlabClass[size_t(piece - FRegion) / SlabBytes];
        std::memcpy(piece, &FFree[sizeClass], sizeof(char*));
        FFree[sizeClass] = piece;
    }

    const TScanControl* const FControl;
    char* FRegion = nullptr;  // the slabs' address space; null when none could be set aside
    size_t FSlabsTaken = 0;   // slabs are taken in order from the region's start
    std::array<uint8_t, Slabs> FSlabClass{};
    TLink FLarge{&FLarge, &FLarge};  // pieces beyond the largest class, malloc'ed one by one
    std::array<char*, SmallClasses> FFree{};
    std::array<char*, SmallClasses> FNext{};  // the free end of each class's newest slab
    std::array<char*, SmallClasses> FEnd{};
    size_t FUsed = 0;
    int FSinceStopCheck = 0;
};

// Whether the text holds "<base" in any letter case: only then can the page have a base element.
bool MayHoldBaseElement(QByteArrayView text)
{
    for (qsizetype at = text.indexOf('<'); at >= 0 && at + 4 < text.size(); at = text.indexOf('<', at + 1))
        if (EqualsLower(text.sliced(at + 1, 4), "base"))
            return true;
    return false;
}

// The options of a parse in the arena.
GumboOptions ArenaOptions(TArena& arena)
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &TArena::Allocate;
    options.deallocator = &TArena::Release;
    options.userdata = &arena;
    options.max_errors = 0;  // errors are of no use here and cost time
    return options;
}

// A parse in the arena of `options`; null when the arena gave up. Nothing here has a destructor:
// the jump back from the arena skips no clean-up (the arena's own destructor frees what the
// parse took).
GumboOutput* Parse(const GumboOptions& options, const char* text, size_t size)
{
    TArena& arena = *static_cast<TArena*>(options.userdata);
    if (arena.GaveUp != TArena::TGiveUp::None || setjmp(arena.Escape) != 0)
        return nullptr;
    return gumbo_parse_with_options(&options, text, size);
}

class TWalker {
public:
    TWalker(const GumboOptions& options, const TScanControl* control) : FOptions(options), FControl(control) {}

    // Findings not yet handed on, the oldest first; numbered from the walk's first.
    std::deque<TFinding> findings;
    QByteArray baseHref;
    bool haveBase = false;
    // Takes each finding in text order, during the walk when `streaming`, else at Finish; false
    // when it wants no more, which ends the walk.
    std::function<bool(const TFinding&)> sink;
    bool streaming = false;

    // Hands on what the walk left.
    void Finish() { HandOn(true); }

    void Walk(const GumboNode* root)
    {
        std::vector<const GumboNode*> stack{root};
        int sinceStopCheck = 0;
        while (!stack.empty()) {
            if (++sinceStopCheck == 4096) {
                sinceStopCheck = 0;
                if (FControl && FControl->StopRequested())
                    return;
            }
            if (FSinkDone)
                return;
            const GumboNode* node = stack.back();
            stack.pop_back();
            const GumboVector* children = nullptr;
            if (node->type == GUMBO_NODE_DOCUMENT) {
                children = &node->v.document.children;
            } else if (node->type == GUMBO_NODE_ELEMENT) {
                if (node->v.element.tag == GUMBO_TAG_NOSCRIPT && !FInNoscript) {
                    VisitNoscript(node);
                    continue;
                }
                Visit(node);
                if (streaming)
                    HandOn(false);
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
    qsizetype Count() const { return FHandedOn + qsizetype(findings.size()); }
    TFinding& At(qsizetype index) { return findings[size_t(index - FHandedOn)]; }
    // An img's finding waits, with all after it, while a noscript after it may still add to it.
    void HandOn(bool all)
    {
        while (sink && !FSinkDone && !findings.empty() && (all || FLastImgFinding < 0 || FHandedOn < FLastImgFinding)) {
            FSinkDone = !sink(findings.front());
            findings.pop_front();
            ++FHandedOn;
        }
    }

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
    void Picture(TCandidates&& candidates, bool tiny, bool img)
    {
        if (!candidates.found.isEmpty())
            findings.push_back({TFindingKind::Picture, {}, std::move(candidates.found), tiny, img});
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
            VisitLazy(element);
            break;
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            // A lazy frame keeps its page in data-src.
            if (const GumboAttribute* src = Attribute(element, "src"))
                Link(ValueOf(src));
            if (const GumboAttribute* lazy = Attribute(element, "data-src"); lazy && LooksLikeAddress(ValueOf(lazy)))
                Link(ValueOf(lazy));
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
            VisitLazy(element);
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
        case GUMBO_TAG_NOSCRIPT: VisitNoscriptText(element); break;
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_TEMPLATE: break;
        default: VisitLazy(element); break;
        }
    }

    // Lazy-loading scripts put backgrounds and pictures of any element into data attributes.
    void VisitLazy(const GumboElement& element)
    {
        if (element.attributes.length == 0)
            return;
        TCandidates candidates;
        candidates.Read(element, true, false);
        Picture(std::move(candidates), false, false);
    }

    void VisitImg(const GumboNode* node)
    {
        TCandidates candidates;
        candidates.Read(node->v.element, true, true);
        // In a picture, the sources before the img are further candidates of the same picture.
        if (IsUnknownNamed(node->parent, "picture")) {
            const GumboVector& siblings = node->parent->v.element.children;
            for (unsigned i = 0; i < siblings.length; ++i) {
                const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
                if (sibling->type == GUMBO_NODE_ELEMENT && sibling->v.element.tag == GUMBO_TAG_SOURCE)
                    candidates.Read(sibling->v.element, false, true);
            }
        }
        FLastImg = node;
        FLastImgFinding = candidates.found.isEmpty() ? -1 : Count();
        Picture(std::move(candidates), DeclaredTiny(node->v.element), true);
        if (FLastImgFinding >= 0) {
            TFinding& finding = findings.back();
            finding.around = LinkAround(node);
            finding.width = PixelAttribute(node->v.element, "width");
            finding.height = PixelAttribute(node->v.element, "height");
        }
    }

    static QByteArray LinkAround(const GumboNode* node)
    {
        for (const GumboNode* up = node->parent; up != nullptr && up->type == GUMBO_NODE_ELEMENT; up = up->parent)
            if (up->v.element.tag == GUMBO_TAG_A) {
                const GumboAttribute* href = Attribute(up->v.element, "href");
                return href ? TreeText(ValueOf(href)) : QByteArray();
            }
        return {};
    }
    // A width or height in pixels ("300", "300px"); 0 for a percentage or no number.
    static int PixelAttribute(const GumboElement& element, const char* name)
    {
        const GumboAttribute* attribute = Attribute(element, name);
        if (attribute == nullptr || Trimmed(ValueOf(attribute)).contains('%'))
            return 0;
        return std::max(0, LeadingNumber(ValueOf(attribute)));
    }

    // What a page shows without scripts: lazy-loading pages put the real img there. Its picture
    // stands for the element just before it (one picture, not two); the rest is read as markup.
    void VisitNoscript(const GumboNode* node)
    {
        TWalker inner(FOptions, FControl);
        inner.FInNoscript = true;
        inner.Walk(node);
        qsizetype target = StoodFor(node);
        for (TFinding& finding : inner.findings) {
            // A declared 1x1 picture there is a tracking pixel, not the real picture.
            if (finding.kind == TFindingKind::Picture && finding.img && !finding.tiny && target >= 0) {
                // The script would load the real picture: it takes the placeholder's place.
                for (TPictureCandidate& c : finding.candidates)
                    if (c.group == TCandidateGroup::Plain)
                        c.group = TCandidateGroup::Lazy;
                At(target).candidates += finding.candidates;
                target = -1;
            } else {
                findings.push_back(std::move(finding));
            }
        }
    }

    // A parser that takes scripts as running keeps noscript content as text: read it as markup.
    void VisitNoscriptText(const GumboElement& element)
    {
        if (!FInNoscript || FReparsed)
            return;  // one level: content parsed from text is not parsed again
        FReparsed = true;
        for (unsigned i = 0; i < element.children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
            if (child->type != GUMBO_NODE_TEXT)
                continue;
            const char* text = child->v.text.text;
            // The options' arena keeps this tree as long as the page's.
            if (GumboOutput* output = Parse(FOptions, text, std::strlen(text)))
                Walk(output->document);
        }
    }

    // The finding of the img that a noscript at `node` stands for: the element just before it,
    // when that is the last img seen or holds it.
    qsizetype StoodFor(const GumboNode* node) const
    {
        if (FLastImg == nullptr || FLastImgFinding < 0 || node->parent == nullptr
            || node->parent->type != GUMBO_NODE_ELEMENT)
            return -1;
        const GumboVector& siblings = node->parent->v.element.children;
        const GumboNode* before = nullptr;
        for (unsigned i = node->index_within_parent; i-- > 0;) {
            const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
            if (sibling->type == GUMBO_NODE_ELEMENT) {
                before = sibling;
                break;
            }
        }
        if (before == nullptr)
            return -1;
        // A few wrappers (a link, a figure, a picture) may stand between it and the img.
        const GumboNode* up = FLastImg;
        for (int depth = 0; up != nullptr && depth < 4; ++depth, up = up->parent)
            if (up == before)
                return FLastImgFinding;
        return -1;
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

    const GumboOptions& FOptions;
    const TScanControl* const FControl;
    bool FInNoscript = false;
    bool FReparsed = false;
    const GumboNode* FLastImg = nullptr;
    qsizetype FLastImgFinding = -1;
    qsizetype FHandedOn = 0;  // findings already taken by the sink
    bool FSinkDone = false;
};

// Ties go to the stated original, then to the lazy value, then to the earlier candidate.
bool Larger(const TPictureCandidate& a, const TPictureCandidate& b)
{
    if (a.candidate.width != b.candidate.width)
        return a.candidate.width > b.candidate.width;
    if (a.candidate.density != b.candidate.density)
        return a.candidate.density > b.candidate.density;
    return int(a.group) > int(b.group);
}

// The picture a browser with scripts ends up with: lazy values replace the placeholder when one
// of them is an address; of the rest, the largest. Null when none is usable.
const TPictureCandidate* Chosen(const QList<TPictureCandidate>& candidates, const QList<bool>& usable)
{
    bool lazy = false;
    for (qsizetype i = 0; i < candidates.size(); ++i)
        lazy = lazy || (usable[i] && candidates[i].group == TCandidateGroup::Lazy);
    const TPictureCandidate* best = nullptr;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (!usable[i] || (lazy && candidates[i].group == TCandidateGroup::Plain))
            continue;
        if (best == nullptr || Larger(candidates[i], *best))
            best = &candidates[i];
    }
    return best;
}

// The facts of a picture finding whose chosen candidate is `best`.
template <typename Resolver>
TPictureFacts PictureFacts(const TFinding& finding, const QList<QByteArray>& addresses, const QList<bool>& usable,
                           const TPictureCandidate& best, const Resolver& resolve)
{
    TPictureFacts fact;
    QByteArray around;
    if (!finding.around.isEmpty() && resolve(finding.around, around) && FileKindOf(around) == TFileKind::Picture)
        fact.around = around;
    // The thumbnail comes from what the page shows: with lazy values, not the placeholder.
    bool lazy = false;
    for (qsizetype i = 0; i < finding.candidates.size(); ++i)
        lazy = lazy || (usable[i] && finding.candidates[i].group == TCandidateGroup::Lazy);
    const TSrcsetCandidate* smallest = nullptr;
    for (qsizetype i = 0; i < finding.candidates.size(); ++i) {
        const TPictureCandidate& c = finding.candidates[i];
        if (!usable[i] || (lazy && c.group == TCandidateGroup::Plain))
            continue;
        const TSrcsetCandidate& s = c.candidate;
        if (smallest == nullptr
            || (s.width != smallest->width ? s.width < smallest->width : s.density < smallest->density))
            smallest = &s;
    }
    if (smallest != nullptr)
        for (qsizetype i = 0; i < finding.candidates.size(); ++i)
            if (&finding.candidates[i].candidate == smallest)
                fact.thumbnail = addresses[i];
    // The attributes give the size the picture is laid out at; a "w" descriptor the candidate's
    // own width, with the attributes' proportions for its height. An original whose size no
    // one states declares none.
    const TSrcsetCandidate& chosen = best.candidate;
    if (chosen.width > 0 && chosen.width != UnstatedOriginalWidth) {
        fact.width = chosen.width;
        if (finding.width > 0 && finding.height > 0)
            fact.height = int(qint64(chosen.width) * finding.height / finding.width);
    } else if (chosen.width == 0 && chosen.density == 1.0) {
        fact.width = finding.width;
        fact.height = finding.height;
    }
    return fact;
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

int WidthInName(QByteArrayView address)
{
    qsizetype end = address.size();
    for (char stop : {'?', '#'})
        if (const qsizetype at = address.first(end).indexOf(stop); at >= 0)
            end = at;
    const QByteArrayView path = address.first(end);
    const QByteArrayView segment = path.sliced(path.lastIndexOf('/') + 1);
    const qsizetype dot = segment.lastIndexOf('.');
    const QByteArrayView stem = dot < 0 ? segment : segment.first(dot);
    // "-WxH" at the end of the stem, as content systems name their scaled copies.
    qsizetype i = stem.size();
    const auto digitsBefore = [&stem](qsizetype at) {
        qsizetype start = at;
        while (start > 0 && at - start < 6 && std::isdigit(uchar(stem[start - 1])))
            --start;
        return start;
    };
    const qsizetype heightStart = digitsBefore(i);
    if (heightStart == i || heightStart < 2 || stem[heightStart - 1] != 'x')
        return 0;
    i = heightStart - 1;
    const qsizetype widthStart = digitsBefore(i);
    if (widthStart == i || widthStart < 1 || stem[widthStart - 1] != '-')
        return 0;
    return stem.sliced(widthStart, i - widthStart).toInt();
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

namespace {
// The value of the "url(" at `at`: [begin, end) in `css`, and `next`, where the scan goes on.
// A data: value is passed over whole, so that nothing inside it (an SVG's own url(#a)) is read.
bool UrlValueAt(QByteArrayView css, qsizetype at, qsizetype& begin, qsizetype& end, qsizetype& next)
{
    qsizetype i = at + 4;
    while (i < css.size() && IsAsciiSpace(css[i]))
        ++i;
    if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
        const char quote = css[i++];
        end = css.indexOf(quote, i);
    } else if (StartsWithLower(css.sliced(i), "data:")) {
        end = -1;
        for (qsizetype j = i, depth = 0; j < css.size() && end < 0; ++j) {
            if (css[j] == '(')
                ++depth;
            else if (css[j] == ')' && depth-- == 0)
                end = j;
        }
    } else {
        end = css.indexOf(')', i);
    }
    begin = i;
    next = end + 1;
    return end >= 0;
}

bool IsDataValue(QByteArrayView value) { return StartsWithLower(Trimmed(value), "data:"); }
}  // namespace

namespace {
// `declarations`: only the values of declarations that show pictures (not @import, not a font's src).
QList<QByteArray> UrlValues(QByteArrayView css, bool declarations)
{
    QList<QByteArray> urls;
    const QByteArray lower = css.toByteArray().toLower();
    qsizetype begin = 0, end = 0, next = 0;
    for (qsizetype at = lower.indexOf("url("); at >= 0; at = lower.indexOf("url(", next)) {
        if (!UrlValueAt(css, at, begin, end, next))
            break;
        if (declarations) {
            // The declaration holding the url: back to the last ";", "{" or "}". Its property
            // names what the url is for; @import and a font's src are no pictures.
            qsizetype start = at;
            while (start > 0 && lower[start - 1] != ';' && lower[start - 1] != '{' && lower[start - 1] != '}')
                --start;
            const QByteArray declaration = lower.mid(start, at - start);
            const qsizetype colon = declaration.indexOf(':');
            if (colon < 0 || declaration.left(colon).trimmed() == "src")
                continue;
        }
        const QByteArrayView url = Trimmed(css.sliced(begin, end - begin));
        if (!url.isEmpty() && !IsDataValue(url))
            urls.append(url.toByteArray());
    }
    return urls;
}
}  // namespace

QList<QByteArray> CssUrlValues(QByteArrayView text) { return UrlValues(text, false); }

QList<QByteArray> CssPictureUrls(QByteArrayView css) { return UrlValues(css, true); }

QList<TModernLink> ModernLinks(QByteArrayView page, const QByteArray& address, TScanControl* control,
                               QList<TPictureFacts>* facts)
{
    TScanControl own;
    if (control == nullptr)
        control = &own;
    QList<TModernLink> links;
    if (page.size() > MaxScannedPageBytes) {
        page = page.first(MaxScannedPageBytes);
        control->Reached(PageTooLargeReason());
    }
    // Most pages are UTF-8 already and are parsed in place.
    const QByteArray converted = page.isValidUtf8() ? QByteArray() : PageAsUtf8(page);
    QByteArrayView utf8 = converted.isNull() ? page : QByteArrayView(converted);
    // The parser's work grows with the depth of nesting for every element: deeper markup is
    // read as text.
    const QByteArray flat = FlattenDeepNesting(utf8, MaxNestingDepth, control);
    if (control->StopRequested())
        return links;
    if (!flat.isNull()) {
        utf8 = flat;
        control->Reached(NestedTooDeepReason());
    }
    QUrl base(QString::fromUtf8(address), QUrl::TolerantMode);
    const auto resolve = [&base](const QByteArray& raw, QByteArray& out) { return Resolve(base, raw, out); };
    QSet<QByteArray> seen;
    QByteArray resolved;
    const auto add = [&](const QByteArray& absolute, bool file, bool picture, TPictureFacts fact = {}) {
        if (seen.contains(absolute))
            return;
        // A wiki's page about a file is a page, whatever extension its title ends with.
        if (IsWikiFilePage(absolute))
            file = picture = false;
        // Tracking pixels are no files anybody wants.
        if (file && IsTrackingAddress(absolute))
            return;
        seen.insert(absolute);
        links.append({absolute, file, picture});
        if (facts != nullptr)
            facts->append(picture ? std::move(fact) : TPictureFacts{});
    };
    qsizetype resolvedCount = 0;
    const auto take = [&](const TFinding& finding) {
        if (links.size() >= MaxLinksPerPage) {
            control->Reached(TooManyLinksReason());
            return false;
        }
        if (++resolvedCount % 1024 == 0 && control->StopRequested())
            return false;
        switch (finding.kind) {
        case TFindingKind::Link:
            if (resolve(finding.value, resolved))
                add(resolved, HasModernFileExtension(AddressParts(resolved).path), false);
            break;
        case TFindingKind::Media:
            if (resolve(finding.value, resolved))
                add(resolved, true, true);
            break;
        case TFindingKind::Picture: {
            QList<QByteArray> addresses(finding.candidates.size());
            QList<bool> usable(finding.candidates.size());
            for (qsizetype i = 0; i < finding.candidates.size(); ++i) {
                const TPictureCandidate& c = finding.candidates[i];
                usable[i] = (c.group == TCandidateGroup::Plain || LooksLikeAddress(c.candidate.url))
                    && resolve(c.candidate.url, addresses[i]);
            }
            const TPictureCandidate* best = Chosen(finding.candidates, usable);
            // A declared 1x1 picture is a tracking pixel, unless a script puts a real one there.
            if (best != nullptr && !(finding.tiny && best->group == TCandidateGroup::Plain))
                add(addresses[best - finding.candidates.constData()], true, true,
                    facts ? PictureFacts(finding, addresses, usable, *best, resolve) : TPictureFacts{});
            break;
        }
        }
        return true;
    };

    // The findings point into the tree: the arena, which frees it at once, outlives them.
    TArena arena(control);
    const GumboOptions options = ArenaOptions(arena);
    TWalker walker(options, control);
    walker.sink = take;
    // A base element sets how every link of the page resolves, those before it too. Without one,
    // links are resolved as the walk finds them, so that no list of findings as long as the page
    // builds up beside the tree, and the walk ends at the link limit.
    walker.streaming = !MayHoldBaseElement(utf8);
    const qsizetype factsBefore = facts ? facts->size() : 0;
    GumboOutput* output = Parse(options, utf8.data(), size_t(utf8.size()));
    if (output != nullptr)
        walker.Walk(output->document);
    if (arena.GaveUp == TArena::TGiveUp::OutOfMemory)
        control->Reached(ScanOutOfMemoryReason());
    if (output == nullptr || control->StopRequested()) {
        links.clear();
        if (facts)
            facts->resize(factsBefore);
        return links;
    }
    if (walker.haveBase) {
        QByteArray resolvedBase;
        if (Resolve(base, walker.baseHref, resolvedBase))
            base = QUrl::fromEncoded(resolvedBase);
    }
    walker.Finish();
    return links;
}
