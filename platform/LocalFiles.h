#pragma once
// Files in the download directory, handled so that nothing outside it is written or deleted:
// pages, servers and list files choose the names, and the directory may already hold links.
#include <QString>

class QFile;

// True when anything lies at the path: a file, a directory, or a symbolic link, a dangling one
// included (tested without following links, as lstat does).
bool EntryExists(const QString& path);

// Creates the file, which must not exist yet, and opens it for writing. A link at the path
// (even a dangling one) is never followed, so the data cannot land elsewhere. False, with
// errno's text in *error when given, when the file could not be made. The file is opened on
// the new descriptor, so its fileName() is empty: callers keep the path themselves.
bool CreateNewFile(QFile& file, const QString& path, QString* error = nullptr);

// Deletes the entry at `path` when it lies directly in `directory` (both resolved, links
// followed for the directories only): a link found there is removed itself, never what it
// points to. False when nothing was deleted.
bool RemoveInside(const QString& directory, const QString& path);
