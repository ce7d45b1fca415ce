#pragma once
// The link scanner's text rules: how a page's text is prepared, where its link and picture
// markers are, how a link is resolved against the page's directory and which links are
// documents or files. Plain byte-string functions (Qt Core only) so that they can be tested and
// measured without a window; TFormMain::ParseDocument applies them to the lists.
#include <QByteArray>

// The text with every space (code 32 only) removed; tabs, CR and LF stay.
QByteArray PrepareText(const QByteArray& text);
// Upper-cases the ASCII letters a-z only; every other byte is kept as it is.
QByteArray UpperAscii(const QByteArray& text);

// The upper-cased text after the link's last "."; empty when the link has no ".".
QByteArray LinkExtension(const QByteArray& link);
// A page that can be scanned further: HTM, HTML, SHTML or COM, and no "..", "mailto" or "?".
bool IncludeDocument(const QByteArray& link);
// Something to download: JPG, JPEG, GIF, AVI, MPG, MPEG or ZIP, and no ".." or "?".
bool IncludeFile(const QByteArray& link);
// The duplicate tests answer "present" at once for these links without searching a list.
bool ExistsWithoutSearch(const QByteArray& link);

enum class TLinkClass { None, Document, File };
// Document when IncludeDocument accepts the link, else File when IncludeFile does, else None.
TLinkClass ClassifyLink(const QByteArray& link);

// Makes a link absolute against the page's directory (which ends with "/"): one leading ".."
// takes the directory one level up, a link without "//" is put behind the directory (a single
// leading "/" dropped first), and an embedded "HTTP:" address after the start is cut out.
QByteArray ResolveLink(const QByteArray& base, const QByteArray& link);

enum class TMarkerKind { Link, Picture };

struct TMarker {
    TMarkerKind kind = TMarkerKind::Link;
    qsizetype start = 0;  // first character of the value in the prepared text
    qsizetype end = 0;    // the closing quote's position, or the text's length without one
};

// Walks the markers of a prepared text in the order the scan takes them: every link marker
// (HREF=" in any letter case) in text order, then every picture marker (IMGSRC=" in any letter
// case) in text order. A value runs from the character after the marker's quote to the next
// double quote, or to the end of the text.
//
// Taking a marker only ever disables that marker itself: the two markers share no letter at
// the consumed position and neither can overlap itself, so no marker appears or disappears
// through another's consumption. Hence the order above is exactly the order of a search that
// restarts from the text's start for every marker. Each marker ends with a quote, so the walk
// only looks at quotes (memchr) and checks the few characters before each: one forward pass
// per marker kind, nothing else, no copy of the text.
class TMarkerWalk {
public:
    // The walk keeps a shallow copy of the text, so the caller's copy may go away.
    explicit TMarkerWalk(const QByteArray& prepared);
    // The next marker; false when there are no more.
    bool Next(TMarker& marker);

private:
    QByteArray FText;
    const char* FData;
    qsizetype FSize;
    qsizetype FPos = 0;  // where the search for the next quote goes on
    int FPass = 0;       // 0: link markers, 1: picture markers, 2: done
};

// The resolved link of one marker: its value cut from the prepared text (letter case kept), or
// an empty value for a picture when pictures are not taken, resolved against the base.
QByteArray MarkerLink(const QByteArray& prepared, const TMarker& marker, const QByteArray& base,
                      bool takePictures);
