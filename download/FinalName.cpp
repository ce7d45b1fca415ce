#include "download/FinalName.h"

#include <QFile>
#include <QFileInfo>

#include "rules/FailureReasons.h"
#include "rules/FileNaming.h"
#include "rules/ModernNaming.h"

namespace {
// The name a kept file takes, as its Filename column holds it.
QByteArray KeptFileName(const QString& partPath, const QString& finalPath, const TDownloadRequest& request,
                        TDownloadOutcome& outcome)
{
    const QString asked = QFileInfo(finalPath).fileName();
    if (!request.TypeExtension)
        return asked.toLatin1();
    // A modern item takes the name the answer gives or the extension its type or first bytes
    // show; the first bytes are read here, off the window's thread.
    const QByteArray listed = asked.toUtf8();
    QFile head(partPath);
    if (head.open(QIODevice::ReadOnly))
        outcome.Head = head.read(SniffBytes);
    const QByteArray named =
        WithoutControlBytes(ModernFinalName(listed, outcome.ContentDisposition, outcome.ContentType, outcome.Head));
    return IsPlainFileName(named) ? named : listed;
}
}  // namespace

TKeptFile KeepDownload(const QString& partPath, const QString& directory, const QByteArray& name, bool utf8)
{
    TKeptFile kept;
    kept.Claim = TClaim::Taken;
    if (!IsPlainFileName(name))
        return kept;
    const QString folder = directory + QLatin1Char('/');
    bool failed = false;
    // Each candidate is tried by the claim itself, so a name taken between look and move is
    // never replaced: the claim fails, and the next name is tried.
    const QByteArray used = FreeFileName(name, [&](const QByteArray& candidate) {
        const QString path = folder + NameOnDisk(candidate, utf8);
        const TClaim claim = ClaimFinalName(partPath, path, &kept.Error);
        failed = claim == TClaim::Failed;
        if (claim == TClaim::Done)
            kept.Path = path;
        return claim == TClaim::Taken;
    });
    if (failed)
        kept.Claim = TClaim::Failed;
    else if (!used.isEmpty()) {
        kept.Claim = TClaim::Done;
        kept.Name = used;
    }
    return kept;
}

QString SettlePartFile(const QString& partPath, const QString& finalPath, qint64 size, bool failed,
                       const TDownloadRequest& request, TDownloadOutcome& outcome)
{
    TFileCheck& check = outcome.Check;
    check = CheckFileRule(failed, size);
    if (request.KeepSmallFiles && check.Found())
        check.Delete = DiscardDownload(size, failed, true, outcome.StatusCode, outcome.ContentType);
    if (!check.Found() || check.Delete) {
        QFile::remove(partPath);  // ours: made by the engine, never another program's
        return {};
    }
    UnmarkPartFile(partPath);
    const TKeptFile kept = KeepDownload(partPath, QFileInfo(finalPath).path(),
                                        KeptFileName(partPath, finalPath, request, outcome), request.TypeExtension);
    if (kept.Claim == TClaim::Done) {
        outcome.Path = kept.Path;
        outcome.KeptName = kept.Name;
        return {};
    }
    QFile::remove(partPath);
    check.Delete = true;
    return kept.Claim == TClaim::Taken ? NoFreeNameReason(QFileInfo(finalPath).fileName().toLatin1())
                                       : WriteFailureReason(finalPath, kept.Error);
}
