#include "core/TTransferQueue.h"

#include <QDateTime>
#include <limits>

#include "platform/Guarded.h"
#include "rules/ListRecords.h"

namespace {
// While the owner cannot take an outcome (its list is locked), it is offered again after this.
constexpr int OfferRetryInterval = 10;  // ms
}  // namespace

QByteArray TransferHostKey(const QByteArray& address) { return HostPrefix(address.toLower()); }

TTransferQueue::TTransferQueue(TTransferEngine* engine, QObject* parent) : QObject(parent), FEngine(engine)
{
    Now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    FPause.setSingleShot(true);
    FWake.setSingleShot(true);
    connect(&FPause, &QTimer::timeout, this, [this] { Guarded(lcHarvest(), [this] { Pass(); }); });
    connect(&FWake, &QTimer::timeout, this, [this] { Guarded(lcHarvest(), [this] { Pass(); }); });
    connect(FEngine, &TTransferEngine::HintChanged, this, [this](int s, const TDownloadHint& hint) {
        if (s < 0 || s >= SlotCount || !FSlots[s].Running)
            return;
        FSlots[s].Hint = hint.Text;
        emit SlotChanged(s);
    });
    connect(FEngine, &TTransferEngine::Progress, this, [this](int s, qint64 received, qint64 total) {
        if (s < 0 || s >= SlotCount || !FSlots[s].Running)
            return;
        FSlots[s].Received = received;
        FSlots[s].Total = total;
        ++FSlots[s].Reports;
        emit SlotChanged(s);
    });
    connect(FEngine, &TTransferEngine::Finished, this,
            [this](const TDownloadOutcome& outcome) { Guarded(lcHarvest(), [&] { Offer(outcome); }); });
}

void TTransferQueue::Enqueue(uint64_t itemId, const QByteArray& address, qint64 notBeforeMs)
{
    FWaiting.push_back({itemId, address, TransferHostKey(address), notBeforeMs});
    if (FActive)
        Schedule();
}

void TTransferQueue::SetHostNotBefore(const QByteArray& host, qint64 epochMs)
{
    FHostNotBefore.insert(host, epochMs);
    if (FActive)
        Schedule();
}

void TTransferQueue::Run()
{
    FActive = true;
    FStopping = false;
    Schedule();
}

void TTransferQueue::Stop()
{
    FWaiting.clear();
    FPause.stop();
    FWake.stop();
    if (FTaken) {
        const uint64_t id = FTaken->ItemId;
        FTaken.reset();
        if (Unprepare)
            Unprepare(id);
    }
    FEngine->StopAll();
    if (!FActive)
        return;
    FStopping = true;
    Schedule();
}

bool TTransferQueue::Running() const
{
    for (const TTransferSlot& slot : FSlots)
        if (slot.Running)
            return true;
    return false;
}

bool TTransferQueue::PathInUse(const QString& path) const
{
    for (const TTransferSlot& slot : FSlots)
        if (slot.Running && slot.Path == path)
            return true;
    return false;
}

void TTransferQueue::Schedule()
{
    if (FPassDue)
        return;
    FPassDue = true;
    QTimer::singleShot(0, this, [this] {
        FPassDue = false;
        Guarded(lcHarvest(), [this] { Pass(); });
    });
}

void TTransferQueue::Pass()
{
    if (!FActive)
        return;
    if (FStopping || FPause.isActive()) {
        EndIfDone();
        return;
    }
    if (!FTaken && !Take()) {
        EndIfDone();
        return;
    }
    for (int s = 0; s < SlotCount; ++s) {
        if (FSlots[s].Running)
            continue;
        TTransferJob job = FTakenJob;
        job.ItemId = FTaken->ItemId;
        if (job.Address.isEmpty())
            job.Address = FTaken->Address;
        const QByteArray host = FTaken->Host;
        FTaken.reset();
        Launch(s, job, host);
        if (FStartPause > 0)
            FPause.start(FStartPause);
        else
            Schedule();
        return;
    }
    // Every slot runs: the next outcome makes room.
}

qint64 TTransferQueue::ReadyAt(const TEntry& entry) const
{
    return qMax(entry.NotBefore, FHostNotBefore.value(entry.Host, 0));
}

int TTransferQueue::RunningFor(const QByteArray& host) const
{
    int count = 0;
    for (const TTransferSlot& slot : FSlots)
        if (slot.Running && slot.Host == host)
            ++count;
    return count;
}

bool TTransferQueue::Take()
{
    for (;;) {
        const qint64 now = Now();
        qint64 earliest = std::numeric_limits<qint64>::max();
        auto it = FWaiting.begin();
        for (; it != FWaiting.end(); ++it) {
            const qint64 ready = ReadyAt(*it);
            if (ready > now) {
                earliest = qMin(earliest, ready);
                continue;
            }
            if (FHostLimit > 0 && RunningFor(it->Host) >= FHostLimit)
                continue;  // an outcome of that host frees a place
            break;
        }
        if (it != FWaiting.end()) {
            const TEntry entry = *it;
            FWaiting.erase(it);
            std::optional<TTransferJob> job;
            if (Prepare) {
                job = Prepare(entry.ItemId);
            } else {
                job = TTransferJob{};
            }
            if (!job)
                continue;  // the owner dealt with it; a stop from inside it ends the taking
            if (FStopping || !FActive)
                return false;
            FTaken = entry;
            FTakenJob = *job;
            return true;
        }
        if (FStopping || !FActive)
            return false;
        const std::size_t before = FWaiting.size();
        if (Feed && Feed() && FWaiting.size() != before)
            continue;
        if (earliest != std::numeric_limits<qint64>::max())
            FWake.start(int(qBound(qint64(1), earliest - now, qint64(std::numeric_limits<int>::max()))));
        return false;
    }
}

bool TTransferQueue::StartNow(const TTransferJob& job)
{
    for (int s = 0; s < SlotCount; ++s) {
        if (!FSlots[s].Running) {
            Launch(s, job, TransferHostKey(job.Address));
            return true;
        }
    }
    return false;
}

void TTransferQueue::Launch(int s, TTransferJob job, const QByteArray& host)
{
    job.Slot = s;
    TTransferSlot& slot = FSlots[s];
    slot = TTransferSlot{};
    slot.Running = true;
    slot.ItemId = job.ItemId;
    slot.Host = host;
    slot.Path = job.Path;
    emit SlotChanged(s);
    FEngine->Start(job);
}

void TTransferQueue::Offer(const TDownloadOutcome& outcome)
{
    const int s = outcome.Slot;
    if (s < 0 || s >= SlotCount || !FSlots[s].Running || FSlots[s].ItemId != outcome.ItemId)
        return;
    if (Apply && !Apply(outcome)) {
        QTimer::singleShot(OfferRetryInterval, this,
                           [this, outcome] { Guarded(lcHarvest(), [&] { Offer(outcome); }); });
        return;
    }
    FSlots[s] = TTransferSlot{};
    emit SlotChanged(s);
    Schedule();
}

void TTransferQueue::EndIfDone()
{
    if (!FActive || FTaken || Running() || FPause.isActive())
        return;
    if (!FStopping && !FWaiting.empty())
        return;  // waiting for a time; FWake runs the next pass
    FActive = false;
    FStopping = false;
    FWaiting.clear();
    FWake.stop();
    emit Drained();
}
