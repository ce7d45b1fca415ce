#pragma once
// What a double click may hand to the desktop's opener. Pages and servers choose the addresses
// and the names and bytes of downloaded files, so only web addresses and files that are plainly
// pictures, video, audio, archives or documents are opened; anything else is shown in its folder.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// True for an http or https address (any letter case); other schemes start other handlers.
bool IsWebAddress(QByteArrayView address);

// How many leading bytes of a file FileMayBeOpened looks at.
constexpr int SniffSize = 512;

// True only when the name's extension is one of a picture, video, audio file, archive or
// document AND the file's first bytes are of that kind. Executables, scripts, desktop entries
// and anything unknown are false, whatever their names say.
bool FileMayBeOpened(const QString& fileName, QByteArrayView firstBytes);
