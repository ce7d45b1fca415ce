// The session in its database: every field of both lists back after a restart, changes on disk
// within a second, nothing lost or damaged when the writing program is killed, unreadable files
// set aside, older files upgraded, and the download history kept.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

#include "core/TSessionStore.h"
#include "support/SessionQuery.h"

namespace {

THarvestItem RichItem(uint64_t id, int state)
{
    THarvestItem item;
    item.Id = id;
    item.Address = "https://cdn.test/" + QByteArray::number(quint64(id)) + "?sig=" + QByteArray(2000, 'x');
    item.Checked = id % 2 == 0;
    item.State = state;
    item.FileName = QStringLiteral("Bild_\u00e4\u00f6\u00fc_\u65e5\u672c_%1.jpg").arg(id).toUtf8();
    item.SizeText = "123456";
    item.Reason = QStringLiteral("Downloaded before on 2026-01-02 as \u00fcber.jpg");
    item.Referrer = "https://gallery.test/page?id=" + QByteArray::number(quint64(id));
    item.ContentType = "image/jpeg";
    item.BytesReceived = qint64(id) * 1000 + 7;
    item.BytesTotal = 9'000'000'000LL + qint64(id);
    item.Tries = 3;
    item.WaitUntilMs = 1'800'000'000'000LL + qint64(id);
    item.PixelWidth = 1920;
    item.PixelHeight = 1080;
    return item;
}

void CompareItems(const QList<THarvestItem>& got, const QList<THarvestItem>& want)
{
    QCOMPARE(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        const THarvestItem& g = got[i];
        const THarvestItem& w = want[i];
        QCOMPARE(g.Id, w.Id);
        QCOMPARE(g.Address, w.Address);
        QCOMPARE(g.Checked, w.Checked);
        QCOMPARE(g.State, w.State);
        QCOMPARE(g.FileName, w.FileName);
        QCOMPARE(g.SizeText, w.SizeText);
        QCOMPARE(g.Reason, w.Reason);
        QCOMPARE(g.Referrer, w.Referrer);
        QCOMPARE(g.ContentType, w.ContentType);
        QCOMPARE(g.BytesReceived, w.BytesReceived);
        QCOMPARE(g.BytesTotal, w.BytesTotal);
        QCOMPARE(g.Tries, w.Tries);
        QCOMPARE(g.WaitUntilMs, w.WaitUntilMs);
        QCOMPARE(g.PixelWidth, w.PixelWidth);
        QCOMPARE(g.PixelHeight, w.PixelHeight);
    }
}

QList<uint64_t> Ids(const QList<THarvestItem>& items)
{
    QList<uint64_t> ids;
    for (const THarvestItem& item : items)
        ids.append(item.Id);
    return ids;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestSessionStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void everyFieldSurvivesARestart();
    void changesReplayInOrder_data();
    void changesReplayInOrder();
    void changesReachTheDiskWithinASecond();
    void killedWriterLosesNothingCommitted();
    void unreadableFileIsSetAside_data();
    void unreadableFileIsSetAside();
    void versionOneFileIsUpgraded();
    void historySurvivesUntilForgotten();
    void interruptedWorkWaitsAgain_data();
    void interruptedWorkWaitsAgain();

private:
    QString SessionPath() const { return FDir->filePath(QStringLiteral("Kelvorn.session")); }
    std::unique_ptr<QTemporaryDir> FDir;
};

void TestSessionStore::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
}

void TestSessionStore::everyFieldSurvivesARestart()
{
    TSessionData saved;
    for (uint64_t id = 1; id <= 30; ++id)
        saved.Documents.append(RichItem(1000 - id, id % 3 - 1));  // ids falling: the order is not the ids'
    for (uint64_t id = 1; id <= 200; ++id)
        saved.Files.append(RichItem(id * 7 % 211, int(id % 6) - 1));
    saved.MainDocument = "https://gallery.test/" + QByteArray(2000, 'm');
    saved.Queue = {14, 7, 21};
    {
        TSessionStore store(SessionPath());
        TSessionData before;
        const TSessionOpenOutcome outcome = store.Open(&before);
        QVERIFY(outcome.Opened);
        QVERIFY(outcome.Message.isEmpty());
        QVERIFY(before.Files.isEmpty());
        store.ReplaceAll(saved);
        QVERIFY(store.Flush());
    }
    TSessionStore store(SessionPath());
    TSessionData loaded;
    QVERIFY(store.Open(&loaded).Opened);
    CompareItems(loaded.Documents, saved.Documents);
    CompareItems(loaded.Files, saved.Files);
    QCOMPARE(loaded.MainDocument, saved.MainDocument);
    QCOMPARE(loaded.Queue, saved.Queue);
    QCOMPARE(QueryText(SessionPath(), "PRAGMA integrity_check"), QStringLiteral("ok"));
}

