#pragma once
// A download is written under a name of its own until it is kept, so that no partial file ever
// carries a final name: a run that ends abruptly (closed window, crash, power loss) leaves at
// most NAME.part, which the naming rules never look at and the next download of NAME replaces.
#include <QString>

class QFile;

// NAME.part beside NAME.
QString PartFilePath(const QString& finalPath);

// Opens the file a transfer's data is written into, fresh: whatever lies at the path from an
// earlier run is replaced. False, with the system's words in *error, when it cannot be opened.
bool OpenTransferFile(QFile& file, const QString& path, QString* error);

// Gives a finished download its final name. A file of that name that appeared meanwhile is
// never replaced: false, with the system's words in *error, and the part file stays.
bool KeepPartFile(const QString& partPath, const QString& finalPath, QString* error);
