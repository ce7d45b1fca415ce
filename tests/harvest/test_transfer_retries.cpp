// The transfer queue with the modern engine against an unruly server on 127.0.0.1: refused, cut
// and reset files come home whole after more tries, nothing goes to a host inside the wait it
// announced, the host never sees more connections than allowed, a drop costs little, and a part
// file left by Stop is continued by the next run.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/TTransferQueue.h"
#include "download/TCurlEngine.h"
#include "rules/ListStates.h"
#include "support/TestFiles.h"
#include "support/TlsTestServer.h"
#include "support/UnrulyServer.h"

namespace {
struct Wanted {
    QByteArray Name;
    qint64 Size;
    QByteArray Faults;
    QByteArray Path() const { return '/' + Name + '-' + QByteArray::number(Size) + ".bin" + Faults; }
};

// A run of the queue over the curl engine; items are files of the server, saved in a temporary
// directory under their names.
struct Harvest {
    UnrulyServer& Server;
    QTemporaryDir Dir;
    TCurlEngine Engine;
    TTransferQueue Queue{&Engine};
    QSignalSpy Drained{&Queue, &TTransferQueue::Drained};
    QList<Wanted> Items;
    QHash<uint64_t, TDownloadOutcome> Outcomes;
    QMultiHash<uint64_t, QString> Waits;

    Harvest(UnrulyServer& server, int hostConnections) : Server(server), Engine(hostConnections)
    {
        Queue.Jitter = [] { return 0.0; };  // the shortest waits: 0.75, 1.5, 3 s
        Queue.SetStartPause(0);
        Queue.SetRetries(true);
        Queue.SetHostLimit(hostConnections);
        Queue.Prepare = [this](uint64_t id) -> std::optional<TTransferJob> {
            TTransferJob job;
            job.Path = FinalPath(Items.at(int(id - 1)));
            return job;
        };
        Queue.Apply = [this](const TDownloadOutcome& o) {
            Outcomes.insert(o.ItemId, o);
            return true;
        };
        Queue.Waits = [this](uint64_t id, const QString& text) { Waits.insert(id, text); };
    }
    QString FinalPath(const Wanted& w) const { return Dir.filePath(QString::fromLatin1(w.Name + ".bin")); }
    void Add(const Wanted& w)
    {
        Items << w;
        Queue.Enqueue(uint64_t(Items.size()), Server.Url(w.Path()));
    }
    void Run()
    {
        const int before = int(Drained.size());
        Queue.Run();
        QTRY_COMPARE_WITH_TIMEOUT(int(Drained.size()), before + 1, 120000);
    }
};
}  // namespace

class TestTransferRetries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyWantedFileComesHomeWhole_data();
    void everyWantedFileComesHomeWhole();
    void oneDropOfALargeFileCostsLittle();
    void stopLeavesAPartThatTheNextRunContinues();
    void unrulyEndsOfOneFile_data();
    void unrulyEndsOfOneFile();

private:
    TestCertificates FCertificates;
};

void TestTransferRetries::initTestCase()
{
    QVERIFY(FCertificates.Make());
    FCertificates.Trust();
}

void TestTransferRetries::everyWantedFileComesHomeWhole_data()
{
    QTest::addColumn<int>("hostConnections");
    QTest::newRow("one connection per host") << 1;
    QTest::newRow("two per host (the default)") << 2;
    QTest::newRow("four per host") << 4;
}

