// The modern engine against an unruly server on 127.0.0.1: many files over few kept-alive
// connections, cut and reset bodies that fail with what another try needs and then continue with
// Range, refusals that pass on the server's Retry-After, stalls, Stop, and the same certificate
// reasons as the classic client.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "download/TCurlEngine.h"
#include "download/TReportReceiver.h"
#include "platform/PartFiles.h"
#include "rules/ListStates.h"
#include "rules/TransferRules.h"
#include "support/TestFiles.h"
#include "support/TlsTestServer.h"
#include "support/UnrulyServer.h"

namespace {
struct Outcomes : TReportReceiver {
    std::map<uint64_t, TDownloadOutcome> ById;
    QStringList Hints;

    explicit Outcomes(TCurlEngine& engine)
    {
        connect(
            &engine, &TTransferEngine::Finished, this, [this](const TDownloadOutcome& o) { ById[o.ItemId] = o; },
            Qt::QueuedConnection);
        connect(
            &engine, &TTransferEngine::HintChanged, this, [this](int, const TDownloadHint& h) { Hints.append(h.Text); },
            Qt::QueuedConnection);
    }
};

TTransferJob Job(uint64_t id, const QByteArray& url, const QString& path)
{
    TTransferJob job;
    job.ItemId = id;
    job.Slot = int(id % 8);
    job.Address = url;
    job.Path = path;
    return job;
}
}  // namespace

class TestCurlEngine : public QObject {
    Q_OBJECT
private slots:
    void manyFilesFewConnections();
    void failedTryThenResume_data();
    void failedTryThenResume();
    void stopKeepsThePartForTheNextRun();
    void certificatesAsTheClassicClient_data();
    void certificatesAsTheClassicClient();
};

void TestCurlEngine::manyFilesFewConnections()
{
    UnrulyServer server;
    QTemporaryDir dir;
    TCurlEngine engine(2);
    Outcomes out(engine);
    constexpr int Files = 40;
    for (int i = 0; i < Files; ++i) {
        const QByteArray name = "pic" + QByteArray::number(i) + '-' + QByteArray::number(20000 + i * 997) + ".bin";
        engine.Start(Job(uint64_t(i + 1), server.Url('/' + name), dir.filePath(QString::fromLatin1(name))));
    }
    QTRY_COMPARE_WITH_TIMEOUT(int(out.ById.size()), Files, 60000);
    for (int i = 0; i < Files; ++i) {
        const TDownloadOutcome& o = out.ById[uint64_t(i + 1)];
        const qint64 size = 20000 + i * 997;
        QCOMPARE(o.State, int(FileDownloaded));
        QCOMPARE(o.Check.Size, size);
        const QByteArray name = "pic" + QByteArray::number(i) + '-' + QByteArray::number(size) + ".bin";
        QVERIFY(ReadTestFile(dir.filePath(QString::fromLatin1(name)))
                == UnrulyServer::Body("pic" + QByteArray::number(i), size));
    }
    // Kept alive: two connections carried all forty, never more than two at once.
    QVERIFY2(server.ConnectionsOpened() <= 2, QByteArray::number(server.ConnectionsOpened()).constData());
    QVERIFY(server.MostConnectionsAtOnce() <= 2);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), Files);  // no part file stays
}

void TestCurlEngine::failedTryThenResume_data()
{
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<int>("tryEnd");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");  // of the first try
    QTest::addColumn<bool>("partKept");
    QTest::addColumn<qint64>("retryAfter");
    QTest::newRow("cut body keeps its half, then appends")
        << QByteArray("cut") << int(TTryEnd::Cut) << 200 << QString("Connection closed after 200,000 of 400,000 bytes")
        << true << qint64(-1);
    QTest::newRow("reset body keeps its half, then appends")
        << QByteArray("reset") << int(TTryEnd::Cut) << 200 << QString("*") << true << qint64(-1);
    QTest::newRow("changed file restarts from zero")
        << QByteArray("cut,changed") << int(TTryEnd::Cut) << 200
        << QString("Connection closed after 200,000 of 400,000 bytes") << true << qint64(-1);
    QTest::newRow("no validator: no resume")
        << QByteArray("cut,noetag") << int(TTryEnd::Cut) << 200
        << QString("Connection closed after 200,000 of 400,000 bytes") << false << qint64(-1);
    QTest::newRow("429 passes on Retry-After") << QByteArray("429") << int(TTryEnd::HttpError) << 429
                                               << QString("HTTP 429 Too Many Requests") << false << qint64(1000);
    QTest::newRow("503 passes on Retry-After") << QByteArray("503") << int(TTryEnd::HttpError) << 503
                                               << QString("HTTP 503 Service Unavailable") << false << qint64(1000);
    QTest::newRow("stall keeps what came") << QByteArray("stall") << int(TTryEnd::Stalled) << 200
                                           << QString("Less than 1024 bytes a second for 1 s") << true << qint64(-1);
}

