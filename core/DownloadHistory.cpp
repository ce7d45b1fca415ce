#include "core/DownloadHistory.h"

#include <openssl/evp.h>

#include <QDateTime>
#include <QFile>
#include <memory>

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
    // OpenSSL's digest uses the processor's SHA instructions: every file Download files brings
    // home is hashed, and Qt's portable one took longer than the download itself.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        if (EVP_DigestUpdate(context.get(), chunk.constData(), size_t(n)) != 1)
            return {};
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &size) != 1)
        return {};
    digest.truncate(int(size));
    return digest;
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
