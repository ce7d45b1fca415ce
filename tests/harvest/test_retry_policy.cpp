// After a try: another one (when, from which bytes, with what text) or the final reason; and a
// host's answer for its other files.
#include <QTest>

#include "core/TRetryPolicy.h"

namespace {
TDownloadOutcome Failed(TTryEnd end, int status, const QString& reason, qint64 retryAfter = -1)
{
    TDownloadOutcome o;
    o.State = FileFailed;
    o.TryEnd = int(end);
    o.StatusCode = status;
    o.Reason = reason;
    o.RetryAfterMs = retryAfter;
    return o;
}
}  // namespace

class TestRetryPolicy : public QObject {
    Q_OBJECT
private slots:
    void decisions_data();
    void decisions();
    void nextTryContinuesTheKeptBytes();
    void hostManners();
};

void TestRetryPolicy::decisions_data()
{
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<qint64>("retryAfter");
    QTest::addColumn<int>("triesDone");
    QTest::addColumn<bool>("retry");
    QTest::addColumn<qint64>("notBefore");
    QTest::addColumn<QString>("text");
    QTest::newRow("429 waits as asked") << int(TTryEnd::HttpError) << 429 << QString("HTTP 429 Too Many Requests")
                                        << qint64(2000) << 1 << true << qint64(12000)
                                        << QString("Waiting 2 s: HTTP 429 Too Many Requests, try 2 of 5");
    QTest::newRow("cut body backs off")
        << int(TTryEnd::Cut) << 200 << QString("Connection closed after 51,200 of 100,000 bytes") << qint64(-1) << 2
        << true << qint64(12000) << QString("Waiting 2 s: Connection closed after 51,200 of 100,000 bytes, try 3 of 5");
    QTest::newRow("fifth try is the last")
        << int(TTryEnd::HttpError) << 503 << QString("HTTP 503 Service Unavailable") << qint64(1000) << 5 << false
        << qint64(0) << QString("HTTP 503 Service Unavailable (5 tries)");
    QTest::newRow("404 is final at once") << int(TTryEnd::HttpError) << 404 << QString("HTTP 404 Not Found")
                                          << qint64(-1) << 1 << false << qint64(0) << QString("HTTP 404 Not Found");
}

void TestRetryPolicy::decisions()
{
    QFETCH(int, end);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(qint64, retryAfter);
    QFETCH(int, triesDone);
    const TRetryDecision d =
        DecideAfterTry({}, Failed(TTryEnd(end), status, reason, retryAfter), triesDone, 10000, 0.5);
    QTEST(d.Retry, "retry");
    QTEST(d.NotBeforeMs, "notBefore");
    QTEST(d.Text, "text");
}

void TestRetryPolicy::nextTryContinuesTheKeptBytes()
{
    TTransferJob job;
    job.ItemId = 9;
    job.Address = "http://h/movie.bin";
    TDownloadOutcome o = Failed(TTryEnd::Cut, 200, "Connection closed after 5 of 10 bytes");
    o.PartBytes = 5;
    o.Validator = "\"v1\"";
    const TRetryDecision d = DecideAfterTry(job, o, 1, 0, 0.5);
    QVERIFY(d.Retry);
    QCOMPARE(d.Next.ItemId, uint64_t(9));
    QCOMPARE(d.Next.Address, job.Address);
    QCOMPARE(d.Next.ResumeFrom, qint64(5));
    QCOMPARE(d.Next.Validator, QByteArray("\"v1\""));
}

void TestRetryPolicy::hostManners()
{
    THostManners hosts;
    hosts.Note("http://a", Failed(TTryEnd::HttpError, 429, "x", 3000), 1000);
    QCOMPARE(hosts.NotBefore("http://a"), qint64(4000));
    QCOMPARE(hosts.Limit("http://a", 2), 1);
    QCOMPARE(hosts.NotBefore("http://b"), qint64(0));  // other hosts go on
    QCOMPARE(hosts.Limit("http://b", 2), 2);
    TDownloadOutcome good;
    good.State = FileDownloaded;
    good.StatusCode = 200;
    hosts.Note("http://a", good, 5000);
    QCOMPARE(hosts.Limit("http://a", 2), 2);
}

QTEST_GUILESS_MAIN(TestRetryPolicy)
#include "test_retry_policy.moc"
