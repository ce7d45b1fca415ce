#pragma once
// Fetches one document with the program's own HTTP client, configured as the window's document
// client is (its look-up and connect time-out, its report level, the modern option's headers),
// with the document time-out: a fetch that receives nothing for that long ends. Failures come
// back with the reason the window shows. The call returns when the document is in or the fetch
// failed; meanwhile it processes the calling thread's events (the socket layer's waits), so it
// belongs on a thread that may wait: a command-line run's main thread, or a thread of its own.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <memory>

#include "rules/FailureReasons.h"

class QTimer;
class TNMHTTP;

struct TDocumentRequest {
    QByteArray UserAgent;  // empty: none sent (the classic request)
    QByteArray Referer;
    // The longest the whole fetch may take however steadily data trickles in; 0: no limit.
    int TimeLimitMs = 0;
};

struct TFetchedDocument {
    bool Ok = false;
    QByteArray Body;
    QByteArray Url;  // the final address after redirects
    QString Reason;  // why it failed, in the window's words; empty when it arrived
};

class TDocumentFetch {
public:
    // A document that sends nothing for this long is cut off.
    static constexpr int DefaultTimeOutMs = 30000;

    TDocumentFetch();
    ~TDocumentFetch();
    TDocumentFetch(const TDocumentFetch&) = delete;
    TDocumentFetch& operator=(const TDocumentFetch&) = delete;

    TFetchedDocument Get(const QByteArray& address, const TDocumentRequest& request = {});
    // From any thread: the running fetch (or the next one) ends as stopped.
    void Stop() { FStop = true; }
    void SetTimeOut(int ms) { FTimeOutMs = ms; }

private:
    std::unique_ptr<TNMHTTP> FClient;
    std::unique_ptr<QTimer> FIdle;
    FailureFacts FFacts;
    QElapsedTimer FClock;  // since the running fetch began
    int FTimeLimitMs = 0;
    std::atomic<bool> FStop{false};
    int FTimeOutMs = DefaultTimeOutMs;
};
