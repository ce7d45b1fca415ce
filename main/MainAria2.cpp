#include "main/MainAria2.h"

#include <QMenu>
#include <QThread>
#include <memory>

#include "core/TAria2Client.h"
#include "dialogs/UnitAria2.h"
#include "main/MainListExchange.h"
#include "main/UnitMain.h"
#include "platform/Guarded.h"
#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

namespace {
struct TSendResult {
    int Sent = 0;
    QStringList Errors;
};

void SendToAria2(TFormMain& w)
{
    if (w.Busy || !w.ListViewFile)
        return;
    QList<TAria2File> files;
    const QString directory = w.ComboBoxDownload->Text();
    for (int i = 0; i < w.ListViewFile->Count(); ++i) {
        if (!w.ListViewFile->Checked(i) || w.ListViewFile->ImageIndex(i) != FilePending)
            continue;
        const QByteArray address = w.ListViewFile->Caption(i);
        const TDownloadRequest request = w.RequestFor(address);
        files.append({address, directory, w.ListViewFile->SubItem(i, 1), request.Referer, request.UserAgent, {}});
    }
    if (files.isEmpty()) {
        w.ShowMessage(MsgKind::Information, QStringLiteral("No ticked file waits to be downloaded."));
        return;
    }
    TFormAria2 dialog(&w);
    const std::optional<TAria2Target> target = dialog.AskTarget();
    if (!target)
        return;
    // Each call waits for a daemon's answer: they run on a thread of their own, and the window
    // hears the outcome when it ends.
    auto result = std::make_shared<TSendResult>();
    QThread* sender = QThread::create([target = *target, files, result] {
        TAria2Pool pool(target.Urls, target.Secret);
        pool.OnDaemonFailed = [&](const QString& url, const QString& error) {
            result->Errors.append(QStringLiteral("%1: %2").arg(url, error));
        };
        for (const TAria2File& file : files) {
            const TAria2Pool::THanded handed = pool.Hand(file);
            if (!handed.Gid.isEmpty())
                ++result->Sent;
            else if (pool.AnyLeft())
                result->Errors.append(QStringLiteral("%1: %2").arg(QString::fromLatin1(file.Address), handed.Error));
        }
    });
    QObject::connect(sender, &QThread::finished, sender, &QObject::deleteLater);
    QObject::connect(sender, &QThread::finished, &w, [&w, result, count = int(files.size())] {
        Guarded(lcMain(), [&] {
            QString text = QStringLiteral("%1 of %2 files sent to aria2.").arg(result->Sent).arg(count);
            if (!result->Errors.isEmpty())
                text += QLatin1String("\n\n") + result->Errors.mid(0, 10).join(QLatin1Char('\n'));
            w.ShowMessage(result->Errors.isEmpty() ? MsgKind::Information : MsgKind::Warning, text);
        });
    });
    sender->start();
}
}  // namespace

void WireAria2(TFormMain& window)
{
    auto* action = new QAction(QStringLiteral("Send to aria2..."), window.File1);
    action->setObjectName(QStringLiteral("Sendtoaria21"));
    window.File1->insertAction(FirstSeparatorOf(window.File1), action);
    QObject::connect(action, &QAction::triggered, &window,
                     [&window] { Guarded(lcMain(), [&] { SendToAria2(window); }); });
}
