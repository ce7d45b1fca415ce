#pragma once
// Why a document or a file could not be fetched, in the few words shown as the failed item's
// hint and after the status text. The window and the engines gather what they know when a fetch
// ends; these rules decide what the user reads.
#include <QByteArray>
#include <QString>

// What is known about a fetch when it ends without success.
struct FailureFacts {
    bool Stopped = false;   // the user's Stop ended it
    int IdleSeconds = 0;    // the no-data watchdog ended it after this many seconds (0: it did not)
    QByteArray StatusLine;  // the reply's status line as received; empty when none came
    QByteArray ErrorText;   // the text of the failure that ended it (the client's own words)
    int SocketError = 0;    // the socket's last error number (a failed connect leaves its cause)
    qint64 KeptSize = -1;   // a completed download's size on disk; -1 when not measured
};

// The reason to show, or an empty text when the facts name no failure. The user's Stop and the
// watchdog come first (the error they cause says nothing more), then a server's error reply,
// then the client's failure, then a download too small to keep.
QString FailureReason(const FailureFacts& facts);

// The client's failure texts in the user's words: "Host not found" for every kind of failed
// look-up, "Could not write FILE: REASON" for a file that could not be created or written, the
// cause of a failed connect ("Connection refused") when the socket's error number tells it;
// other texts (reset connections, time-outs, TLS failures) read well as they are.
QString ErrorReason(const QByteArray& errorText, int socketError = 0);

// Reasons the window finds itself, before any engine runs.
QString NoFreeNameReason(const QByteArray& name);  // "No free name for pic.jpg"; "No file name"

// "HTTP 404 Not Found": the code and the server's own reason phrase, from a status line; empty
// for a line without a code.
QString HttpStatusReason(const QByteArray& statusLine);

QString NoDataReason(int seconds);                                    // "No data for 30 s"
QString WriteFailureReason(const QString& file, const QString& why);  // "Could not write FILE: REASON"
QString TooSmallReason();                                             // "Smaller than 1000 bytes"
QString StoppedReason();                                              // "Stopped"

// The status text after a command: "Status: Not active", followed by " - " and the reason of a
// failed Get document when there is one.
QString NotActiveStatus(const QString& reason);