void TestTransferRetries::everyWantedFileComesHomeWhole()
{
    QFETCH(int, hostConnections);
    UnrulyServer server;
    Harvest h(server, hostConnections);
    const QList<QByteArray> faults{"?429", "?cut", "", "?503", "?reset", "", "?429,cut", "", "?noetag,cut", ""};
    for (int i = 0; i < 20; ++i)
        h.Add({"f" + QByteArray::number(i), 20000 + i * 3001, faults.at(i % faults.size())});
    h.Run();

    for (int i = 0; i < h.Items.size(); ++i) {
        const Wanted& w = h.Items.at(i);
        const TDownloadOutcome o = h.Outcomes.value(uint64_t(i + 1));
        QVERIFY2(o.State == FileDownloaded, qPrintable(o.Reason));
        QVERIFY2(ReadTestFile(h.FinalPath(w)) == UnrulyServer::Body(w.Name, w.Size), w.Name.constData());
        // A refused or broken first try said what it waited for.
        QCOMPARE(h.Waits.count(uint64_t(i + 1)), w.Faults.isEmpty() ? 0 : 1);
    }
    QCOMPARE(h.Waits.value(1), QStringLiteral("Waiting 1 s: HTTP 429 Too Many Requests, try 2 of 5"));
    QCOMPARE(QDir(h.Dir.path()).entryList(QDir::Files | QDir::Hidden).size(), int(h.Items.size()));  // no part left
    QVERIFY(server.MostConnectionsAtOnce() <= hostConnections);

    // After "Retry-After: 1" nothing more came within the second, beyond requests the client had
    // sent before the answer reached it.
    constexpr qint64 InFlight = 100;
    const QList<UnrulyServer::Request> requests = server.Requests();
    for (const UnrulyServer::Request& refused : requests) {
        if (refused.Status != 429 && refused.Status != 503)
            continue;
        for (const UnrulyServer::Request& r : requests)
            QVERIFY2(r.AtMs < refused.AtMs + InFlight || r.AtMs >= refused.AtMs + 1000,
                     qPrintable(QStringLiteral("%1 at %2 ms, %3 ms after a refusal")
                                    .arg(QString::fromLatin1(r.Path))
                                    .arg(r.AtMs)
                                    .arg(r.AtMs - refused.AtMs)));
    }
}

void TestTransferRetries::oneDropOfALargeFileCostsLittle()
{
    constexpr qint64 Size = 20 * 1024 * 1024;
    UnrulyServer server;
    Harvest h(server, 2);
    h.Add({"movie", Size, "?cut"});
    h.Run();
    QCOMPARE(h.Outcomes.value(1).State, int(FileDownloaded));
    QCOMPARE(QFileInfo(h.FinalPath(h.Items.at(0))).size(), Size);
    QVERIFY(ReadTestFile(h.FinalPath(h.Items.at(0))) == UnrulyServer::Body("movie", Size));
    QVERIFY2(server.BodyBytesSent() <= Size * 105 / 100, QByteArray::number(server.BodyBytesSent()).constData());
    QCOMPARE(server.Requests().size(), 2);
    QCOMPARE(server.Requests().at(1).Range, "bytes=" + QByteArray::number(Size / 2) + '-');
}

void TestTransferRetries::stopLeavesAPartThatTheNextRunContinues()
{
    constexpr qint64 Size = 400000;
    UnrulyServer server;
    Harvest h(server, 2);
    h.Add({"slow", Size, "?trickle"});
    h.Queue.Run();
    QTRY_VERIFY_WITH_TIMEOUT(h.Queue.Slot(0).Received >= 10000, 60000);
    h.Queue.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(int(h.Drained.size()), 1, 60000);
    QCOMPARE(h.Outcomes.value(1).Reason, QStringLiteral("Stopped"));
    const qint64 kept = h.Outcomes.value(1).PartBytes;
    QVERIFY(kept >= 10000);
    QVERIFY(!QFile::exists(h.FinalPath(h.Items.at(0))));

    // The next run asks only for the rest.
    h.Queue.Enqueue(1, server.Url(h.Items.at(0).Path()));
    h.Run();
    QCOMPARE(h.Outcomes.value(1).State, int(FileDownloaded));
    QVERIFY(ReadTestFile(h.FinalPath(h.Items.at(0))) == UnrulyServer::Body("slow", Size));
    QCOMPARE(server.Requests().size(), 2);
    QCOMPARE(server.Requests().at(1).Range, "bytes=" + QByteArray::number(kept) + '-');
    QVERIFY(server.BodyBytesSent() <= Size * 105 / 100);
}

