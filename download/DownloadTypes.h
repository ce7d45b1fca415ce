#pragma once
// What a download engine is given besides its address, path, slot and stop token, and what it
// reports back. Plain values: an engine shares nothing with the window that started it.
//
// Every report travels as one of our own value types rather than as a bare QString or
// QByteArray: Qt copies and destroys a queued signal's arguments through the type's own
// functions, and for our types those are compiled with the program, so a thread sanitizer sees
// every hand-over of the strings inside.
#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <cstdint>

#include "rules/ListStates.h"

// Extra request header values; an empty value sends no line.
struct TDownloadRequest {
    QByteArray UserAgent;
    QByteArray Referer;
    // An item of the modern pages scanner: a small file is kept unless the answer was an error or
    // an HTML page (small pictures and icons are real files).
    bool KeepSmallFiles = false;
    // The page the link was found on: a redirect's Referer is worked out from it again for the
    // new address, as browsers do (empty: the Referer stays as it is).
    QByteArray RefererPage = QByteArray();
    // A kept file whose name has no extension gets the one its Content-Type names.
    bool TypeExtension = false;
};

// The finished-file check as a pure rule: what becomes of a file of `size` bytes (-1: nothing at
// the path) after a transfer that failed or not.
struct TFileCheck {
    qint64 Size = -1;     // written into the Size column when a file was there
    bool Delete = false;  // below the size limit, or the transfer failed: the file goes
    bool Found() const { return Size >= 0; }
};
TFileCheck CheckFileRule(bool failed, qint64 size);
// The size of the file at `path`, -1 when there is none (a directory is none either).
qint64 FileSizeAt(const QString& path);

// The hint an engine shows on its slot's bar.
struct TDownloadHint {
    QString Text;
};

// How one engine's run ended: the request step's state for the item, the finished-file check, and
// what is known of the response.
struct TDownloadOutcome {
    uint64_t ItemId = 0;
    int Slot = -1;
    int State = FileFailed;  // FileDownloaded when the request returned normally
    TFileCheck Check;
    QString Reason;                 // why it failed, in the user's words (the item's hint); empty after a download
    int StatusCode = 0;             // of the response, 0 when none arrived
    QByteArray ContentType;         // of the response, empty when none was announced
    QByteArray ContentDisposition;  // of the response, empty when none was sent
    QByteArray Head;                // the kept file's first bytes, read for modern items only
    QString Path;                   // where the file was kept: the path asked for, or a free name taken instead
    QByteArray KeptName;            // the Filename column of the kept file; empty when it is not kept

    // What the queue needs to decide about another try (engines that cannot tell leave the
    // defaults: one try, nothing kept).
    int TryEnd = 0;            // a TTryEnd (rules/TransferRules.h); 0: done
    bool Retryable = false;    // another try may mend it
    qint64 RetryAfterMs = -1;  // the server's Retry-After, -1 when none
    QByteArray Validator;      // the strong ETag, else Last-Modified, of the part file's bytes
    qint64 PartBytes = 0;      // bytes kept in the part file for a resumed try; 0: none kept
    qint64 BytesMoved = 0;     // body bytes this try received over the network
};

Q_DECLARE_METATYPE(TDownloadHint)
Q_DECLARE_METATYPE(TDownloadOutcome)
