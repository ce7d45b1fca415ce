#include "main/TDownloadScheduler.h"

#include <limits>

#include "core/TTransferQueue.h"
#include "rules/TransferRules.h"
#include "download/TClassicEngine.h"
#include "download/TCurlEngine.h"
#include "platform/Guarded.h"
#include "widgets/TCheckListView.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

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
    : QObject(parent), FFiles(files), FClassic(new TClassicEngine(this)), FQueue(new TTransferQueue(FClassic, this))
{
    for (int s = 0; s < SlotCount; ++s) {
        FGauges[s] = gauges[s];
        FLeds[s] = leds[s];
    }
    connect(FQueue, &TTransferQueue::SlotChanged, this, [this](int s) { Guarded(lcMain(), [&] { ShowSlot(s); }); });
    FQueue->Apply = [this](const TDownloadOutcome& outcome) { return ApplyOutcome(outcome); };
    FQueue->Waits = [this](uint64_t id, const QString& text) { ShowWaiting(id, text); };
}

void TDownloadScheduler::UseEngine(bool modern, int hostConnections)
{
    if (FQueue->Running())
        return;
    if (!modern) {
        FQueue->SetEngine(FClassic);
        FQueue->SetStartPause(TTransferQueue::ClassicStartPause);
        FQueue->SetRetries(false);
        FQueue->SetHostLimit(0);
        return;
    }
    // The engine's own cap keeps its idle connections within the limit too, so a changed limit
    // takes a new engine.
    if (FCurl && FCurlHostConnections != hostConnections) {
        FQueue->SetEngine(FClassic);
        delete FCurl;
        FCurl = nullptr;
    }
    if (!FCurl) {
        FCurl = new TCurlEngine(hostConnections, this);
        FCurlHostConnections = hostConnections;
    }
    FQueue->SetEngine(FCurl);
    FQueue->SetStartPause(0);
    FQueue->SetRetries(true);
    FQueue->SetHostLimit(hostConnections);
}

const TTransferFacts* TDownloadScheduler::Facts(uint64_t itemId) const
{
    const auto found = FFacts.constFind(itemId);
    return found == FFacts.constEnd() ? nullptr : &*found;
}

void TDownloadScheduler::ShowWaiting(uint64_t id, const QString& text)
{
    const int index = FFiles ? FFiles->IndexOfItemId(id) : -1;
    if (index < 0)
        return;
    // Before the row changes: the session records the row with its facts.
    ++FFacts[id].Tries;
    FWaitingShown.insert(id);
    FFiles->SetSubItem(index, 2, text.toLatin1());
    FFiles->SetReason(index, text);
}

void TDownloadScheduler::ForgetWaiting(uint64_t id)
{
    if (!FWaitingShown.remove(id))
        return;
    const int index = FFiles ? FFiles->IndexOfItemId(id) : -1;
    if (index < 0)
        return;
    FFiles->SetSubItem(index, 2, QByteArray());
    FFiles->SetReason(index, QString());
}

TDownloadScheduler::~TDownloadScheduler() { FQueue->Stop(); }

bool TDownloadScheduler::Start(const QByteArray& url, const QString& localPath, int index,
                               const TDownloadRequest& request)
{
    TTransferJob job;
    job.ItemId = FFiles ? FFiles->ItemId(index) : 0;
    job.Address = url;
    job.Path = localPath;
    job.Request = request;
    return FQueue->StartNow(job);
}

bool TDownloadScheduler::Pending() const { return FQueue->Running(); }

bool TDownloadScheduler::PathInUse(const QString& path) const { return FQueue->PathInUse(path); }

void TDownloadScheduler::StopEngines() { FQueue->Stop(); }

void TDownloadScheduler::ShowSlot(int s)
{
    const TTransferSlot& slot = FQueue->Slot(s);
    if (TLed* led = FLeds[s])
        led->SetLedEnabled(slot.Running);
    TGauge* gauge = FGauges[s];
    if (!gauge)
        return;
    if (!slot.Running) {
        FShownHint[s].clear();
        FShownReports[s] = 0;
        gauge->SetProgress(0);
        gauge->SetHint(QStringLiteral("Not active"));
        return;
    }
    if (slot.Hint != FShownHint[s]) {
        FShownHint[s] = slot.Hint;
        gauge->SetHint(slot.Hint);
    }
    if (slot.Reports == FShownReports[s])
        return;
    FShownReports[s] = slot.Reports;
    const TGaugeValues values = GaugeValuesFor(slot.Received, slot.Total);
    gauge->SetMaxValue(values.Maximum);
    gauge->SetProgress(values.Position);
}

bool TDownloadScheduler::ApplyOutcome(const TDownloadOutcome& outcome)
{
    int index = -1;
    if (FFiles) {
        // Before the row changes: the session records the row with its facts.
        TTransferFacts& facts = FFacts[outcome.ItemId];
        ++facts.Tries;
        facts.ContentType = outcome.ContentType;
        facts.BytesReceived = outcome.State == FileDownloaded ? qMax<qint64>(outcome.Check.Size, 0) : outcome.PartBytes;
        if (outcome.Slot >= 0 && outcome.Slot < SlotCount && FQueue->Slot(outcome.Slot).Total > 0)
            facts.BytesTotal = FQueue->Slot(outcome.Slot).Total;
        // The state is written under the list lock, so the change does not move the user's
        // current file; someone else holding it makes the outcome wait, slot still lit.
        int expected = 0;
        if (!FFiles->Tag.compare_exchange_strong(expected, 1))
            return false;
        index = FFiles->IndexOfItemId(outcome.ItemId);
        if (index >= 0) {
            FFiles->SetImageIndex(index, outcome.State);
            FFiles->SetStateImage(index, NoBoxStateImage);
        }
        FFiles->Tag = 0;
    }
    if (index >= 0) {
        ForgetWaiting(outcome.ItemId);
        ApplyFileCheck(*FFiles, index, outcome.Check);
        // The Filename column names the file as it lies on disk: a name taken at the last moment
        // or a type's extension gave it another.
        if (!outcome.KeptName.isEmpty() && outcome.KeptName != FFiles->SubItem(index, 1))
            FFiles->SetSubItem(index, 1, outcome.KeptName);
        // A failed item tells why as its hint.
        if (FFiles->ImageIndex(index) == FileFailed)
            FFiles->SetReason(index, outcome.Reason);
        // Whatever the window does with the item, the slot is released after this.
        if (OnItemFinished)
            Guarded(lcMain(), [&] { OnItemFinished(index, outcome); });
    }
    return true;
}
