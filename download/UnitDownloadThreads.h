#pragma once
// A download engine: one thread that fetches one file over HTTP straight into its local file,
// shows its progress in one engine slot of the main window and writes its outcome into the
// file's item. Widgets are only touched on the user-interface thread.
#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include <QTimer>

#include "http/TNMHTTP.h"

class TCheckListView;
class TFormMain;
class TGauge;
class TLed;

class TDownload : public QThread {
    Q_OBJECT
public:
    // Starts the thread at once; the engine deletes itself after its run.
    TDownload(const QByteArray& fileUrl, const QString& fileName, int itemIndex,
              TCheckListView* fileList, TGauge* gauge, TLed* led);
    ~TDownload() override;

    // Engines whose run has not yet ended (their thread may still be winding down).
    static int Running();
    // Test-only seam: the idle time-out (60000 ms in the program).
    static void SetIdleIntervalForTests(int ms);
    // True while an engine that has not finished was handed this local path.
    static bool PathInUse(const QString& path);

protected:
    void run() override;

private:
    void Execute();
    void Record(TFormMain* form, int outcome);  // list lock, outcome icon, CheckFile, preview jump
    void FinalStep();
    void HttpPacketRecvd();
    void IdleTimeout();
    void StopPoll();
    void HttpInvalidHost(bool& handled);
    void HttpFailure(CmdType cmd);

    const QByteArray FileUrl;
    const QString FileName;
    const int ItemIndex;
    const QPointer<TGauge> Gauge;
    const QPointer<TLed> Led;
    const QPointer<TCheckListView> FileList;
    std::atomic<int>* const FLock;  // the file list's Tag
    // Both timers and the client are created and released by the run, on the engine's thread.
    std::unique_ptr<QTimer> IdleTimer;
    QElapsedTimer FLastPacket;  // when the last packet arrived (or the run began)
    std::unique_ptr<QTimer> StopTimer;
    std::unique_ptr<TNMHTTP> Http;

    // Latest bar state (maximum, progress) for the user-interface thread; a new packet posts an
    // update only when none is waiting, so a fast stream does not flood the window's queue.
    struct GaugeShare {
        std::atomic<uint64_t> State{0};
        std::atomic<bool> Posted{false};
    };
    const std::shared_ptr<GaugeShare> FGauge = std::make_shared<GaugeShare>();
};
