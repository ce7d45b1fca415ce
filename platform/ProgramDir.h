#pragma once
// Where the program's own files lie. Both texts end with "/".
#include <QString>

// The documentation file: beside the executable in a build tree, else in the installed
// share/kelvorn/ of the executable's prefix.
QString DocumentationDir();
// The files the program writes (the list files): the per-user data directory, created when
// missing, since an installed program's own directory is not writable.
QString DataDir();
// Tests point both directories elsewhere; an empty text restores the real ones.
void SetProgramDirForTesting(const QString& directory);
