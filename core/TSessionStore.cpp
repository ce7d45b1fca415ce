#include "core/TSessionStore.h"

#include "platform/ProgramDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
#include <sqlite3.h>

#include <algorithm>

#include "core/TSqlite.h"

namespace {

// "KLVS" in the file's header: a database of another program is never taken for a session.
constexpr int ApplicationId = 0x4B4C5653;
// Another Kelvorn may hold the write lock for a moment; wait rather than fail at once.
constexpr int BusyTimeoutMs = 5000;

const char ItemColumns[] = "address BLOB, checked INTEGER NOT NULL, state INTEGER NOT NULL,"
                           " file_name BLOB, size_text BLOB, reason TEXT, referrer BLOB, content_type BLOB,"
                           " bytes_received INTEGER, bytes_total INTEGER, tries INTEGER, wait_until_ms INTEGER,"
                           " pixel_width INTEGER, pixel_height INTEGER";

// The steps from one schema version to the next; step N leads from version N to N + 1. A step
// is never changed once released: a new field is a new step.
QList<QByteArray> MigrationSteps()
{
    return {
        QByteArray("CREATE TABLE meta(key TEXT PRIMARY KEY, value BLOB);"
                   "CREATE TABLE document(id INTEGER PRIMARY KEY, ")
            + ItemColumns + ");CREATE TABLE file(id INTEGER PRIMARY KEY, " + ItemColumns + ");",
        QByteArray("CREATE TABLE history(id INTEGER PRIMARY KEY, address BLOB, size INTEGER,"
                   " sha256 BLOB, file_name BLOB, finished_ms INTEGER);"),
    };
}

const char* const ItemTables[2] = {"document", "file"};
const char* const OrderKeys[2] = {"document_order", "file_order"};
const char QueueKey[] = "queue";
const char MainDocumentKey[] = "main_document";

QByteArray PackIds(const QList<uint64_t>& ids)
{
    QByteArray packed(ids.size() * qsizetype(sizeof(uint64_t)), Qt::Uninitialized);
    for (qsizetype i = 0; i < ids.size(); ++i)
        qToLittleEndian<uint64_t>(ids[i], packed.data() + i * sizeof(uint64_t));
    return packed;
}

QList<uint64_t> UnpackIds(const QByteArray& packed)
{
    QList<uint64_t> ids(packed.size() / qsizetype(sizeof(uint64_t)));
    for (qsizetype i = 0; i < ids.size(); ++i)
        ids[i] = qFromLittleEndian<uint64_t>(packed.constData() + i * sizeof(uint64_t));
    return ids;
}

int PragmaInt(sqlite3* db, const char* sql, bool& ok)
{
    TSqlStatement query(db, sql);
    ok = query.IsValid() && query.Step();
    return ok ? int(query.Integer(0)) : 0;
}

bool PutMeta(sqlite3* db, const char* key, const QByteArray& value, QString& failure)
{
    TSqlStatement put(db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    const QByteArray name(key);
    put.Bind(1, name);
    put.Bind(2, value);
    if (put.Run())
        return true;
    failure = SqlError(db);
    return false;
}

QList<THarvestItem> ReadItems(sqlite3* db, int list, const QList<uint64_t>& order, bool& ok)
{
    const QByteArray sql = QByteArray("SELECT id, address, checked, state, file_name, size_text, reason, referrer,"
                                      " content_type, bytes_received, bytes_total, tries, wait_until_ms,"
                                      " pixel_width, pixel_height FROM ")
        + ItemTables[list] + " ORDER BY id";
    TSqlStatement query(db, sql.constData());
    QList<THarvestItem> byId;
    ok = query.IsValid();
    while (ok && query.Step()) {
        THarvestItem item;
        item.Id = uint64_t(query.Integer(0));
        item.Address = query.Bytes(1);
        item.Checked = query.Integer(2) != 0;
        item.State = int(query.Integer(3));
        item.FileName = query.Bytes(4);
        item.SizeText = query.Bytes(5);
        item.Reason = query.Text(6);
        item.Referrer = query.Bytes(7);
        item.ContentType = query.Bytes(8);
        item.BytesReceived = query.Integer(9);
        item.BytesTotal = query.Integer(10);
        item.Tries = int(query.Integer(11));
        item.WaitUntilMs = query.Integer(12);
        item.PixelWidth = int(query.Integer(13));
        item.PixelHeight = int(query.Integer(14));
        byId.append(std::move(item));
    }
    ok = ok && query.Done();  // a damaged page ends the loop early, not at its end
    if (!ok)
        return {};
    const bool inIdOrder = order.size() == byId.size()
        && std::equal(order.cbegin(), order.cend(), byId.cbegin(),
                      [](uint64_t id, const THarvestItem& item) { return id == item.Id; });
    if (inIdOrder)
        return byId;
    // Items in the saved order; any the order does not name (it is written with the items, so
    // only a hand-edited file has them) follow by id.
    QHash<uint64_t, qsizetype> at;
    at.reserve(byId.size());
    for (qsizetype i = 0; i < byId.size(); ++i)
        at.insert(byId[i].Id, i);
    QList<THarvestItem> items;
    items.reserve(byId.size());
    QList<bool> taken(byId.size(), false);
    for (const uint64_t id : order) {
        const auto it = at.constFind(id);
        if (it == at.cend() || taken[*it])
            continue;
        taken[*it] = true;
        items.append(std::move(byId[*it]));
    }
    for (qsizetype i = 0; i < byId.size(); ++i) {
        if (!taken[i])
            items.append(std::move(byId[i]));
    }
    return items;
}

QString SetAsideName(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString candidate = path + QStringLiteral(".set-aside-") + stamp;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = path + QStringLiteral(".set-aside-") + stamp + QLatin1Char('-') + QString::number(n);
    return candidate;
}

}  // namespace

void ResumeInterrupted(TSessionData& session)
{
    for (THarvestItem& item : session.Files) {
        if (item.State == FileDownloading)
            item.State = FilePending;
    }
    for (THarvestItem& item : session.Documents) {
        if (item.State == DocParsing)
            item.State = DocPending;
    }
}

bool TSessionBatch::IsEmpty() const
{
    for (const TListChanges& list : Lists) {
        if (list.Cleared || !list.Puts.isEmpty() || !list.Removes.isEmpty() || list.Order)
            return false;
    }
    return !MainDocument && !Queue && !HistoryForgotten && History.isEmpty();
}

void TSessionBatch::Absorb(TSessionBatch&& newer)
{
    for (int l = 0; l < 2; ++l) {
        TListChanges& mine = Lists[l];
        TListChanges& theirs = newer.Lists[l];
        if (theirs.Cleared) {
            mine = std::move(theirs);
            continue;
        }
        for (auto it = theirs.Removes.cbegin(); it != theirs.Removes.cend(); ++it) {
            mine.Puts.remove(*it);
            mine.Removes.insert(*it);
        }
        for (auto it = theirs.Puts.begin(); it != theirs.Puts.end(); ++it) {
            mine.Removes.remove(it.key());
            mine.Puts.insert(it.key(), std::move(it.value()));
        }
        if (theirs.Order)
            mine.Order = std::move(theirs.Order);
    }
    if (newer.MainDocument)
        MainDocument = std::move(newer.MainDocument);
    if (newer.Queue)
        Queue = std::move(newer.Queue);
    if (newer.HistoryForgotten) {
        HistoryForgotten = true;
        History.clear();
    }
    History.append(newer.History);
}

QString TSessionStore::DefaultPath()
{
    // Beside the list files (so a test's own program directory holds it too), in a folder of its
    // own: the database comes with its log files, and the list files' folder stays as it was.
    const QString dir = DataDir() + QStringLiteral("session");
    QDir().mkpath(dir);
    return dir + QStringLiteral("/Kelvorn.session");
}

TSessionStore::TSessionStore(QString path) : FPath(std::move(path)) {}

TSessionStore::~TSessionStore()
{
    if (FWriter.joinable()) {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FWake.notify_one();
        FWriter.join();
    }
    CloseFile();
}

void TSessionStore::CloseFile()
{
    // The last connection to close folds the write-ahead log back into the file.
    sqlite3_close_v2(FDb);
    FDb = nullptr;
}

bool TSessionStore::OpenFile(QString& failure, bool& unreadable)
{
    unreadable = false;
    const QByteArray path = QFile::encodeName(FPath);
    if (sqlite3_open_v2(path.constData(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr)
        != SQLITE_OK) {
        failure = FDb ? SqlError(FDb) : QStringLiteral("out of memory");
        return false;
    }
    sqlite3_busy_timeout(FDb, BusyTimeoutMs);
    bool ok = false;
    const int applicationId = PragmaInt(FDb, "PRAGMA application_id", ok);
    const int version = ok ? PragmaInt(FDb, "PRAGMA user_version", ok) : 0;
    const int tables = ok ? PragmaInt(FDb, "SELECT count(*) FROM sqlite_master", ok) : 0;
    if (!ok) {
        failure = SqlError(FDb);
        unreadable = SqlErrorMeansUnreadable(FDb);
        return false;
    }
    if (applicationId != ApplicationId && !(applicationId == 0 && tables == 0)) {
        failure = QStringLiteral("the file belongs to another program");
        unreadable = true;
        return false;
    }
    if (version > SchemaVersion) {
        failure = QStringLiteral("it was written by a newer Kelvorn (version %1)").arg(version);
        unreadable = true;
        return false;
    }
    // Synchronous NORMAL with the write-ahead log: a commit reaches the file system at once, so
    // a killed program loses nothing it committed; only a power cut may drop the last commits,
    // and never leaves the file damaged.
    if (!SqlExec(FDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384", failure)) {
        unreadable = SqlErrorMeansUnreadable(FDb);
        return false;
    }
    if (!Migrate(FDb, SchemaVersion, failure)) {
        unreadable = SqlErrorMeansUnreadable(FDb);
        return false;
    }
    return true;
}

bool TSessionStore::Migrate(sqlite3* db, int targetVersion, QString& failure)
{
    bool ok = false;
    const int version = PragmaInt(db, "PRAGMA user_version", ok);
    if (!ok) {
        failure = SqlError(db);
        return false;
    }
    const QList<QByteArray> steps = MigrationSteps();
    for (int from = version; from < targetVersion && from < steps.size(); ++from) {
        const QByteArray sql = "BEGIN IMMEDIATE;" + steps[from] + "PRAGMA application_id="
            + QByteArray::number(ApplicationId) + ";PRAGMA user_version=" + QByteArray::number(from + 1) + ";COMMIT;";
        if (!SqlExec(db, sql.constData(), failure)) {
            QString ignored;
            SqlExec(db, "ROLLBACK", ignored);
            return false;
        }
    }
    return true;
}

bool TSessionStore::ReadAll(TSessionData* session, QString& failure)
{
    TSessionData read;
    QList<uint64_t> orders[2];
    {
        TSqlStatement meta(FDb, "SELECT key, value FROM meta");
        bool ok = meta.IsValid();
        while (ok && meta.Step()) {
            const QByteArray key = meta.Bytes(0);
            if (key == OrderKeys[0])
                orders[0] = UnpackIds(meta.Bytes(1));
            else if (key == OrderKeys[1])
                orders[1] = UnpackIds(meta.Bytes(1));
            else if (key == QueueKey)
                read.Queue = UnpackIds(meta.Bytes(1));
            else if (key == MainDocumentKey)
                read.MainDocument = meta.Bytes(1);
        }
        if (!ok || !meta.Done()) {
            failure = SqlError(FDb);
            return false;
        }
    }
    bool ok = false;
    read.Documents = ReadItems(FDb, 0, orders[0], ok);
    if (ok)
        read.Files = ReadItems(FDb, 1, orders[1], ok);
    if (!ok) {
        failure = SqlError(FDb);
        return false;
    }
    TSqlStatement history(FDb, "SELECT address, size, sha256, file_name, finished_ms FROM history ORDER BY id");
    ok = history.IsValid();
    FHistory.Clear();
    while (ok && history.Step())
        FHistory.Add({history.Bytes(0), history.Integer(1), history.Bytes(2), history.Bytes(3), history.Integer(4)});
    if (!ok || !history.Done()) {
        failure = SqlError(FDb);
        FHistory.Clear();
        return false;
    }
    if (session)
        *session = std::move(read);
    return true;
}

void TSessionStore::SetAside(const QString& why, TSessionOpenOutcome& outcome)
{
    CloseFile();
    const QString aside = SetAsideName(FPath);
    // The log and the shared-memory index belong to the file; they go (or stay) with it.
    const bool moved = QFile::rename(FPath, aside);
    if (moved) {
        for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (QFile::exists(FPath + suffix))
                QFile::rename(FPath + suffix, aside + suffix);
        }
    }
    outcome.SetAsidePath = moved ? aside : QString();
    outcome.Message = moved ? QStringLiteral("The saved session %1 could not be read (%2). It was set aside as %3 "
                                             "and a new session begun.")
                                  .arg(QDir::toNativeSeparators(FPath), why, QDir::toNativeSeparators(aside))
                            : QStringLiteral("The saved session %1 could not be read (%2) nor set aside. "
                                             "This session will not be saved.")
                                  .arg(QDir::toNativeSeparators(FPath), why);
}

TSessionOpenOutcome TSessionStore::Open(TSessionData* session)
{
    TSessionOpenOutcome outcome;
    if (FDb || FWriter.joinable())
        return outcome;
    QString failure;
    bool unreadable = false;
    bool ready = OpenFile(failure, unreadable) && ReadAll(session, failure);
    if (!ready && !unreadable && FDb)
        unreadable = SqlErrorMeansUnreadable(FDb);
    if (!ready && unreadable) {
        SetAside(failure, outcome);
        if (outcome.SetAsidePath.isEmpty())
            return outcome;
        if (session)
            *session = {};
        ready = OpenFile(failure, unreadable) && ReadAll(nullptr, failure);
    }
    if (!ready) {
        CloseFile();
        if (outcome.Message.isEmpty())
            outcome.Message = QStringLiteral("The session %1 could not be opened (%2). This session will not be saved.")
                                  .arg(QDir::toNativeSeparators(FPath), failure);
        return outcome;
    }
    outcome.Opened = true;
    FWriter = std::thread([this] { WriterLoop(); });
    return outcome;
}

template <typename Change>
void TSessionStore::Record(Change&& change)
{
    bool wake = false;
    {
        std::lock_guard lock(FMutex);
        change(FPending);
        wake = FHandedOver == FAttempted;
        ++FHandedOver;
    }
    if (wake)
        FWake.notify_one();
}

void TSessionStore::PutItem(TSessionList list, const THarvestItem& item)
{
    Record([&](TSessionBatch& b) {
        auto& changes = b.Lists[int(list)];
        changes.Removes.remove(item.Id);
        changes.Puts.insert(item.Id, item);
    });
}

void TSessionStore::RemoveItem(TSessionList list, uint64_t id)
{
    Record([&](TSessionBatch& b) {
        auto& changes = b.Lists[int(list)];
        changes.Puts.remove(id);
        changes.Removes.insert(id);
    });
}

void TSessionStore::ClearList(TSessionList list)
{
    Record([&](TSessionBatch& b) {
        auto& changes = b.Lists[int(list)];
        changes = {};
        changes.Cleared = true;
    });
}

void TSessionStore::SetOrder(TSessionList list, const QList<uint64_t>& ids)
{
    Record([&](TSessionBatch& b) { b.Lists[int(list)].Order = ids; });
}

void TSessionStore::SetMainDocument(const QByteArray& address)
{
    Record([&](TSessionBatch& b) { b.MainDocument = address; });
}

void TSessionStore::SetQueue(const QList<uint64_t>& ids)
{
    Record([&](TSessionBatch& b) { b.Queue = ids; });
}

void TSessionStore::ReplaceAll(const TSessionData& session)
{
    TSessionBatch replacement;
    const QList<THarvestItem>* lists[2] = {&session.Documents, &session.Files};
    for (int l = 0; l < 2; ++l) {
        auto& changes = replacement.Lists[l];
        changes.Cleared = true;
        changes.Puts.reserve(lists[l]->size());
        QList<uint64_t> order;
        order.reserve(lists[l]->size());
        for (const THarvestItem& item : *lists[l]) {
            changes.Puts.insert(item.Id, item);
            order.append(item.Id);
        }
        changes.Order = std::move(order);
    }
    replacement.MainDocument = session.MainDocument;
    replacement.Queue = session.Queue;
    Record([&](TSessionBatch& b) { b.Absorb(std::move(replacement)); });
}

void TSessionStore::AddHistory(const THistoryEntry& entry)
{
    FHistory.Add(entry);
    Record([&](TSessionBatch& b) { b.History.append(entry); });
}

void TSessionStore::ForgetHistory()
{
    FHistory.Clear();
    Record([&](TSessionBatch& b) {
        b.HistoryForgotten = true;
        b.History.clear();
    });
}

bool TSessionStore::Flush()
{
    std::unique_lock lock(FMutex);
    if (!FWriter.joinable())
        return false;
    const uint64_t wanted = ++FHandedOver;
    FFlushWanted = wanted;
    FWake.notify_one();
    FWritten.wait(lock, [&] { return FAttempted >= wanted; });
    return FLastError.isEmpty();
}

QString TSessionStore::LastError() const
{
    std::lock_guard lock(FMutex);
    return FLastError;
}

void TSessionStore::WriterLoop()
{
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [&] { return FStopping || FHandedOver > FAttempted; });
        // Changes come in bursts (a scan, a select-all, eight engines): gather a second's worth
        // into one transaction unless someone waits for them.
        const auto urgent = [&] { return FStopping || FFlushWanted > FAttempted; };
        if (!urgent())
            FWake.wait_for(lock, CommitInterval, urgent);
        TSessionBatch batch = std::exchange(FPending, {});
        const uint64_t upTo = FHandedOver;
        const bool stopping = FStopping;
        lock.unlock();
        QString failure;
        const bool written = batch.IsEmpty() || WriteBatch(batch, failure);
        if (written)
            batch = {};  // freed here, not under the lock the callers wait for
        lock.lock();
        if (!written) {
            // Kept for the next try (the next change or Flush), under what came in meanwhile.
            batch.Absorb(std::move(FPending));
            FPending = std::move(batch);
        }
        FLastError = failure;
        FAttempted = upTo;
        FWritten.notify_all();
        if (stopping && (FPending.IsEmpty() || !written))
            return;
    }
}

