#pragma once
// The program's own directory, ending with "/": the list files and the documentation lie there.
#include <QString>

QString ProgramDir();
// Tests point the program's directory elsewhere; an empty text restores the real one.
void SetProgramDirForTesting(const QString& directory);
