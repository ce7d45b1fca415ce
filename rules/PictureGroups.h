#pragma once
// Copies of one picture: a page often offers the same picture several times (a thumbnail, the
// candidates of a srcset, the full-size file the thumbnail links to, names that differ only by
// a size suffix). These rules find which file items are copies of one picture and which copy
// is the largest, so that only that one needs downloading. Qt Core only.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// A picture's size stated by its name ("-300x200", "/300x200/", "?w=300&h=200"); 0 for a side
// the name does not state.
struct TNamedSize {
    int width = 0;
    int height = 0;
};
TNamedSize SizeInName(QByteArrayView address);

// The size known before download: the one the page declares (0 for a side it does not), else
// the one the name states.
TNamedSize StatedSize(QByteArrayView address, int declaredWidth, int declaredHeight);

// The text that all size variants of one picture share: the host, the path without size
// folders ("/thumb/", "/300x200/") and without size suffixes of the name ("-300x200", "_thumb",
// "_small", "@2x"), and the query without size parameters ("w", "width", "h", "size" ...).
// Different pictures keep different keys: another host, folder, name or other parameters.
QByteArray PictureVariantKey(QByteArrayView address);

// True when the name marks a reduced copy ("_thumb", "/thumbs/", "-small", "-150x150").
bool NamedAsReduced(QByteArrayView address);

struct TPictureCandidate {
    QByteArray address;
    // The address of the link around the picture when that link leads to a picture file (the
    // full-size copy behind a thumbnail); empty otherwise.
    QByteArray around;
    // The pixel size the page declares for it (srcset "w", width/height attributes); 0 unknown.
    int width = 0;
    int height = 0;
};

// For each candidate, the index of its group's largest copy (a candidate alone leads itself).
// One group holds a picture and the link around it, and the copies sharing a variant key. The
// largest copy is, in this order: the target of a link around a thumbnail; a copy of greater
// width, then height (declared, else stated by its name; a name without size marks counts as
// the original, a reduced name as smallest); the first on the page.
QList<int> PictureGroupLeaders(const QList<TPictureCandidate>& candidates);
