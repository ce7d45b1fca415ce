#include "core/THarvestDownload.h"

#include <QDateTime>

#include "core/DownloadNaming.h"
#include "core/THarvestLists.h"
#include "core/TSessionStore.h"
#include "core/TTransferQueue.h"
#include "download/TClassicEngine.h"
#include "download/TCurlEngine.h"
#include "platform/LocalFiles.h"
#include "rules/FailureReasons.h"
#include "rules/FileNaming.h"
#include "rules/ModernNaming.h"
#include "rules/ReferrerPolicy.h"
#include "rules/TransferRules.h"

TDownloadRequest THarvestDownload::RequestFor(const THarvestLists& lists, const QByteArray& address, bool modern)
{
    TDownloadRequest request;
    if (modern) {
        request.UserAgent = ModernUserAgent();
        request.RefererPage = lists.FoundOn(address);
        request.Referer = ReferrerFor(request.RefererPage, address);
        request.KeepSmallFiles = true;
    }
    return request;
}

THarvestDownload::THarvestDownload(THarvestLists& lists, const THarvestDownloadSettings& settings, QObject* parent)
    : QObject(parent), FLists(lists), FSettings(settings)
{
    if (settings.Modern)
        FEngine =
            new TCurlEngine(settings.HostConnections > 0 ? settings.HostConnections : DefaultHostConnections, this);
    else
        FEngine = new TClassicEngine(this);
    FQueue = new TTransferQueue(FEngine, this);
    FQueue->SetHostLimit(settings.HostConnections);
    FQueue->SetStartPause(settings.StartPauseMs);
    // The queue's retry policy, with the user's count of further tries.
    FQueue->SetRetries(settings.Retries > 0, settings.Retries + 1);
    FQueue->Waits = [this](uint64_t id, const QString& text) {
        const int row = FLists.Files().RowOf(id);
        if (row < 0)
            return;
        const int tries = ++FTries[id];
        FLists.Files().Update(row, [&](THarvestItem& changed) {
            changed.State = FilePending;
            changed.Tries = tries;
            changed.Reason = text;
        });
        emit FileWaits(id, text);
    };
    FQueue->Feed = [this] {
        THarvestModel& files = FLists.Files();
        while (FNext < files.Count()) {
            const int row = FNext++;
            if (files.Checked(row) && files.Item(row).State == FilePending) {
                FQueue->Enqueue(files.Item(row).Id, files.Item(row).Address);
                return true;
            }
        }
        return false;
    };
    FQueue->Prepare = [this](uint64_t id) { return Prepare(id); };
    FQueue->Unprepare = [this](uint64_t id) {
        const int row = FLists.Files().RowOf(id);
        if (row >= 0)
            FLists.Files().Update(row, [](THarvestItem& item) { item.State = FilePending; });
    };
    FQueue->Apply = [this](const TDownloadOutcome& outcome) { return Apply(outcome); };
    connect(FQueue, &TTransferQueue::Drained, this, &THarvestDownload::Finished);
}

THarvestDownload::~THarvestDownload() { FQueue->Stop(); }

void THarvestDownload::Start()
{
    FNext = 0;
    FTries.clear();
    FThere.clear();
    if (FSettings.Modern) {
        // Modern items skip only files that were there before the run: a name that another item
        // of the same harvest holds by now is renamed instead.
        const THarvestModel& files = FLists.Files();
        for (int i = 0; i < files.Count(); ++i)
            if (const QString path = LocalFilePath(FSettings.Directory, files.Item(i).FileName, true);
                !path.isEmpty() && EntryExists(path))
                FThere.insert(path);
    }
    FQueue->Run();
}

void THarvestDownload::Stop() { FQueue->Stop(); }

bool THarvestDownload::PathTaken(const QString& path) const { return EntryExists(path) || FQueue->PathInUse(path); }

void THarvestDownload::End(int row, int state, const QString& reason)
{
    THarvestModel& files = FLists.Files();
    files.Update(row, [&](THarvestItem& item) {
        item.State = state;
        item.Reason = reason;
    });
    files.SetStateImage(row, NoBoxStateImage);
    (state == FileDownloaded ? FDownloaded : state == FileSkipped ? FSkipped : FFailed)++;
    emit FileEnded(files.Item(row).Id);
}

