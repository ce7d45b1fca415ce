#pragma once
// Local file names of file items.
#include <QByteArray>
#include <QString>
#include <functional>

// The text after the address's last "/" (the whole text when it has none); nothing decoded,
// control characters made "_".
QByteArray FilNavn(const QByteArray& address);

// The name with every control character (below 0x20, and 0x7F) made "_": a newline or an
// escape sequence in a file name breaks listings, scripts and terminals.
QByteArray WithoutControlBytes(QByteArray name);

// How many underscores the rename rule may add: six names are tried in all.
constexpr int MaxUnderscores = 5;

// One underscore added before the first "." (a name without a dot gets "_." in front).
QByteArray UnderscoreName(const QByteArray& name);

// True for a name that stays inside the download directory: not empty, no "/" or NUL, not "."
// or "..". File names read back from a list file are not trusted to be plain.
bool IsPlainFileName(const QByteArray& name);

// The Filename column as a path component: modern names are UTF-8; classic ones are 8-bit bytes,
// each kept as the character of that number.
QString NameOnDisk(const QByteArray& name, bool utf8);

// A file item's local path: the download directory, "/" and the Filename column. Empty when the
// column is no plain name, so that nothing tests, opens, writes or deletes a path it would
// lead outside the directory.
QString LocalFilePath(const QString& directory, const QByteArray& name, bool utf8 = false);

// The rename rule: the first of name, name with one underscore, ... five underscores that is not
// taken; an empty result when all six are taken.
QByteArray FreeFileName(const QByteArray& name, const std::function<bool(const QByteArray&)>& taken);