using TChanges = std::function<void(TSessionStore&)>;
Q_DECLARE_METATYPE(TChanges)

void TestSessionStore::changesReplayInOrder_data()
{
    QTest::addColumn<TChanges>("changes");
    QTest::addColumn<QList<uint64_t>>("files");  // the file list's ids afterwards, top to bottom
    QTest::addColumn<qint64>("progressOfTwo");   // BytesReceived of item 2, -1 when it is gone
    const auto put = [](TSessionStore& s, uint64_t id, qint64 got = 0) {
        THarvestItem item = RichItem(id, FileDownloading);
        item.BytesReceived = got;
        s.PutItem(TSessionList::Files, item);
    };
    QTest::newRow("puts without an order come by id") << TChanges([=](TSessionStore& s) {
        put(s, 3);
        put(s, 2);
        put(s, 1);
    }) << QList<uint64_t>{1, 2, 3} << qint64(0);
    QTest::newRow("the last put of an item wins") << TChanges([=](TSessionStore& s) {
        put(s, 2, 10);
        put(s, 2, 20);
        s.Flush();
        put(s, 2, 30);
    }) << QList<uint64_t>{2} << qint64(30);
    QTest::newRow("removed after being written") << TChanges([=](TSessionStore& s) {
        put(s, 1);
        put(s, 2);
        s.Flush();
        s.RemoveItem(TSessionList::Files, 2);
    }) << QList<uint64_t>{1} << qint64(-1);
    QTest::newRow("put again after a removal") << TChanges([=](TSessionStore& s) {
        put(s, 2, 5);
        s.RemoveItem(TSessionList::Files, 2);
        put(s, 2, 6);
    }) << QList<uint64_t>{2} << qint64(6);
    QTest::newRow("a clear drops what came before it") << TChanges([=](TSessionStore& s) {
        put(s, 1);
        s.Flush();
        put(s, 2);
        s.ClearList(TSessionList::Files);
        put(s, 3);
    }) << QList<uint64_t>{3} << qint64(-1);
    QTest::newRow("the order after sorting") << TChanges([=](TSessionStore& s) {
        put(s, 1);
        put(s, 2);
        put(s, 3);
        s.SetOrder(TSessionList::Files, {3, 1, 2});
    }) << QList<uint64_t>{3, 1, 2} << qint64(0);
    QTest::newRow("the document list is a list of its own") << TChanges([=](TSessionStore& s) {
        put(s, 2);
        s.PutItem(TSessionList::Documents, RichItem(2, DocParsed));
        s.ClearList(TSessionList::Documents);
    }) << QList<uint64_t>{2} << qint64(0);
}

void TestSessionStore::changesReplayInOrder()
{
    QFETCH(TChanges, changes);
    QFETCH(QList<uint64_t>, files);
    QFETCH(qint64, progressOfTwo);
    {
        TSessionStore store(SessionPath());
        QVERIFY(store.Open(nullptr).Opened);
        changes(store);
    }  // closing writes what is pending
    TSessionStore store(SessionPath());
    TSessionData loaded;
    QVERIFY(store.Open(&loaded).Opened);
    QCOMPARE(Ids(loaded.Files), files);
    QVERIFY(loaded.Documents.isEmpty());
    const qsizetype two = Ids(loaded.Files).indexOf(2);
    QCOMPARE(two < 0 ? qint64(-1) : loaded.Files[two].BytesReceived, progressOfTwo);
}