void TestTransferRetries::unrulyEndsOfOneFile_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QString>("reason");            // the final one; empty: the file comes home
    QTest::addColumn<QList<QByteArray>>("ranges");  // asked for by each request in turn
    QTest::addColumn<QStringList>("waits");
    const QByteArray half = "bytes=50000-";
    const QString cut = "Connection closed after 50,000 of 100,000 bytes";
    const QString waitCut = "Waiting 1 s: " + cut + ", try 2 of 5";
    QTest::newRow("TLS close without close_notify: cut, then resumed")
        << true << QByteArray("?tlsend") << QString() << QList<QByteArray>{"", half} << QStringList{waitCut};
    QTest::newRow("broken TLS record: cut, then resumed")
        << true << QByteArray("?badrecord") << QString() << QList<QByteArray>{"", half} << QStringList{waitCut};
    QTest::newRow("TLS close with close_notify mid-body: cut, then resumed")
        << true << QByteArray("?cut") << QString() << QList<QByteArray>{"", half} << QStringList{waitCut};
    QTest::newRow("416 to the resume: again from zero, byte-exact")
        << false << QByteArray("?cut,416") << QString() << QList<QByteArray>{"", half, ""}
        << QStringList{waitCut, "Waiting 2 s: The server would not continue the part file, try 3 of 5"};
    const QString busy = "HTTP 429 Too Many Requests";
    QStringList waits;
    for (int next = 2; next <= MaxTries; ++next)
        waits << QStringLiteral("Waiting 1 s: %1, try %2 of 5").arg(busy).arg(next);
    QTest::newRow("429 with Retry-After every time: five tries, the last cause named")
        << false << QByteArray("?429all") << busy + " (5 tries)" << QList<QByteArray>(MaxTries) << waits;
}

// One file's unruly ends through the real engine and queue: it comes home byte-exact or fails
// with its last cause and its tries, and no request comes inside a wait the server announced.
void TestTransferRetries::unrulyEndsOfOneFile()
{
    QFETCH(bool, tls);
    QFETCH(QByteArray, faults);
    QFETCH(QString, reason);
    QFETCH(QList<QByteArray>, ranges);
    QFETCH(QStringList, waits);
    constexpr qint64 Size = 100000;
    UnrulyServer server(tls ? FCertificates.Certificate(TestCertificates::Kind::Good) : QString(),
                        tls ? FCertificates.Key() : QString());
    Harvest h(server, 2);
    h.Add({"clip", Size, faults});
    h.Run();

    const TDownloadOutcome o = h.Outcomes.value(1);
    const QString file = h.FinalPath(h.Items.at(0));
    if (reason.isEmpty()) {
        QVERIFY2(o.State == FileDownloaded, qPrintable(o.Reason));
        QVERIFY(ReadTestFile(file) == UnrulyServer::Body("clip", Size));
    } else {
        QCOMPARE(o.State, int(FileFailed));
        QCOMPARE(o.Reason, reason);
        QVERIFY(!QFile::exists(file));
    }
    QCOMPARE(QDir(h.Dir.path()).entryList(QDir::Files | QDir::Hidden).size(), reason.isEmpty() ? 1 : 0);
    QStringList shown = h.Waits.values(1);
    std::reverse(shown.begin(), shown.end());  // QMultiHash gives the latest first
    QCOMPARE(shown, waits);

    const QList<UnrulyServer::Request> requests = server.Requests();
    QList<QByteArray> asked;
    for (const UnrulyServer::Request& r : requests)
        asked << r.Range;
    QCOMPARE(asked, ranges);
    for (int i = 1; i < requests.size(); ++i)
        if (requests.at(i - 1).Status == 429)
            QVERIFY2(requests.at(i).AtMs >= requests.at(i - 1).AtMs + 1000,
                     qPrintable(QStringLiteral("try %1 came %2 ms after a 429 asking for 1 s")
                                    .arg(i + 1)
                                    .arg(requests.at(i).AtMs - requests.at(i - 1).AtMs)));
}

QTEST_GUILESS_MAIN(TestTransferRetries)
#include "test_transfer_retries.moc"
