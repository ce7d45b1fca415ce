#pragma once
// A download engine: one thread that fetches one file over HTTP straight into its local file.
// It knows nothing of the window: it is given its address, local path, slot, item id, a stop
// token and the request's extra header values, and it reports by queued signals carrying values
// (its hint, its progress, and at the end one outcome). Whoever started it decides what the
// reports mean for the window.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>
#include <stop_token>

#include "download/DownloadTypes.h"
#include "rules/FailureReasons.h"

class QTimer;
class TNMHTTP;
class TPartFileHold;

class TDownload : public QThread {
    Q_OBJECT
public:
    // Connect the signals, then start() the thread; the engine deletes itself after its run.
    TDownload(const QByteArray& fileUrl, const QString& fileName, int slot, uint64_t itemId, std::stop_token stop,
              const TDownloadRequest& request = {});
    ~TDownload() override;

    // Engines whose run has not yet ended (their thread may still be winding down).
    static int Running();
    // Test-only seam: the idle time-out (60000 ms in the program).
    static void SetIdleIntervalForTests(int ms);
    // Progress reaches the window at most once per screen frame: a fast stream would otherwise
    // post an update per packet and keep both threads switching.
    static constexpr int ProgressInterval = 16;  // ms

signals:
    void HintChanged(const TDownloadHint& hint);
    // Bytes of the body received so far and the announced length (0 when none was announced).
    void Progress(qint64 received, qint64 total);
    // The engine's last report; the run ends right after it.
    void Finished(const TDownloadOutcome& outcome);

protected:
    void run() override;

private:
    void Execute();
    TDownloadOutcome Request();  // the request step and the finished-file check
    void FinalStep();
    QByteArray RedirectTarget() const;
    void HttpPacketRecvd();
    void SendProgress();
    void IdleTimeout();
    void StopPoll();

    const QByteArray FileUrl;
    const QString FileName;
    const int Slot;
    const uint64_t ItemId;
    const std::stop_token Stop;
    const TDownloadRequest Extra;
    // Timers and client are created and released by the run, on the engine's thread.
    std::unique_ptr<QTimer> IdleTimer;
    QElapsedTimer FLastPacket;  // when the last packet arrived (or the run began)
    std::unique_ptr<QTimer> StopTimer;
    std::unique_ptr<QTimer> ProgressTimer;
    QElapsedTimer FLastProgress;  // when progress was last sent
    qint64 FReceived = 0;
    qint64 FTotal = 0;
    bool FProgressDue = false;  // a packet arrived since progress was last sent
    FailureFacts FFacts;        // what is known of a failure: our own cancels, the client's words
    std::unique_ptr<TNMHTTP> Http;
    std::unique_ptr<TPartFileHold> PartHold;  // while the part file is being written
};