void TestSessionStore::changesReachTheDiskWithinASecond()
{
    TSessionStore store(SessionPath());
    QVERIFY(store.Open(nullptr).Opened);
    store.PutItem(TSessionList::Files, RichItem(5, FileDownloading));
    // No Flush: the writer commits on its own. The bound is wide for a loaded machine; the
    // writer's interval is one second.
    QTRY_COMPARE_WITH_TIMEOUT(QueryText(SessionPath(), "SELECT count(*) FROM file"), QStringLiteral("1"), 20000);
}

void TestSessionStore::killedWriterLosesNothingCommitted()
{
    QProcess writer;
    writer.start(QStringLiteral(SESSION_WRITER), {SessionPath()});
    QVERIFY2(writer.waitForStarted(30000), qPrintable(writer.errorString()));
    quint64 flushed = 0;
    QByteArray output;
    // Several commits, then a kill while the writer is busy with the next ones.
    while (flushed < 3000) {
        QVERIFY2(writer.state() == QProcess::Running, writer.readAllStandardError().constData());
        if (!writer.canReadLine())
            QVERIFY(writer.waitForReadyRead(60000));
        while (writer.canReadLine()) {
            const QByteArray line = writer.readLine().trimmed();
            QVERIFY(line.startsWith("flushed "));
            flushed = line.mid(8).toULongLong();
        }
    }
    writer.kill();
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

    QCOMPARE(QueryText(SessionPath(), "PRAGMA integrity_check"), QStringLiteral("ok"));
    TSessionStore store(SessionPath());
    TSessionData loaded;
    const TSessionOpenOutcome outcome = store.Open(&loaded);
    QVERIFY2(outcome.Opened, qPrintable(outcome.Message));
    QVERIFY(outcome.SetAsidePath.isEmpty());
    QVERIFY(quint64(loaded.Files.size()) >= flushed);
    for (quint64 i = 0; i < flushed; ++i) {
        const THarvestItem& item = loaded.Files[qsizetype(i)];
        QCOMPARE(item.Id, i + 1);
        QVERIFY(item.Address.endsWith("/" + QByteArray::number(i + 1) + ".jpg"));
        QCOMPARE(item.Address.size(), 1900 + 23 + QByteArray::number(i + 1).size());
        QCOMPARE(item.FileName, QByteArray::number(i + 1) + "_\xc3\xa4.jpg");
    }
    // The progress written last for an item that stopped changing before the last commit.
    QCOMPARE(loaded.Files[0].BytesReceived, 8000);
}

void TestSessionStore::unreadableFileIsSetAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("random bytes") << "random";
    QTest::newRow("a session cut short") << "truncated";
    QTest::newRow("another program's database") << "foreign";
    QTest::newRow("written by a newer version") << "newer";
}

