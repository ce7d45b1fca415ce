#pragma once
// Rules of a file transfer that do not depend on how the bytes travel: how a byte count is shown
// on a bar, which failures are worth another try and when, what a waiting file tells the user,
// and what a server's answer to a resumed request means for the part file.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

// A bar's maximum and position for `received` of `total` bytes (total 0: unknown, and the bar
// stands at half way). Bars count in 32 bits: larger counts are scaled down together, so a file
// beyond 2 GiB still fills its bar in proportion.
struct TGaugeValues {
    int32_t Maximum = 0;
    int32_t Position = 0;
};
TGaugeValues GaugeValuesFor(qint64 received, qint64 total);

// ---- Retries ------------------------------------------------------------------------------

// A file is tried at most this many times in all.
constexpr int MaxTries = 5;
// Waits between tries grow from one second and never pass this, whatever the server asks for
// within MaxRetryAfterMs.
constexpr qint64 FirstBackoffMs = 1000;
constexpr qint64 MaxBackoffMs = 60000;
// A server asking for a longer wait than this is not waited for: the file fails with its answer.
constexpr qint64 MaxRetryAfterMs = 10 * 60 * 1000;

// How a try ended.
enum class TTryEnd {
    Done,       // the file is whole
    Refused,    // the connection was refused
    Reset,      // the connection broke before or during the answer
    TimedOut,   // look-up, connect or answer took too long
    Stalled,    // the body came too slowly
    Cut,        // the body ended before its announced length
    HttpError,  // the server answered with an error status
    Fatal,      // anything another try cannot mend (a bad address, a certificate, a local file)
};

// The statuses a server uses for "not now": a later try may well succeed.
bool IsRetryableStatus(int status);
// Whether another try may mend a try that ended so (`status` for HttpError).
bool IsRetryable(TTryEnd end, int status);

// The wait before try `nextTry` (2 for the first retry): about 1, 2, 4, 8, 16 s, at most
// MaxBackoffMs. `jitter` in [0, 1) spreads the tries of many files: the wait is scaled by 0.75
// to 1.25, so files that failed together do not all return at once.
qint64 BackoffMs(int nextTry, double jitter);

// The wait a Retry-After value asks for, in milliseconds from `now`: delta seconds or an HTTP
// date (the three forms HTTP allows). -1 when the value is none of them; 0 for a date already
// past.
qint64 RetryAfterMs(const QByteArray& value, const QDateTime& now);

// The wait before the next try: the server's Retry-After when it gave one, else the backoff.
// -1 when the next try should not come (no tries left, not retryable, or the server asks for
// more than MaxRetryAfterMs).
// `maxTries` is the number of tries in all that a file may have.
qint64 NextTryWaitMs(TTryEnd end, int status, int triesDone, qint64 retryAfterMs, double jitter,
                     int maxTries = MaxTries);

// What a waiting file shows: "Waiting 2 s: HTTP 429 Too Many Requests, try 2 of 5" (the wait
// rounded up to whole seconds; `cause` is the last try's reason).
QString WaitingText(qint64 waitMs, const QString& cause, int nextTry, int maxTries = MaxTries);
// The reason of a file that failed after more than one try: "CAUSE (5 tries)"; a single try's
// cause stands alone.
QString FinalReasonText(const QString& cause, int tries);

// ---- Resume -------------------------------------------------------------------------------

// A Content-Range value "bytes FIRST-LAST/LENGTH" (LENGTH "*" when unknown: -1), or for a 416
// answer "bytes */LENGTH" (First and Last -1).
struct TContentRange {
    qint64 First = -1;
    qint64 Last = -1;
    qint64 Length = -1;
    bool Valid = false;
};
TContentRange ParseContentRange(const QByteArray& value);

// What an answer to a request that asked for the bytes after `resumeFrom` means for the part
// file's bytes.
enum class TResumeAction {
    Append,    // 206 from the first missing byte: the body continues the part file
    Restart,   // a whole body (200): the part file starts again from zero with this body
    Discard,   // the part file cannot be continued (416, or a 206 of other bytes): retry afresh
    Complete,  // 416 saying the file is exactly as long as the part file: it is whole
    NotBody,   // any other answer: not a body for the file
};
TResumeAction ResumeDecision(int status, qint64 resumeFrom, const QByteArray& contentRange);

// The validator a part file's bytes are kept with: a strong ETag, else the Last-Modified date
// (a weak ETag cannot make a range request conditional). Empty when there is neither.
QByteArray ResumeValidator(const QByteArray& etag, const QByteArray& lastModified);

// ---- Hosts --------------------------------------------------------------------------------

// The connection limits per host the user can choose; 2 unless chosen otherwise.
constexpr int HostConnectionChoices[] = {1, 2, 4, 8};
constexpr int DefaultHostConnections = 2;

// What is known of one host's manners.
struct THostState {
    qint64 NotBeforeMs = 0;  // epoch ms before which no request goes to the host
    bool Throttled = false;  // it answered 429 or 503: one connection until it answers well
};
// After an answer (status 0: no answer) at `nowMs`, asking for `retryAfterMs` (-1: none).
void NoteHostAnswer(THostState& host, int status, qint64 retryAfterMs, qint64 nowMs);
// How many connections the host may have now.
int HostConnectionLimit(const THostState& host, int chosen);
