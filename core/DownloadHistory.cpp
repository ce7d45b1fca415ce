#include "core/DownloadHistory.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>

void THistoryIndex::Add(const THistoryEntry& entry)
{
    const qsizetype at = FEntries.size();
    FEntries.append(entry);
    if (!entry.Address.isEmpty())
        FByAddress.insert(entry.Address, at);
    if (!entry.Sha256.isEmpty())
        FBySha256.insert(entry.Sha256, at);
}

void THistoryIndex::Clear()
{
    FEntries.clear();
    FByAddress.clear();
    FBySha256.clear();
}

const THistoryEntry* THistoryIndex::FindAddress(const QByteArray& address) const
{
    const auto it = FByAddress.constFind(address);
    return it == FByAddress.cend() ? nullptr : &FEntries[*it];
}

const THistoryEntry* THistoryIndex::FindSha256(const QByteArray& sha256) const
{
    if (sha256.isEmpty())
        return nullptr;
    const auto it = FBySha256.constFind(sha256);
    return it == FBySha256.cend() ? nullptr : &FEntries[*it];
}

QByteArray FileSha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result();
}

QString DownloadedBeforeText(const THistoryEntry& entry)
{
    const QString date = QDateTime::fromMSecsSinceEpoch(entry.FinishedMs).toString(QStringLiteral("yyyy-MM-dd"));
    return QStringLiteral("Downloaded before on %1 as %2").arg(date, QString::fromUtf8(entry.FileName));
}

std::optional<QString> SkipReason(const THistoryIndex& history, const QByteArray& address, const QByteArray& sha256)
{
    const THistoryEntry* found = history.FindAddress(address);
    if (!found)
        found = history.FindSha256(sha256);
    if (!found)
        return std::nullopt;
    return DownloadedBeforeText(*found);
}
