#pragma once
// Which listed files a harvest takes: the facts a filter judges (kind, pixel size from the page
// or the name), one copy of each picture, and the command-line harvester's choices (kinds by
// name, a name pattern, a pixel size). Qt Core only; the window's list commands and the
// command-line harvester apply the same rules.
#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <optional>
#include <vector>

#include "rules/FileFilter.h"
#include "rules/ModernLinks.h"

// What the filter can know of a listed file before it is fetched: its kind, and its pixel size as
// the page declares it, else as its name states it (-1 while unknown).
TFileFacts ListedFileFacts(const QByteArray& address, const TPictureFacts& facts);

// For each file, whether it is its picture group's largest copy; files that are no pictures are
// always taken.
std::vector<bool> LargestCopies(const QList<QByteArray>& addresses, const QList<TPictureFacts>& facts);

// The kinds named in a comma-separated list ("pictures,video"); nothing when a name is unknown.
// Known names: pictures, video, audio, archives, documents, other.
std::optional<unsigned> KindsFromNames(const QString& names);

// "800x600", "800x" or "800": the least width and height; nothing for anything else.
std::optional<std::pair<int, int>> PixelSizeFromText(const QString& text);

// A name pattern: "/REGEX/" is searched in the address; anything else is a shell glob that the
// file's name or its whole address must match. Invalid: an empty or broken pattern.
class TNamePattern {
public:
    explicit TNamePattern(const QString& text);
    bool IsValid() const { return FValid; }
    QString Error() const { return FError; }
    bool Matches(const QByteArray& address, const QByteArray& name) const;

private:
    QRegularExpression FExpression;
    bool FGlob = false;
    bool FValid = false;
    QString FError;
};
