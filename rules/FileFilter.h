#pragma once
// The file list's filter as a pure predicate: which files a user's choice of kinds, pixel
// sizes, byte sizes, host and keyword keeps. Qt Core only.
#include <QByteArray>
#include <QByteArrayView>

enum class TFileKind : int { Other = 0, Picture, Video, Audio, Archive, Document };

// The kind of file an address names, by the extension of its path (letter case aside).
// `foundAsPicture` (a picture without an extension, such as "/photo?id=7") makes it a picture
// when the extension says nothing.
TFileKind FileKindOf(QByteArrayView address, bool foundAsPicture = false);

constexpr unsigned KindBit(TFileKind kind) { return 1u << unsigned(kind); }
constexpr unsigned AllFileKinds = 0x3f;

struct TFileFilter {
    unsigned kinds = AllFileKinds;  // KindBit of each kind kept
    // Bounds, each 0 when not set; a maximum below its minimum keeps nothing.
    int minWidth = 0;
    int maxWidth = 0;
    int minHeight = 0;
    int maxHeight = 0;
    qint64 minBytes = 0;
    qint64 maxBytes = 0;
    QByteArray host;     // the file's host or one of its subdomains; empty for any
    QByteArray keyword;  // text the address holds, letter case aside; empty for any
    bool operator==(const TFileFilter&) const = default;
};

struct TFileFacts {
    QByteArray address;
    TFileKind kind = TFileKind::Other;
    int width = -1;  // pixels; -1 while unknown
    int height = -1;
    qint64 bytes = -1;  // -1 while unknown
};

// True when the filter keeps the file. A size still unknown passes its bounds: the filter
// drops only what it knows to be outside them, so files are not lost before their sizes arrive.
bool PassesFilter(const TFileFilter& filter, const TFileFacts& file);

// The host of an absolute address, lower case, without port or user.
QByteArray HostOf(QByteArrayView address);
