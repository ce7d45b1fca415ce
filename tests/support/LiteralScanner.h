#pragma once
// The link scan done the plain way, as a reference for the scanner's tests: a space-free copy,
// an upper-cased search copy searched again from its start for every marker, each marker
// consumed by overwriting one letter, and duplicate tests that walk plain lists. Quadratic;
// small inputs only.
#include <QByteArray>
#include <QByteArrayList>
#include <QList>

struct TLiteralMarker {
    bool picture = false;
    QByteArray value;
    bool operator==(const TLiteralMarker&) const = default;
};

// The markers' values in the order the scan takes them.
QList<TLiteralMarker> LiteralMarkers(const QByteArray& text);
QByteArray LiteralResolve(const QByteArray& base, const QByteArray& link);
bool LiteralIsDocument(const QByteArray& link);
bool LiteralIsFile(const QByteArray& link);

struct TLiteralOptions {
    bool pictures = true;      // "Add embedded images when parsing"
    bool childLinks = true;    // "Add child links found when parsing to existing list"
    bool selectFirst = false;  // "Auto select first file from each link parsed"
};

struct TLiteralLists {
    QByteArrayList parse, documents, files;
    QList<bool> fileTicked;
    QByteArray lastFileLink;
    bool firstFileTaken = false;
};

void LiteralParse(const QByteArray& base, const QByteArray& text, int parseMode, const TLiteralOptions& options,
                  TLiteralLists& lists);
