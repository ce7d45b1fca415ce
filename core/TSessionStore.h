#pragma once
// The harvest's session on disk: both lists with every item field, the main document, the
// transfer queue and the download history, in one SQLite database in the per-user data
// directory. Changes are handed over as they happen and cost the caller a map update; a writer
// thread of the store's own commits them at least once a second in one transaction (write-ahead
// log), so a killed program loses at most the last second and never leaves a damaged file.
// A file that cannot be read as our session (damaged, foreign, newer) is renamed, never
// overwritten.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "core/DownloadHistory.h"
#include "core/HarvestItem.h"

struct sqlite3;

enum class TSessionList : int { Documents = 0, Files = 1 };

struct TSessionData {
    QList<THarvestItem> Documents;
    QList<THarvestItem> Files;
    QByteArray MainDocument;
    QList<uint64_t> Queue;  // file item ids in the order they are to be fetched
};

// At start, what was under way when the program ended waits again: a file being downloaded is
// pending (its BytesReceived says how much its part file holds), a page being scanned is pending.
void ResumeInterrupted(TSessionData& session);

struct TSessionOpenOutcome {
    bool Opened = false;
    QString SetAsidePath;  // where an unreadable file was moved; empty when none was
    QString Message;       // what to tell the user; empty when nothing went wrong
};

// Everything handed over and not yet written. Later changes replace earlier ones of the same item.
struct TSessionBatch {
    struct TListChanges {
        bool Cleared = false;
        QHash<uint64_t, THarvestItem> Puts;
        QSet<uint64_t> Removes;
        std::optional<QList<uint64_t>> Order;
    };
    TListChanges Lists[2];
    std::optional<QByteArray> MainDocument;
    std::optional<QList<uint64_t>> Queue;
    bool HistoryForgotten = false;
    QList<THistoryEntry> History;

    bool IsEmpty() const;
    // Takes `newer`'s changes on top of these.
    void Absorb(TSessionBatch&& newer);
};

class TSessionStore {
public:
    // 1: lists, main document and queue; 2: the download history.
    static constexpr int SchemaVersion = 2;
    static constexpr std::chrono::milliseconds CommitInterval{1000};

    // "session/Kelvorn.session" in the per-user data directory.
    static QString DefaultPath();

    explicit TSessionStore(QString path);
    // Writes what is pending, then stops the writer.
    ~TSessionStore();
    TSessionStore(const TSessionStore&) = delete;
    TSessionStore& operator=(const TSessionStore&) = delete;

    // Opens the file (creating or upgrading it) and reads the last session and the history.
    // A file that cannot be read as a session is set aside and a new one begun.
    TSessionOpenOutcome Open(TSessionData* session);
    QString Path() const { return FPath; }

    // The history as read at Open plus what was added since (caller's thread only).
    const THistoryIndex& History() const { return FHistory; }

    // Changes: recorded at once, written within CommitInterval.
    void PutItem(TSessionList list, const THarvestItem& item);
    void RemoveItem(TSessionList list, uint64_t id);
    void ClearList(TSessionList list);
    // The list's item ids from top to bottom (after inserts, deletes and sorting).
    void SetOrder(TSessionList list, const QList<uint64_t>& ids);
    void SetMainDocument(const QByteArray& address);
    void SetQueue(const QList<uint64_t>& ids);
    // Both lists, their order, the main document and the queue replaced by `session`.
    void ReplaceAll(const TSessionData& session);
    void AddHistory(const THistoryEntry& entry);
    void ForgetHistory();

    // Brings the schema of an open database up to `targetVersion`, step by step.
    static bool Migrate(sqlite3* db, int targetVersion, QString& failure);

    // Returns once everything handed over so far is on disk; false when writing failed.
    bool Flush();
    // The last write failure, in words; empty when the last write went well.
    QString LastError() const;

private:
    bool OpenFile(QString& failure, bool& unreadable);
    bool ReadAll(TSessionData* session, QString& failure);
    void SetAside(const QString& why, TSessionOpenOutcome& outcome);
    void CloseFile();
    void StartWriter();
    void WriterLoop();
    bool WriteBatch(const TSessionBatch& batch, QString& failure);
    template <typename Change>
    void Record(Change&& change);

    QString FPath;
    sqlite3* FDb = nullptr;  // used by Open on the caller's thread, then by the writer only
    THistoryIndex FHistory;

    mutable std::mutex FMutex;
    std::condition_variable FWake;     // the writer: something to do
    std::condition_variable FWritten;  // Flush: a batch went to disk
    TSessionBatch FPending;
    uint64_t FHandedOver = 0;  // changes recorded so far (a Flush counts as one)
    uint64_t FAttempted = 0;   // changes the writer has tried to write
    uint64_t FFlushWanted = 0;
    bool FStopping = false;
    QString FLastError;
    std::thread FWriter;
};