bool TSessionStore::WriteBatch(const TSessionBatch& batch, QString& failure)
{
    if (!SqlExec(FDb, "BEGIN IMMEDIATE", failure))
        return false;
    const auto fail = [&] {
        failure = SqlError(FDb);
        QString ignored;
        SqlExec(FDb, "ROLLBACK", ignored);
        return false;
    };
    if (batch.HistoryForgotten && !SqlExec(FDb, "DELETE FROM history", failure))
        return fail();
    if (!batch.History.isEmpty()) {
        TSqlStatement add(FDb, "INSERT INTO history(address, size, sha256, file_name, finished_ms) VALUES(?,?,?,?,?)");
        for (const THistoryEntry& e : batch.History) {
            add.Bind(1, e.Address);
            add.Bind(2, e.Size);
            add.Bind(3, e.Sha256);
            add.Bind(4, e.FileName);
            add.Bind(5, e.FinishedMs);
            if (!add.RunAndReset())
                return fail();
        }
    }
    for (int l = 0; l < 2; ++l) {
        const TSessionBatch::TListChanges& changes = batch.Lists[l];
        const QByteArray table = ItemTables[l];
        if (changes.Cleared && !SqlExec(FDb, ("DELETE FROM " + table).constData(), failure))
            return fail();
        if (!changes.Removes.isEmpty()) {
            TSqlStatement remove(FDb, ("DELETE FROM " + table + " WHERE id = ?").constData());
            for (const uint64_t id : changes.Removes) {
                remove.Bind(1, qint64(id));
                if (!remove.RunAndReset())
                    return fail();
            }
        }
        if (!changes.Puts.isEmpty()) {
            TSqlStatement put(
                FDb, ("INSERT OR REPLACE INTO " + table + " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)").constData());
            // In id order: rows then go to the end of the table's tree instead of all over it.
            QList<const THarvestItem*> puts;
            puts.reserve(changes.Puts.size());
            for (const THarvestItem& item : changes.Puts)
                puts.append(&item);
            std::sort(puts.begin(), puts.end(),
                      [](const THarvestItem* a, const THarvestItem* b) { return a->Id < b->Id; });
            for (const THarvestItem* each : puts) {
                const THarvestItem& item = *each;
                put.Bind(1, qint64(item.Id));
                put.Bind(2, item.Address);
                put.Bind(3, qint64(item.Checked));
                put.Bind(4, qint64(item.State));
                put.Bind(5, item.FileName);
                put.Bind(6, item.SizeText);
                put.BindText(7, item.Reason);
                put.Bind(8, item.Referrer);
                put.Bind(9, item.ContentType);
                put.Bind(10, item.BytesReceived);
                put.Bind(11, item.BytesTotal);
                put.Bind(12, qint64(item.Tries));
                put.Bind(13, item.WaitUntilMs);
                put.Bind(14, qint64(item.PixelWidth));
                put.Bind(15, qint64(item.PixelHeight));
                if (!put.RunAndReset())
                    return fail();
            }
        }
        if (changes.Order && !PutMeta(FDb, OrderKeys[l], PackIds(*changes.Order), failure))
            return fail();
    }
    if (batch.Queue && !PutMeta(FDb, QueueKey, PackIds(*batch.Queue), failure))
        return fail();
    if (batch.MainDocument && !PutMeta(FDb, MainDocumentKey, *batch.MainDocument, failure))
        return fail();
    if (!SqlExec(FDb, "COMMIT", failure))
        return fail();
    return true;
}
