#include "core/DownloadNaming.h"

#include <QFile>

#include "download/DownloadTypes.h"
#include "rules/FileNaming.h"
#include "rules/ModernNaming.h"

std::optional<QByteArray> FreeNameIn(const QString& directory, const QByteArray& name, bool utf8,
                                     const TPathTaken& taken)
{
    if (!IsPlainFileName(name))
        return std::nullopt;  // never write outside the download directory
    const QString prefix = directory + QLatin1Char('/');
    const QByteArray free =
        FreeFileName(name, [&](const QByteArray& candidate) { return taken(prefix + NameOnDisk(candidate, utf8)); });
    if (free.isEmpty())
        return std::nullopt;
    return free;
}

QByteArray NameFromAnswer(const QString& directory, const QByteArray& name, const TDownloadOutcome& outcome,
                          const TPathTaken& taken)
{
    if (outcome.State != FileDownloaded || !outcome.Check.Found() || outcome.Check.Delete)
        return name;
    const QByteArray typed = ModernFinalName(name, outcome.ContentDisposition, outcome.ContentType, outcome.Head);
    if (typed == name || !IsPlainFileName(name) || !IsPlainFileName(typed))
        return name;
    const QString prefix = directory + QLatin1Char('/');
    const QByteArray free =
        FreeFileName(typed, [&](const QByteArray& candidate) { return taken(prefix + NameOnDisk(candidate, true)); });
    if (!free.isEmpty() && QFile::rename(prefix + NameOnDisk(name, true), prefix + NameOnDisk(free, true)))
        return free;
    return name;
}
