#include "main/MainHistory.h"

#include <QAction>
#include <QDateTime>
#include <QMenu>

#include "core/DownloadHistory.h"
#include "main/TFileHasher.h"
#include "main/TSessionRecorder.h"
#include "main/UnitMain.h"
#include "platform/Guarded.h"
#include "platform/LocalFiles.h"
#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

namespace {
const QString HasherName = QStringLiteral("FileHasher");

TSessionStore* StoreOf(const TFormMain& window) { return window.Session() ? &window.Session()->Store() : nullptr; }

bool SkippingDownloadedBefore(const TFormMain& window)
{
    return window.Skipfilesdownloadedbefore1 && window.Skipfilesdownloadedbefore1->isChecked();
}

// The hash of a downloaded file has come back to the window's thread.
void Hashed(TFormMain& window, uint64_t itemId, const QString& path, qint64 size, const QByteArray& sha256)
{
    TSessionStore* store = StoreOf(window);
    const int index = window.ListViewFile->IndexOfItemId(itemId);
    if (!store || index < 0 || sha256.isEmpty())
        return;
    const QByteArray address = window.ListViewFile->Caption(index);
    if (SkippingDownloadedBefore(window) && window.ListViewFile->ImageIndex(index) == FileDownloaded) {
        if (const std::optional<QString> why = SkipReason(store->History(), address, sha256)) {
            // A copy of a file the user has already: the new one goes again.
            RemoveInside(window.ComboBoxDownload->Text(), path);
            MarkFileSkipped(*window.ListViewFile, index, *why);
            return;
        }
    }
    THistoryEntry entry;
    entry.Address = address;
    entry.Size = size;
    entry.Sha256 = sha256;
    entry.FileName = window.ListViewFile->SubItem(index, 1);
    entry.FinishedMs = QDateTime::currentMSecsSinceEpoch();
    store->AddHistory(entry);
}
}  // namespace

void MarkFileSkipped(TCheckListView& files, int index, const QString& reason)
{
    files.SetImageIndex(index, FileSkipped);
    files.SetStateImage(index, NoBoxStateImage);
    files.SetSubItem(index, 2, "(Skipped)");
    if (!reason.isEmpty())
        files.SetReason(index, reason);
}

void WireHistory(TFormMain& window)
{
    auto* forget = new QAction(QStringLiteral("Forget download history"), window.Options1);
    forget->setObjectName(QStringLiteral("Forgetdownloadhistory1"));
    // Right below the option it belongs to.
    const QList<QAction*> items = window.Options1->actions();
    const qsizetype option = items.indexOf(window.Skipfilesdownloadedbefore1);
    window.Options1->insertAction(option >= 0 && option + 1 < items.size() ? items[option + 1] : nullptr, forget);
    window.Forgetdownloadhistory1 = forget;
    (new TFileHasher(&window))->setObjectName(HasherName);
    QObject::connect(forget, &QAction::triggered, &window, [&window] {
        Guarded(lcMain(), [&] {
            TSessionStore* store = StoreOf(window);
            if (!store)
                return;
            const int count = store->History().Count();
            if (window.ShowMessage(MsgKind::Confirm,
                                   QStringLiteral("Forget the download history (%1 files)?").arg(count))
                != mrYes)
                return;
            store->ForgetHistory();
        });
    });
}

std::optional<QString> DownloadedBefore(const TFormMain& window, const QByteArray& address)
{
    const TSessionStore* store = StoreOf(window);
    if (!store || !SkippingDownloadedBefore(window))
        return std::nullopt;
    return SkipReason(store->History(), address, {});
}

void RememberDownload(TFormMain& window, uint64_t itemId, const QString& path)
{
    auto* hasher = static_cast<TFileHasher*>(window.findChild<QObject*>(HasherName, Qt::FindDirectChildrenOnly));
    if (!StoreOf(window) || path.isEmpty() || !hasher)
        return;
    // Hashing a large file takes a while: never on the window's thread. The hasher is the
    // window's, so its answers end with the window.
    hasher->Hash(path, [&window, itemId, path](qint64 size, const QByteArray& sha256) {
        Guarded(lcMain(), [&] { Hashed(window, itemId, path, size, sha256); });
    });
}
