#pragma once
// The link scanner's text rules: where a page's link and picture markers are, how a link is
// resolved against the page's directory and which links are documents or files. Plain
// byte-string functions (Qt Core only) so that they can be tested and measured without a window;
// the scan of a fetched page applies them to the lists.
//
// The scan's rules are stated on the page's text with every space (code 32, nothing else)
// removed, searched in ASCII upper case. No such copy is made here: a marker may have spaces
// between its characters and a value loses its spaces when it is cut, which gives the same
// markers and the same values.
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// A page that can be scanned further: HTM, HTML, SHTML or COM (after the last ".", any letter
// case), and no "..", "mailto" (lower case) or "?".
bool IncludeDocument(const QByteArray& link);
// Something to download: JPG, JPEG, GIF, AVI, MPG, MPEG or ZIP, and no ".." or "?".
bool IncludeFile(const QByteArray& link);

enum class TLinkClass { None, Document, File };
// Document when IncludeDocument accepts the link, else File when IncludeFile does, else None.
TLinkClass ClassifyLink(const QByteArray& link);

// The duplicate tests answer "present" at once for these links (empty, or holding "..")
// without searching a list.
bool ExistsWithoutSearch(const QByteArray& link);

// Makes a link absolute against the page's directory (which ends with "/"): one leading ".."
// takes the directory one level up, a link without "//" is put behind the directory (a single
// leading "/" dropped first), and an "HTTP:" (any case) after the start cuts off what precedes it.
QByteArray ResolveLink(QByteArrayView base, QByteArrayView link);
// The same into `out`, reusing its storage unless another copy shares it: a scan resolves many
// links without an allocation for each.
void ResolveLinkInto(QByteArrayView base, QByteArrayView link, QByteArray& out);

enum class TMarkerKind { Link, Picture };

struct TMarker {
    TMarkerKind kind = TMarkerKind::Link;
    qsizetype start = 0;  // the value's first byte in the page's text: the one after the quote
    qsizetype end = 0;    // the closing quote's position, or the text's length without one
};

// Walks the markers of a page's text in the order the scan takes them: every link marker
// (HREF=" in any letter case) in text order, then every picture marker (IMGSRC=" in any letter
// case) in text order, spaces allowed anywhere inside a marker. A value runs from the byte
// after the marker's quote to the next double quote, or to the end of the text.
//
// Why one pass per kind gives the scan's order: the scan takes the first marker left, then
// consumes it by overwriting the letter four before its value (E of HREF=", R of IMGSRC=").
// Neither marker can overlap itself (no repeated character) and the other kind has no such
// letter at that place, so consuming one marker never disables or creates another: the scan
// meets every link marker once, left to right, and then every picture marker the same way.
//
// Each marker ends with a letter, "=" and a quote (spaces aside), so the walk picks those
// places out 64 bytes at a time and checks the few bytes before each, in one pass: linear in
// the text, no copy of it. It notes the picture markers' places as it goes and hands them out
// after the last link marker.
class TMarkerWalk {
public:
    // The walk keeps a shallow copy of the text, so the caller's copy may go away.
    explicit TMarkerWalk(const QByteArray& text);
    // The next marker; false when there are no more.
    bool Next(TMarker& marker);

private:
    quint64 CandidateMask(qsizetype block) const;
    qsizetype NextCandidate();            // -1 after the last candidate
    int MarkerAt(qsizetype quote) const;  // 0 link marker, 1 picture marker, -1 none

    QByteArray FText;
    const char* FData;
    qsizetype FSize;
    qsizetype FBlock = 0;  // start of the 64 bytes that FMask describes
    quint64 FMask = 0;     // their candidate quotes not visited yet, one bit per byte
    bool FLinksDone = false;
    // The picture markers' quotes, met while the link markers were handed out: at most one per
    // eight bytes of text.
    std::vector<qsizetype> FPictures;
    size_t FNextPicture = 0;
};

// The marker's value with its spaces removed, letter case kept.
QByteArray MarkerValue(const QByteArray& text, const TMarker& marker);

// Storage that a scan reuses from one marker to the next.
struct TLinkBuffer {
    QByteArray link;       // the last resolved link
    QByteArray spaceless;  // a value that had spaces, without them
};
// The marker's value with its spaces removed, or an empty value for a picture when pictures are
// not taken, resolved against the base into the buffer; valid until the buffer's next use.
const QByteArray& MarkerLink(const QByteArray& text, const TMarker& marker, const QByteArray& base, bool takePictures,
                             TLinkBuffer& buffer);