void TestSessionStore::unreadableFileIsSetAside()
{
    QFETCH(QString, kind);
    const QString path = SessionPath();
    if (kind == QLatin1String("random")) {
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(25);
        for (char& c : noise)
            c = char(generator.bounded(256));
        WriteFile(path, noise);
    } else if (kind == QLatin1String("truncated")) {
        {
            TSessionStore store(path);
            QVERIFY(store.Open(nullptr).Opened);
            TSessionData data;
            for (uint64_t id = 1; id <= 3000; ++id)
                data.Files.append(RichItem(id, FilePending));
            store.ReplaceAll(data);
        }
        QFile file(path);
        QVERIFY(file.size() > 1'000'000);
        QVERIFY(file.resize(file.size() / 2));
    } else {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        const char* sql = kind == QLatin1String("foreign") ? "CREATE TABLE photos(id INTEGER PRIMARY KEY, name TEXT);"
                                                             "INSERT INTO photos(name) VALUES('cat')"
                                                           : "PRAGMA application_id=1263294035; PRAGMA user_version=99;"
                                                             "CREATE TABLE future(x)";
        QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const QByteArray original = ReadFile(path);

    TSessionStore store(path);
    TSessionData loaded;
    const TSessionOpenOutcome outcome = store.Open(&loaded);
    QVERIFY(outcome.Opened);
    QVERIFY(!outcome.SetAsidePath.isEmpty());
    QVERIFY(outcome.SetAsidePath.startsWith(path + QStringLiteral(".set-aside-")
                                            + QDate::currentDate().toString(Qt::ISODate)));
    QCOMPARE(ReadFile(outcome.SetAsidePath), original);
    QVERIFY2(outcome.Message.contains(QStringLiteral("could not be read")), qPrintable(outcome.Message));
    QVERIFY(outcome.Message.contains(outcome.SetAsidePath));
    QVERIFY(loaded.Files.isEmpty());
    // The new session works.
    store.PutItem(TSessionList::Files, RichItem(1, FilePending));
    QVERIFY(store.Flush());
    QCOMPARE(QueryText(path, "SELECT count(*) FROM file"), QStringLiteral("1"));
}

void TestSessionStore::versionOneFileIsUpgraded()
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(SessionPath()).constData(), &db), SQLITE_OK);
    QString failure;
    QVERIFY2(TSessionStore::Migrate(db, 1, failure), qPrintable(failure));
    QCOMPARE(
        sqlite3_exec(
            db,
            "INSERT INTO file(id, address, checked, state, file_name) VALUES(4, 'http://a.test/4.jpg', 1, 2, '4.jpg')",
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    QCOMPARE(QueryText(SessionPath(), "PRAGMA user_version"), QStringLiteral("1"));

    TSessionStore store(SessionPath());
    TSessionData loaded;
    QVERIFY(store.Open(&loaded).Opened);
    QCOMPARE(QueryText(SessionPath(), "PRAGMA user_version"), QString::number(TSessionStore::SchemaVersion));
    QCOMPARE(loaded.Files.size(), 1);
    QCOMPARE(loaded.Files[0].Address, QByteArray("http://a.test/4.jpg"));
    QCOMPARE(loaded.Files[0].State, FileDownloaded);
    store.AddHistory({"http://a.test/4.jpg", 4000, QByteArray(32, 'h'), "4.jpg", 1});
    QVERIFY(store.Flush());
}

void TestSessionStore::historySurvivesUntilForgotten()
{
    const THistoryEntry first{"http://a.test/1.jpg", 4000, QByteArray(32, '\1'), "1.jpg", 1'780'000'000'000};
    const THistoryEntry second{"http://a.test/2.jpg", 5000, QByteArray(32, '\2'), "2.jpg", 1'780'000'100'000};
    {
        TSessionStore store(SessionPath());
        QVERIFY(store.Open(nullptr).Opened);
        store.AddHistory(first);
        store.AddHistory(second);
        QVERIFY(store.History().FindSha256(second.Sha256));
    }
    {
        TSessionStore store(SessionPath());
        QVERIFY(store.Open(nullptr).Opened);
        QCOMPARE(store.History().Entries(), (QList<THistoryEntry>{first, second}));
        QVERIFY(SkipReason(store.History(), first.Address, {}));
        QVERIFY(SkipReason(store.History(), "http://elsewhere.test/", second.Sha256));
        store.ForgetHistory();
        QCOMPARE(store.History().Count(), 0);
    }
    TSessionStore store(SessionPath());
    QVERIFY(store.Open(nullptr).Opened);
    QCOMPARE(store.History().Count(), 0);
}

void TestSessionStore::interruptedWorkWaitsAgain_data()
{
    QTest::addColumn<bool>("fileList");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("restored");
    QTest::newRow("downloading file: pending again") << true << int(FileDownloading) << int(FilePending);
    QTest::newRow("failed file stays failed") << true << int(FileFailed) << int(FileFailed);
    QTest::newRow("downloaded file stays downloaded") << true << int(FileDownloaded) << int(FileDownloaded);
    QTest::newRow("skipped file stays skipped") << true << int(FileSkipped) << int(FileSkipped);
    QTest::newRow("page being scanned: pending again") << false << int(DocParsing) << int(DocPending);
    QTest::newRow("scanned page stays scanned") << false << int(DocParsed) << int(DocParsed);
}

void TestSessionStore::interruptedWorkWaitsAgain()
{
    QFETCH(bool, fileList);
    QFETCH(int, state);
    QFETCH(int, restored);
    TSessionData session;
    THarvestItem item = RichItem(1, state);
    (fileList ? session.Files : session.Documents).append(item);
    ResumeInterrupted(session);
    const THarvestItem& after = (fileList ? session.Files : session.Documents).first();
    QCOMPARE(after.State, restored);
    QCOMPARE(after.BytesReceived, item.BytesReceived);  // the part file's progress is kept
}

QTEST_GUILESS_MAIN(TestSessionStore)
#include "test_session_store.moc"
