#pragma once
// Local names and request details of items found by the modern pages scanner, whose addresses
// often carry queries, escapes and no extension at all.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include "rules/FileNaming.h"

// Bytes the part file's suffix (".kelvorn-part") adds to a name while it downloads.
constexpr qsizetype PartSuffixBytes = 13;
// The longest name given: with the part suffix and the rename rule's underscores it still fits
// the 255 bytes that most file systems take.
constexpr qsizetype MaxModernNameBytes = 255 - PartSuffixBytes - MaxUnderscores;

// The address's last path segment without query or fragment, percent-decoded, with characters
// that do not belong in a file name replaced by "_"; "index" when the path ends with "/".
// UTF-8 (bytes that are not are read as Latin-1), at most MaxModernNameBytes long.
QByteArray ModernFileName(QByteArrayView address);

// Bytes made into a plain UTF-8 file name: invalid UTF-8 read as Latin-1, characters that do not
// belong in a name replaced by "_", "." and ".." made "_" and "__", cut to MaxModernNameBytes
// (the stem is cut on a character boundary, the extension kept). Empty stays empty.
QByteArray PlainModernName(QByteArrayView bytes);

// The name of the address told apart from others with the same last segment: the query's words
// (or, without a query, the parent directory's name) joined to the stem, as "img-id-3" for
// "/img?id=3" and "photo-2024.jpg" for "/2024/photo.jpg". The address's own name without either.
QByteArray DisambiguatedName(QByteArrayView address);

struct TNamedAddress {
    QByteArray address;
    QByteArray name;
    bool renamable = true;  // still waiting, under a name given from its address
};
// Names for one harvest's file items: every renamable item starts from ModernFileName; where two
// different addresses would share a name, the renamable ones get DisambiguatedName and, should
// that still be shared, a short mark made from the whole address. The result does not depend on
// the order of the items, so a harvest gets the same names on every run.
void HarvestNames(QList<TNamedAddress>& items);

// True when `name` is one that HarvestNames may give the address.
bool IsAutomaticName(QByteArrayView address, QByteArrayView name);

// The file name a Content-Disposition value gives (filename* before filename), as a plain name
// without any directory; empty when it gives none.
QByteArray ContentDispositionName(QByteArrayView value);

// The extension (with its dot) that a file's first bytes show: JPEG, PNG, GIF, WebP, AVIF, MP4,
// WebM, PDF or ZIP; empty for anything else.
QByteArray SniffedExtension(QByteArrayView head);

// How many first bytes SniffedExtension looks at.
constexpr qsizetype SniffBytes = 64;

// The final name of a downloaded modern item listed as `listed`: the Content-Disposition's name
// when sent, else `listed`; with the extension of the Content-Type, or of the first bytes when
// the type is missing or says nothing, unless it has a file extension already.
QByteArray ModernFinalName(QByteArrayView listed, QByteArrayView contentDisposition, QByteArrayView contentType,
                           QByteArrayView head);

// The usual extension (with its dot) for a Content-Type value, parameters and letter case
// ignored; empty for a type without one.
QByteArray ExtensionForContentType(QByteArrayView contentType);

// The request target as browsers send it: spaces, control characters and bytes above 127
// percent-encoded, everything else (escapes already present included) as it is.
QByteArray RequestTarget(QByteArrayView target);

// Whether a finished download is deleted. The classic rule deletes every file below
// MinimumFileSize; for modern items small pictures and icons are real files, so a small file goes
// only when the server answered with an error status or an HTML page. A failed download always goes.
bool DiscardDownload(qint64 size, bool failed, bool modern, int statusCode, QByteArrayView contentType);

// "Kelvorn/1.31": the User-Agent that modern requests carry.
QByteArray ModernUserAgent();
