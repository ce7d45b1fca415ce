#pragma once
// Local file names of file items.
#include <QByteArray>
#include <functional>

// The text after the address's last "/" (the whole text when it has none); nothing decoded.
QByteArray FilNavn(const QByteArray& address);

// How many underscores the rename rule may add: six names are tried in all.
constexpr int MaxUnderscores = 5;

// One underscore added before the first "." (a name without a dot gets "_." in front).
QByteArray UnderscoreName(const QByteArray& name);

// True for a name that stays inside the download directory: not empty, no "/" or NUL, not "."
// or "..". File names read back from a list file are not trusted to be plain.
bool IsPlainFileName(const QByteArray& name);

// The rename rule: the first of name, name with one underscore, ... five underscores that is not
// taken; an empty result when all six are taken.
QByteArray FreeFileName(const QByteArray& name, const std::function<bool(const QByteArray&)>& taken);
