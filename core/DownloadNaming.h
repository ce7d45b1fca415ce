#pragma once
// The local names of a Download files run, as the window gives them: the rename rule at the
// start of a file, and a modern item's final name from its answer at the end. Plain functions
// over a directory and a "taken" test, so the window and the command-line harvester share them.
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

struct TDownloadOutcome;

// Anything at the path takes a name: a file, a directory, a symbolic link even when it points
// nowhere; so does a path an engine was handed and may not have made yet.
using TPathTaken = std::function<bool(const QString& path)>;

// The first free name of the rename rule for `name` in `directory`; nothing when the name is no
// plain file name or every candidate is taken.
std::optional<QByteArray> FreeNameIn(const QString& directory, const QByteArray& name, bool utf8,
                                     const TPathTaken& taken);

// A downloaded modern item takes the name the answer gives (Content-Disposition) or the extension
// its type or first bytes show, under a name still free in the directory; its file is renamed on
// disk. Returns the item's name afterwards (`name` when nothing changed).
QByteArray NameFromAnswer(const QString& directory, const QByteArray& name, const TDownloadOutcome& outcome,
                          const TPathTaken& taken);
