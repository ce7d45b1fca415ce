#include "main/TFileHasher.h"

#include <QMetaObject>

#include "core/DownloadHistory.h"
#include "download/DownloadTypes.h"

TFileHasher::TFileHasher(QObject* parent) : TReportReceiver(parent) {}

TFileHasher::~TFileHasher()
{
    {
        const std::lock_guard lock(FMutex);
        FStopping = true;
        FJobs.clear();
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TFileHasher::Hash(const QString& path, TDone done)
{
    {
        const std::lock_guard lock(FMutex);
        FJobs.push_back({path, std::move(done)});
        if (!FThread.joinable())
            FThread = std::thread([this] { Run(); });
    }
    FWake.notify_one();
}

void TFileHasher::Run()
{
    for (;;) {
        TJob job;
        {
            std::unique_lock lock(FMutex);
            FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
            if (FStopping)
                return;
            job = std::move(FJobs.front());
            FJobs.pop_front();
        }
        const qint64 size = FileSizeAt(job.Path);
        const QByteArray sha256 = FileSha256(job.Path);
        const std::lock_guard handOver(ReportHandOver());
        QMetaObject::invokeMethod(
            this, [done = std::move(job.Done), size, sha256] { done(size, sha256); }, Qt::QueuedConnection);
    }
}
