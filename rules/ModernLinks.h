#pragma once
// The modern pages scanner: what a browser would load or follow from a page, read from the tree
// that a real HTML5 parser builds (gumbo), so quoting, attribute order, letter case, character
// references and broken markup are handled as a browser handles them. Qt Core only; the window
// sorts the result into its lists.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include "rules/ScanLimits.h"

struct TModernLink {
    // Absolute http or https address, fragment cut, percent-encoded as a browser sends it.
    QByteArray address;
    bool file = false;     // something to download; otherwise a page to scan further
    bool picture = false;  // found as a picture, video or audio source
    bool operator==(const TModernLink&) const = default;
};

// What the page says about a picture found in an img or picture element, for grouping its
// copies and showing its size before download; empty for other links.
struct TPictureFacts {
    QByteArray around;     // the link around it, when that leads to a picture file
    QByteArray thumbnail;  // its smallest candidate (src or srcset), for a preview
    int width = 0;         // declared pixel size of the chosen candidate (srcset "w", width and
    int height = 0;        // height attributes); 0 when the page does not say
};

// The page's links in text order, each address once (the first finding decides its class).
// `address` is the page's own address after redirects; relative links resolve against it, or
// against the page's <base href> when it has one. The scan keeps to the limits of ScanLimits.h
// and ends soon after `control`'s Stop is set; the first limit reached is left in its Reason.
// `facts`, when given, receives one entry per link, in the same order.
QList<TModernLink> ModernLinks(QByteArrayView page, const QByteArray& address, TScanControl* control = nullptr,
                               QList<TPictureFacts>* facts = nullptr);

// True when the path's extension names a picture, video, audio, archive, PDF or EPUB: a link
// to such a path is a file.
bool HasModernFileExtension(QByteArrayView path);

// The page text as UTF-8: UTF-8 pages as they are; others decoded from the charset their
// <meta> names, else from windows-1252, as browsers do for an undeclared 8-bit page.
QByteArray PageAsUtf8(QByteArrayView page);

struct TSrcsetCandidate {
    QByteArray url;
    int width = 0;         // the "w" descriptor; 0 when absent
    double density = 1.0;  // the "x" descriptor; 1 when absent
};
// A srcset attribute's candidates in order (URLs may hold commas; descriptors follow spaces).
QList<TSrcsetCandidate> ParseSrcset(QByteArrayView srcset);

// The url(...) values of a style sheet or style attribute that name pictures: those of
// declarations (background, list-style, content and the like), not of @import or a font's src.
QList<QByteArray> CssPictureUrls(QByteArrayView css);

// Every url(...) value of a text whatever it is for (as in data-bg="url(a.jpg)"); data: values,
// and whatever stands inside them, left out.
QList<QByteArray> CssUrlValues(QByteArrayView text);

// The width a picture's name states ("photo-1024x683.jpg": 1024), 0 when it states none.
int WidthInName(QByteArrayView address);
