#pragma once
// Hashes downloaded files on a thread of its own, one after the other, and hands each result back
// on the owner's thread. The jobs go over under a lock of ours and the results come back under
// the engines' hand-over lock (download/TReportReceiver.h), so every crossing is one the thread
// sanitizer can follow. Destroying the hasher waits for the file being hashed; results that have
// not arrived by then are dropped.
#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "download/TReportReceiver.h"

class TFileHasher : public TReportReceiver {
public:
    using TDone = std::function<void(qint64 size, const QByteArray& sha256)>;
    explicit TFileHasher(QObject* parent = nullptr);
    ~TFileHasher() override;

    // `done` gets the file's size and SHA-256 (empty when it could not be read).
    void Hash(const QString& path, TDone done);

private:
    struct TJob {
        QString Path;
        TDone Done;
    };
    void Run();

    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TJob> FJobs;
    bool FStopping = false;
    std::thread FThread;  // started with the first job
};
