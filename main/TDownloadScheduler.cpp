#include "main/TDownloadScheduler.h"

#include <QTimer>
#include <limits>

#include "download/UnitDownloadThreads.h"
#include "platform/Guarded.h"
#include "widgets/TCheckListView.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

namespace {
// While someone else holds the file list's lock, an outcome is tried again after this long.
constexpr int LockRetryInterval = 10;  // ms
}  // namespace

void ApplyFileCheck(TCheckListView& files, int index, const TFileCheck& check)
{
    if (!check.Found())
        return;
    files.SetSubItem(index, 2, QByteArray::number(check.Size));
    if (check.Delete) {
        files.SetImageIndex(index, FileFailed);
        files.SetStateImage(index, NoBoxStateImage);
        files.SetSubItem(index, 1, "Not available");
        files.SetSubItem(index, 2, "(Deleted)");
    }
}

TDownloadScheduler::TDownloadScheduler(TCheckListView* files, const std::array<TGauge*, SlotCount>& gauges,
                                       const std::array<TLed*, SlotCount>& leds, QObject* parent)
    : TReportReceiver(parent), FFiles(files)
{
    for (int s = 0; s < SlotCount; ++s) {
        FSlots[s].Gauge = gauges[s];
        FSlots[s].Led = leds[s];
    }
}

TDownloadScheduler::~TDownloadScheduler() { FStop.request_stop(); }

bool TDownloadScheduler::Start(const QByteArray& url, const QString& localPath, int index,
                               const TDownloadRequest& request)
{
    for (int s = 0; s < SlotCount; ++s) {
        TSlot& slot = FSlots[s];
        if (!slot.Led || slot.Led->LedEnabled() || slot.Running)
            continue;
        slot.Running = true;
        slot.ItemId = FFiles ? FFiles->ItemId(index) : 0;
        slot.IndexHint = index;
        slot.Path = localPath;
        // The slot reads as busy from now on, so it is never picked twice.
        slot.Led->SetLedEnabled(true);
        auto* engine = new TDownload(url, localPath, s, slot.ItemId, FStop.get_token(), request);
        connect(
            engine, &TDownload::HintChanged, this,
            [this, s](const TDownloadHint& hint) { Guarded(lcMain(), [&] { ApplyHint(s, hint); }); },
            Qt::QueuedConnection);
        connect(
            engine, &TDownload::Progress, this,
            [this, s](int32_t received, int32_t total) {
                Guarded(lcMain(), [&] { ApplyProgress(s, received, total); });
            },
            Qt::QueuedConnection);
        connect(
            engine, &TDownload::Finished, this,
            [this](const TDownloadOutcome& outcome) { Guarded(lcMain(), [&] { ApplyOutcome(outcome); }); },
            Qt::QueuedConnection);
        engine->start();
        return true;
    }
    return false;
}

bool TDownloadScheduler::Pending() const
{
    for (const TSlot& slot : FSlots)
        if (slot.Running)
            return true;
    return false;
}

bool TDownloadScheduler::PathInUse(const QString& path) const
{
    for (const TSlot& slot : FSlots)
        if (slot.Running && slot.Path == path)
            return true;
    return false;
}

void TDownloadScheduler::StopEngines()
{
    FStop.request_stop();
    FStop = std::stop_source();
}

void TDownloadScheduler::ApplyHint(int slot, const TDownloadHint& hint)
{
    if (TGauge* gauge = FSlots[slot].Gauge)
        gauge->SetHint(hint.Text);
}

void TDownloadScheduler::ApplyProgress(int slot, int32_t received, int32_t total)
{
    TGauge* gauge = FSlots[slot].Gauge;
    if (!gauge)
        return;
    // Without an announced length the bar stands at half way; twice a large count is capped so
    // that it cannot overflow.
    const int32_t maximum =
        total != 0 ? total : int32_t(qMin<int64_t>(int64_t(received) * 2, std::numeric_limits<int32_t>::max()));
    gauge->SetMaxValue(maximum);
    gauge->SetProgress(received);
}

void TDownloadScheduler::ApplyOutcome(const TDownloadOutcome& outcome)
{
    if (outcome.Slot < 0 || outcome.Slot >= SlotCount)
        return;
    const TSlot& slot = FSlots[outcome.Slot];
    int index = -1;
    if (FFiles) {
        // The state is written under the list lock, so the change does not move the user's
        // current file; someone else holding it makes the outcome wait, slot still lit.
        int expected = 0;
        if (!FFiles->Tag.compare_exchange_strong(expected, 1)) {
            QTimer::singleShot(LockRetryInterval, this,
                               [this, outcome] { Guarded(lcMain(), [&] { ApplyOutcome(outcome); }); });
            return;
        }
        index = FFiles->IndexOfItemId(outcome.ItemId, slot.IndexHint);
        if (index >= 0) {
            FFiles->SetImageIndex(index, outcome.State);
            FFiles->SetStateImage(index, NoBoxStateImage);
        }
        FFiles->Tag = 0;
    }
    if (index >= 0) {
        ApplyFileCheck(*FFiles, index, outcome.Check);
        // A failed item tells why as its hint.
        if (FFiles->ImageIndex(index) == FileFailed)
            FFiles->SetReason(index, outcome.Reason);
        // Whatever the window does with the item, the slot is released below.
        if (OnItemFinished)
            Guarded(lcMain(), [&] { OnItemFinished(index, outcome); });
    }
    ReleaseSlot(outcome.Slot);
}

void TDownloadScheduler::ReleaseSlot(int s)
{
    TSlot& slot = FSlots[s];
    slot.Running = false;
    slot.ItemId = 0;
    slot.IndexHint = -1;
    slot.Path.clear();
    if (slot.Led)
        slot.Led->SetLedEnabled(false);
    if (slot.Gauge) {
        slot.Gauge->SetProgress(0);
        slot.Gauge->SetHint(QStringLiteral("Not active"));
    }
}
