#pragma once
// The download history: what was fetched before, looked up by address and by content, and the
// rule of the option "Skip files downloaded before". No database here: the session store keeps
// the entries on disk and an index like this one in memory, so a look-up never waits for a disk.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

struct THistoryEntry {
    QByteArray Address;
    qint64 Size = -1;
    QByteArray Sha256;  // the 32 raw bytes of the file's SHA-256
    QByteArray FileName;
    qint64 FinishedMs = 0;  // epoch milliseconds
    bool operator==(const THistoryEntry&) const = default;
};

class THistoryIndex {
public:
    // A later entry for the same address or content replaces the earlier one in the look-ups.
    void Add(const THistoryEntry& entry);
    void Clear();
    int Count() const { return FEntries.size(); }
    const QList<THistoryEntry>& Entries() const { return FEntries; }
    const THistoryEntry* FindAddress(const QByteArray& address) const;
    const THistoryEntry* FindSha256(const QByteArray& sha256) const;

private:
    QList<THistoryEntry> FEntries;
    QHash<QByteArray, qsizetype> FByAddress;
    QHash<QByteArray, qsizetype> FBySha256;
};

// The SHA-256 of a file's content (32 raw bytes); empty when it cannot be read. Reads the whole
// file: call it off the window's thread.
QByteArray FileSha256(const QString& path);

// "Downloaded before on DATE as NAME", DATE the entry's local date as yyyy-MM-dd.
QString DownloadedBeforeText(const THistoryEntry& entry);

// The skip reason of a file, or nothing when it is not in the history. Before its content is
// known pass an empty `sha256`: only the address is looked up then.
std::optional<QString> SkipReason(const THistoryIndex& history, const QByteArray& address, const QByteArray& sha256);
