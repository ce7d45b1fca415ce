#include "download/DownloadTypes.h"

#include <QFileInfo>

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
