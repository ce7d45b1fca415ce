#include "download/TClassicEngine.h"

#include "download/TReportReceiver.h"
#include "download/UnitDownloadThreads.h"
#include "platform/Guarded.h"

TClassicEngine::TClassicEngine(QObject* parent) : TTransferEngine(parent), FReceiver(new TReportReceiver(this)) {}

TClassicEngine::~TClassicEngine() { FStop.request_stop(); }

void TClassicEngine::Start(const TTransferJob& job)
{
    auto* thread = new TDownload(job.Address, job.Path, job.Slot, job.ItemId, FStop.get_token(), job.Request);
    const int slot = job.Slot;
    connect(
        thread, &TDownload::HintChanged, FReceiver,
        [this, slot](const TDownloadHint& hint) { Guarded(lcDownload(), [&] { emit HintChanged(slot, hint); }); },
        Qt::QueuedConnection);
    connect(
        thread, &TDownload::Progress, FReceiver,
        [this, slot](qint64 received, qint64 total) {
            Guarded(lcDownload(), [&] { emit Progress(slot, received, total); });
        },
        Qt::QueuedConnection);
    connect(
        thread, &TDownload::Finished, FReceiver,
        [this](const TDownloadOutcome& outcome) { Guarded(lcDownload(), [&] { emit Finished(outcome); }); },
        Qt::QueuedConnection);
    thread->start();
}

void TClassicEngine::StopAll()
{
    FStop.request_stop();
    FStop = std::stop_source();
}
