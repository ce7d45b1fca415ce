// Download files: walking the file list, engine slots, local file names, the finished-file check.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QToolButton>

#include "core/TTransferQueue.h"
#include "download/DownloadTypes.h"
#include "main/MainHistory.h"
#include "main/TDownloadScheduler.h"
#include "platform/LocalFiles.h"
#include "main/UnitMain.h"
#include "rules/FailureReasons.h"
#include "rules/FileNaming.h"
#include "rules/ModernNaming.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

namespace {
bool FileExistsAt(const QString& path) { return FileSizeAt(path) >= 0; }
}  // namespace

void TFormMain::WireDownload()
{
    Downloads = new TDownloadScheduler(ListViewFile, Gauges, LedEngines, this);
    Downloads->OnItemFinished = [this](int index, const TDownloadOutcome& outcome) {
        if (outcome.State == FileDownloaded && !outcome.Check.Delete)
            RememberDownload(*this, outcome.ItemId, LocalPath(index));
        if (Letpreviewjumptolatestfiledownloaded1 && Letpreviewjumptolatestfiledownloaded1->isChecked()) {
            CurrentFileIndex = index;
            ListViewFileClick();
        }
    };
    if (!ButtonDownload)
        return;
    connect(ButtonDownload, &QAbstractButton::clicked, this, [this] {
        try {
            ButtonDownloadClick();
        } catch (...) {
        }
    });
}

bool TFormMain::PathTaken(const QString& path) const
{
    // Anything at the path takes the name: a directory, or a symbolic link even when it points
    // nowhere (a download must never write through one); so does a path handed to an engine
    // that may not have made its file yet.
    return EntryExists(path) || (Downloads && Downloads->PathInUse(path));
}

QString TFormMain::LocalPath(int index) const
{
    // Empty for a Filename column that is no plain name: nothing outside the directory is used.
    return LocalFilePath(ComboBoxDownload->Text(), ListViewFile->SubItem(index, 1),
                         Findlinksasabrowserdoesmodernpages1->isChecked());
}

void TFormMain::ButtonDownloadClick()
{
    // A second run started from inside the first one's event processing would walk the list
    // twice; the running one already does the work.
    const TCommandGuard run(FCommands, TCommand::Download);
    if (!run)
        return;

    ButtonStopClick();
    // Stop, pressed while engines run, would enable the directory field again; it stays
    // disabled until the last engine has finished, since engines find their files through it.
    const auto keepFieldDisabled = [this] {
        ComboBoxDownload->setEnabled(false);
        if (SpeedButton1)
            SpeedButton1->setEnabled(false);
    };
    keepFieldDisabled();
    Busy = true;
    StopRequested = false;
    UpdateScreen();
    keepFieldDisabled();
    SetStatusText(QStringLiteral("Status: File download"));
    ProcessMessages();
    keepFieldDisabled();

    // Modern items skip only files that were there before this command: a name that another item
    // of the same harvest holds by now is renamed instead.
    const bool modern = Findlinksasabrowserdoesmodernpages1->isChecked();
    const QSet<QString> there = modern ? PresentFilePaths() : QSet<QString>();
    // The queue walks the file list from the top as slots free up: each ticked pending item is
    // taken when the walk reaches it, skipped or named then, and started in the first free slot.
    const int count = ListViewFile->Count();  // items added during the run wait for the next one
    int next = 0;
    QHash<uint64_t, QByteArray> names;  // the names of taken items before they were made free
    TTransferQueue& queue = Downloads->Queue();
    queue.Feed = [&] {
        while (!StopRequested && next < count && next < ListViewFile->Count()) {
            const int i = next++;
            if (ListViewFile->Checked(i) && ListViewFile->ImageIndex(i) == FilePending) {
                queue.Enqueue(ListViewFile->ItemId(i), ListViewFile->Caption(i));
                return true;
            }
        }
        return false;
    };
    queue.Prepare = [&](uint64_t id) { return TakeFile(id, names, modern ? &there : nullptr); };
    queue.Unprepare = [&](uint64_t id) {
        // Stopped before an engine took it: the item is pending again, ticked and under its own
        // name, as before the command took it.
        Downloads->ForgetWaiting(id);
        const int at = ListViewFile->IndexOfItemId(id);
        if (at >= 0 && ListViewFile->ImageIndex(at) == FileDownloading) {
            ListViewFile->SetSubItem(at, 1, names.value(id));
            ListViewFile->SetStateImage(at, 0);
            ListViewFile->SetImageIndex(at, FilePending);
            ListViewFile->SetChecked(at, true);
        }
    };
    // Modern: the curl engine, kept-alive connections, retries and per-host manners.
    Downloads->UseEngine(modern, HarvestOptions->HostConnections());
    queue.Run();
    // Every engine's last change is its slot going free, so this wait wakes up for it.
    while (queue.Active()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        keepFieldDisabled();
    }
    queue.Feed = nullptr;
    queue.Prepare = nullptr;
    queue.Unprepare = nullptr;

    StopRequested = false;
    Busy = false;
    UpdateScreen();
    if (Beepwhendoneworking1 && Beepwhendoneworking1->isChecked())
        Beep();
    ComboBoxDownload->setEnabled(true);
    if (SpeedButton1)
        SpeedButton1->setEnabled(true);
}

