#include "core/TTransferQueue.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <limits>

#include "platform/Guarded.h"
#include "rules/ListRecords.h"

namespace {
// While the owner cannot take an outcome (its list is locked), it is offered again after this.
constexpr int OfferRetryInterval = 10;  // ms
}  // namespace

QByteArray TransferHostKey(const QByteArray& address) { return HostPrefix(address.toLower()); }

TTransferQueue::TTransferQueue(TTransferEngine* engine, QObject* parent) : QObject(parent)
{
    Now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    Jitter = [] { return QRandomGenerator::global()->generateDouble(); };
    FPause.setSingleShot(true);
    FWake.setSingleShot(true);
    connect(&FPause, &QTimer::timeout, this, [this] { Guarded(lcHarvest(), [this] { Pass(); }); });
    connect(&FWake, &QTimer::timeout, this, [this] { Guarded(lcHarvest(), [this] { Pass(); }); });
    SetEngine(engine);
}

void TTransferQueue::SetEngine(TTransferEngine* engine)
{
    if (engine == FEngine)
        return;
    if (FEngine)
        disconnect(FEngine, nullptr, this, nullptr);
    FEngine = engine;
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
    FWaiting.push_back({itemId, address, TransferHostKey(address), notBeforeMs, 0, std::nullopt});
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
    // Items waiting for another try were prepared by the owner: they are its to make pending.
    std::list<TEntry> waiting;
    waiting.swap(FWaiting);
    if (Unprepare)
        for (const TEntry& entry : waiting)
            if (entry.Next)
                Unprepare(entry.ItemId);
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
        const int tries = FTaken->Tries + 1;
        FTaken.reset();
        Launch(s, job, host, tries);
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
    const qint64 host = qMax(FHostNotBefore.value(entry.Host, 0), FRetries ? FManners.NotBefore(entry.Host) : 0);
    return qMax(entry.NotBefore, host);
}

int TTransferQueue::HostLimit(const QByteArray& host) const
{
    if (!FRetries)
        return FHostLimit;
    return FManners.Limit(host, FHostLimit > 0 ? FHostLimit : SlotCount);
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
            if (const int limit = HostLimit(it->Host); limit > 0 && RunningFor(it->Host) >= limit)
                continue;  // an outcome of that host frees a place
            break;
        }
        if (it != FWaiting.end()) {
            const TEntry entry = *it;
            FWaiting.erase(it);
            std::optional<TTransferJob> job;
            if (entry.Next) {
                job = entry.Next;  // prepared for its first try already
            } else if (Prepare) {
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

void TTransferQueue::Launch(int s, TTransferJob job, const QByteArray& host, int tries)
{
    job.Slot = s;
    FRuns[std::size_t(s)] = {job, tries};
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
    TDownloadOutcome decided = outcome;
    if (FRetries && Retried(decided)) {
        FSlots[s] = TTransferSlot{};
        emit SlotChanged(s);
        Schedule();
        return;
    }
    Deliver(decided);
}

bool TTransferQueue::Retried(TDownloadOutcome& outcome)
{
    const int s = outcome.Slot;
    const TRun& run = FRuns[std::size_t(s)];
    const qint64 now = Now();
    FManners.Note(FSlots[s].Host, outcome, now);
    const TRetryDecision decision = DecideAfterTry(run.Job, outcome, run.Tries, now, Jitter(), FMaxTries);
    if (!decision.Retry) {
        outcome.Reason = decision.Text;
        return false;
    }
    if (FStopping || !FActive) {
        // Stopped while it would wait: pending again, as the other waiting items.
        if (Unprepare)
            Unprepare(outcome.ItemId);
        return true;
    }
    TTransferJob next = decision.Next;
    next.Slot = -1;
    FWaiting.push_back({outcome.ItemId, next.Address, FSlots[s].Host, decision.NotBeforeMs, run.Tries, next});
    if (Waits)
        Waits(outcome.ItemId, decision.Text);
    return true;
}

void TTransferQueue::Deliver(const TDownloadOutcome& outcome)
{
    const int s = outcome.Slot;
    if (s < 0 || s >= SlotCount || !FSlots[s].Running || FSlots[s].ItemId != outcome.ItemId)
        return;
    if (Apply && !Apply(outcome)) {
        QTimer::singleShot(OfferRetryInterval, this,
                           [this, outcome] { Guarded(lcHarvest(), [&] { Deliver(outcome); }); });
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
