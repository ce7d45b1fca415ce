#include "main/MainHistory.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QMenu>
#include <QPointer>
#include <QThreadPool>

#include "core/DownloadHistory.h"
#include "main/TSessionRecorder.h"
#include "main/UnitMain.h"
#include "platform/Guarded.h"
#include "download/DownloadTypes.h"
#include "platform/LocalFiles.h"
#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

namespace {
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
    if (!StoreOf(window) || path.isEmpty())
        return;
    // Hashing a large file takes a while: never on the window's thread. The answer goes to the
    // application's thread, which looks at the window only there: it is dropped when the window
    // has gone meanwhile.
    QPointer<TFormMain> target(&window);
    QThreadPool::globalInstance()->start([target, itemId, path] {
        const qint64 size = FileSizeAt(path);
        const QByteArray sha256 = FileSha256(path);
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [target, itemId, path, size, sha256] {
                    if (target)
                        Guarded(lcMain(), [&] { Hashed(*target, itemId, path, size, sha256); });
                },
                Qt::QueuedConnection);
    });
}
