#pragma once
// Giving a finished download its final name, shared by every transfer engine.
#include <QByteArray>
#include <QString>

#include "download/DownloadTypes.h"
#include "platform/PartFiles.h"

struct TKeptFile {
    TClaim Claim = TClaim::Failed;
    QString Path;     // the path actually used (Done)
    QByteArray Name;  // its name as the Filename column holds it (Done)
    QString Error;    // the system's words (Failed); empty when every free name was taken
};

// Moves the part file into `directory` under `name` (the Filename column's bytes; UTF-8 for
// modern items, else 8-bit), or, when another file took that name meanwhile, under the next free
// name of the rename rule. Nothing is ever replaced or written through a link.
TKeptFile KeepDownload(const QString& partPath, const QString& directory, const QByteArray& name, bool utf8);

// The end of a transfer into `partPath`, a part file the engine took for `finalPath` (`size`
// bytes there; -1: nothing was written into it): the finished-file check decides, a part file to
// delete goes, and one to keep loses its mark and takes its final name (for a modern item the
// name the answer or the file's first bytes give it), or the next free one when that is taken.
// Fills the outcome's Check, Head, Path and KeptName from its StatusCode, ContentType and
// ContentDisposition. Returns, in the user's words, why a file to keep found no name (its part
// file then goes too and the check reads as deleted); empty otherwise.
QString SettlePartFile(const QString& partPath, const QString& finalPath, qint64 size, bool failed,
                       const TDownloadRequest& request, TDownloadOutcome& outcome);
