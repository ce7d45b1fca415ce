#include "download/DownloadTypes.h"

#include <QFile>
#include <QFileInfo>

#include "platform/PartFiles.h"
#include "rules/ModernNaming.h"

TFileCheck CheckFileRule(bool failed, qint64 size)
{
    TFileCheck check;
    check.Size = size < 0 ? -1 : size;
    check.Delete = check.Found() && (failed || size < MinimumFileSize);
    return check;
}

qint64 FileSizeAt(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir() ? info.size() : -1;
}

TFileCheck SettlePartFile(const QString& partPath, const QString& finalPath, qint64 size, bool failed,
                          const TDownloadRequest& request, int statusCode, const QByteArray& contentType,
                          QString* keepFailure, QByteArray* head)
{
    TFileCheck check = CheckFileRule(failed, size);
    if (request.KeepSmallFiles && check.Found())
        check.Delete = DiscardDownload(size, failed, true, statusCode, contentType);
    if (check.Delete) {
        QFile::remove(partPath);
    } else if (check.Found() && !KeepPartFile(partPath, finalPath, keepFailure)) {
        QFile::remove(partPath);
        check.Delete = true;
    } else if (check.Found() && request.KeepSmallFiles) {
        QFile kept(finalPath);
        if (kept.open(QIODevice::ReadOnly))
            *head = kept.read(SniffBytes);
    }
    return check;
}