std::optional<TTransferJob> THarvestDownload::Prepare(uint64_t id)
{
    THarvestModel& files = FLists.Files();
    const int row = files.RowOf(id);
    if (row < 0)
        return std::nullopt;
    const THarvestItem item = files.Item(row);
    if (FSettings.History) {
        if (const std::optional<QString> why = SkipReason(FSettings.History->History(), item.Address, {})) {
            End(row, FileSkipped, *why);
            return std::nullopt;
        }
    }
    const bool modern = FSettings.Modern;
    const QString path = LocalFilePath(FSettings.Directory, item.FileName, modern);
    if (FSettings.SkipExisting && (modern ? FThere.contains(path) : PathTaken(path))) {
        End(row, FileSkipped, QStringLiteral("Exists in the download directory"));
        return std::nullopt;
    }
    const std::optional<QByteArray> name =
        FreeNameIn(FSettings.Directory, item.FileName, modern, [this](const QString& p) { return PathTaken(p); });
    if (!name) {
        End(row, FileFailed, NoFreeNameReason(item.FileName));
        return std::nullopt;
    }
    files.Update(row, [&](THarvestItem& changed) {
        changed.FileName = *name;
        changed.State = FileDownloading;
    });
    TTransferJob job;
    job.ItemId = id;
    job.Address = item.Address;
    job.Path = LocalFilePath(FSettings.Directory, *name, modern);
    job.Request = RequestFor(FLists, item.Address, modern);
    return job;
}

bool THarvestDownload::Apply(const TDownloadOutcome& outcome)
{
    THarvestModel& files = FLists.Files();
    const int row = files.RowOf(outcome.ItemId);
    if (row < 0)
        return true;
    // The tries before this one waited through the queue's Waits.
    const int tries = FTries.value(outcome.ItemId) + 1;
    const THarvestItem item = files.Item(row);
    const QString path = LocalFilePath(FSettings.Directory, item.FileName, FSettings.Modern);
    files.Update(row, [&](THarvestItem& changed) {
        changed.Tries = tries;
        changed.ContentType = outcome.ContentType;
        changed.BytesReceived = outcome.Check.Found() ? outcome.Check.Size : 0;
        if (outcome.Check.Found())
            changed.SizeText = QByteArray::number(outcome.Check.Size);
    });
    if (outcome.State != FileDownloaded || outcome.Check.Delete) {
        QString reason = outcome.Reason.isEmpty() && outcome.Check.Delete ? TooSmallReason() : outcome.Reason;
        End(row, FileFailed, reason);
        return true;
    }
    if (FSettings.MinBytes > 0 && outcome.Check.Found() && outcome.Check.Size < FSettings.MinBytes) {
        RemoveInside(FSettings.Directory, path);
        End(row, FileSkipped, QStringLiteral("Smaller than %1 bytes").arg(FSettings.MinBytes));
        return true;
    }
    if (FSettings.Modern) {
        const QByteArray name = NameFromAnswer(FSettings.Directory, item.FileName, outcome,
                                               [this](const QString& p) { return PathTaken(p); });
        if (name != item.FileName)
            files.Update(row, [&](THarvestItem& changed) { changed.FileName = name; });
    }
    Remember(row);
    End(row, FileDownloaded, QString());
    return true;
}

void THarvestDownload::Remember(int row)
{
    if (!FSettings.History)
        return;
    const THarvestItem& item = FLists.Files().Item(row);
    const QString path = LocalFilePath(FSettings.Directory, item.FileName, FSettings.Modern);
    THistoryEntry entry;
    entry.Address = item.Address;
    entry.Size = item.BytesReceived;
    entry.Sha256 = FileSha256(path);
    entry.FileName = item.FileName;
    entry.FinishedMs = QDateTime::currentMSecsSinceEpoch();
    FSettings.History->AddHistory(entry);
}