std::optional<TTransferJob> TFormMain::TakeFile(uint64_t id, QHash<uint64_t, QByteArray>& names,
                                                const QSet<QString>* there)
{
    const int i = ListViewFile->IndexOfItemId(id);
    if (i < 0)
        return std::nullopt;
    if (const std::optional<QString> why = DownloadedBefore(*this, ListViewFile->Caption(i))) {
        MarkFileSkipped(*ListViewFile, i, *why);
        return std::nullopt;
    }
    if (Skipfileifexistindownloaddirectory1->isChecked()
        && (there ? there->contains(LocalPath(i)) : PathTaken(LocalPath(i)))) {
        MarkFileSkipped(*ListViewFile, i);
        return std::nullopt;
    }
    const QByteArray name = ListViewFile->SubItem(i, 1);
    ListViewFile->SetImageIndex(i, FileDownloading);
    ListViewFile->SetStateImage(i, NoBoxStateImage);
    if (!CheckFileName(i)) {
        ListViewFile->SetImageIndex(i, FileFailed);
        ListViewFile->SetReason(i, NoFreeNameReason(name));
        return std::nullopt;
    }
    names.insert(id, name);
    TTransferJob job;
    job.ItemId = id;
    job.Address = ListViewFile->Caption(i);
    job.Path = LocalPath(i);
    job.Request = RequestFor(job.Address);
    return job;
}

TDownloadRequest TFormMain::RequestFor(const QByteArray& url) const
{
    TDownloadRequest request;
    if (Findlinksasabrowserdoesmodernpages1->isChecked()) {
        request.UserAgent = ModernUserAgent();
        request.Referer = ReferrerOf(url);
        request.RefererPage = FReferrers.value(url);
        request.KeepSmallFiles = true;
        request.TypeExtension = true;
    }
    return request;
}

bool TFormMain::StartDownload(const QByteArray& url, const QString& localPath, int itemIndex)
{
    return Downloads->Start(url, localPath, itemIndex, RequestFor(url));
}

QSet<QString> TFormMain::PresentFilePaths() const
{
    QSet<QString> paths;
    for (int i = 0; i < ListViewFile->Count(); ++i)
        if (const QString path = LocalPath(i); !path.isEmpty() && EntryExists(path))
            paths.insert(path);
    return paths;
}

bool TFormMain::ActiveConnection()
{
    for (TLed* led : LedEngines)
        if (led && led->LedEnabled())
            return true;
    return false;
}

bool TFormMain::CheckFileName(int index)
{
    // A list file may bring names made before control characters were replaced.
    const QByteArray name = WithoutControlBytes(ListViewFile->SubItem(index, 1));
    if (!IsPlainFileName(name))
        return false;  // never write outside the download directory
    const QString directory = ComboBoxDownload->Text() + QLatin1Char('/');
    const bool utf8 = Findlinksasabrowserdoesmodernpages1->isChecked();
    const QByteArray free = FreeFileName(name, [this, &directory, utf8](const QByteArray& candidate) {
        return PathTaken(directory + NameOnDisk(candidate, utf8));
    });
    if (free.isEmpty())
        return false;
    ListViewFile->SetSubItem(index, 1, free);
    return true;
}

void TFormMain::CheckFile(int index)
{
    if (index == -1)
        return;
    ProcessMessages();
    if (index < 0 || index >= ListViewFile->Count())
        return;
    const QString path = LocalPath(index);
    const TFileCheck check = CheckFileRule(ListViewFile->ImageIndex(index) == FileFailed, FileSizeAt(path));
    if (check.Delete)
        RemoveInside(ComboBoxDownload->Text(), path);
    ApplyFileCheck(*ListViewFile, index, check);
}

void TFormMain::UpdateIconsInfileList()
{
    for (int i = 0; i < ListViewFile->Count(); ++i) {
        if (FileExistsAt(LocalPath(i))) {
            ListViewFile->SetImageIndex(i, FileSkipped);
            ListViewFile->SetStateImage(i, NoBoxStateImage);
        }
    }
}