void TestCurlEngine::failedTryThenResume()
{
    QFETCH(QByteArray, faults);
    QFETCH(int, tryEnd);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(bool, partKept);
    QFETCH(qint64, retryAfter);
    constexpr qint64 Size = 400000;
    TCurlEngine::SetStallRuleForTests(1024, 1);
    UnrulyServer server;
    QTemporaryDir dir;
    const QString file = dir.filePath("movie.bin");
    const QByteArray url = server.Url("/movie-400000.bin?" + faults);
    TCurlEngine engine;
    Outcomes out(engine);

    engine.Start(Job(1, url, file));
    QTRY_COMPARE_WITH_TIMEOUT(int(out.ById.size()), 1, 30000);
    const TDownloadOutcome first = out.ById[1];
    QCOMPARE(first.State, int(FileFailed));
    QCOMPARE(first.TryEnd, tryEnd);
    QCOMPARE(first.StatusCode, status);
    QVERIFY(first.Retryable);
    QCOMPARE(first.RetryAfterMs, retryAfter);
    if (reason == "*")
        QVERIFY(!first.Reason.isEmpty());
    else
        QCOMPARE(first.Reason, reason);
    QVERIFY(!QFile::exists(file));  // nothing under the final name
    QCOMPARE(QFile::exists(PartFilePath(file)), partKept);
    QCOMPARE(first.PartBytes > 0, partKept);
    if (partKept) {
        QCOMPARE(QFileInfo(PartFilePath(file)).size(), first.PartBytes);
        QCOMPARE(first.Validator, QByteArray("\"movie-v1\""));
    }

    TTransferJob again = Job(2, url, file);
    again.ResumeFrom = first.PartBytes;
    again.Validator = first.Validator;
    engine.Start(again);
    QTRY_COMPARE_WITH_TIMEOUT(int(out.ById.size()), 2, 30000);
    const TDownloadOutcome second = out.ById[2];
    QCOMPARE(second.State, int(FileDownloaded));
    QCOMPARE(second.Check.Size, Size);
    const int version = faults.contains("changed") ? 2 : 1;
    QVERIFY(ReadTestFile(file) == UnrulyServer::Body("movie", Size, version));
    QVERIFY(!QFile::exists(PartFilePath(file)));
    const QList<UnrulyServer::Request> requests = server.Requests();
    QCOMPARE(requests.size(), 2);
    // Only the missing bytes are asked for, and only while they are the same file's.
    const QByteArray range = partKept ? "bytes=" + QByteArray::number(first.PartBytes) + '-' : QByteArray();
    QCOMPARE(requests[1].Range, range);
    QCOMPARE(requests[1].IfRange, partKept ? QByteArray("\"movie-v1\"") : QByteArray());
    // A resumed drop costs no more than 5 % extra.
    if (partKept && version == 1)
        QVERIFY(first.BytesMoved + second.BytesMoved <= Size * 105 / 100);
    TCurlEngine::SetStallRuleForTests(TCurlEngine::StallBytesPerSecond, TCurlEngine::StallSeconds);
}

void TestCurlEngine::stopKeepsThePartForTheNextRun()
{
    UnrulyServer server;
    QTemporaryDir dir;
    const QString file = dir.filePath("big.bin");
    const QByteArray url = server.Url("/big-300000.bin?stall");
    {
        TCurlEngine engine;
        Outcomes out(engine);
        engine.Start(Job(1, url, file));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(PartFilePath(file)).size() == 1000, 30000);
        engine.StopAll();
        QTRY_COMPARE_WITH_TIMEOUT(int(out.ById.size()), 1, 30000);
        QCOMPARE(out.ById[1].Reason, QString("Stopped"));
        QCOMPARE(out.ById[1].PartBytes, qint64(1000));
    }
    // A later run knows nothing but the file: the part file itself says what it holds.
    TCurlEngine engine;
    Outcomes out(engine);
    engine.Start(Job(2, url, file));
    QTRY_COMPARE_WITH_TIMEOUT(int(out.ById.size()), 1, 30000);
    QCOMPARE(out.ById[2].State, int(FileDownloaded));
    QVERIFY(ReadTestFile(file) == UnrulyServer::Body("big", 300000));
    QCOMPARE(server.Requests().value(1).Range, QByteArray("bytes=1000-"));
    QCOMPARE(out.ById[2].BytesMoved, qint64(299000));
}

void TestCurlEngine::certificatesAsTheClassicClient_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("good") << int(TestCertificates::Kind::Good) << QString();
    QTest::newRow("unknown authority") << int(TestCertificates::Kind::Stranger) << QString("Certificate not trusted");
    QTest::newRow("expired") << int(TestCertificates::Kind::Expired) << QString("Certificate expired");
    QTest::newRow("other host") << int(TestCertificates::Kind::OtherHost)
                                << QString("Certificate does not match host 127.0.0.1");
}

void TestCurlEngine::certificatesAsTheClassicClient()
{
    QFETCH(int, kind);
    QFETCH(QString, reason);
    static TestCertificates certs;
    static const bool made = certs.Make();
    QVERIFY(made);
    certs.Trust();
    QTemporaryDir root;
    const QByteArray body = RandomTestBytes(50000, 3);
    QVERIFY(WriteTestFile(root.filePath("f.bin"), body));
    PyTlsServer server(PyTlsServer::Mode::Tls, root.path(), certs.Certificate(TestCertificates::Kind(kind)),
                       certs.Key());
    QVERIFY(server.Start());
    QTemporaryDir dir;
    TCurlEngine engine;
    Outcomes out(engine);
    engine.Start(Job(1, server.Url("/f.bin"), dir.filePath("f.bin")));
    QTRY_COMPARE_WITH_TIMEOUT(int(out.ById.size()), 1, 30000);
    const TDownloadOutcome& o = out.ById[1];
    QCOMPARE(o.Reason, reason);
    QCOMPARE(o.State, reason.isEmpty() ? int(FileDownloaded) : int(FileFailed));
    QCOMPARE(QFile::exists(dir.filePath("f.bin")), reason.isEmpty());
    if (reason.isEmpty())
        QVERIFY(ReadTestFile(dir.filePath("f.bin")) == body);
    else
        QVERIFY(!o.Retryable);
}

QTEST_GUILESS_MAIN(TestCurlEngine)
#include "test_curl_engine.moc"
