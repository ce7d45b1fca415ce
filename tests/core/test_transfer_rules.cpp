// The transfer rules, called directly: bars for counts of any size, which failures are tried
// again and when, what a waiting file says, what an answer to a resumed request means, and how a
// host's manners limit its connections.
#include <QTest>

#include <QDateTime>
#include <QTimeZone>

#include "rules/TransferRules.h"

class TestTransferRules : public QObject {
    Q_OBJECT
private slots:
    void gaugeValues_data();
    void gaugeValues();
    void retryable_data();
    void retryable();
    void backoff();
    void retryAfter_data();
    void retryAfter();
    void nextWait_data();
    void nextWait();
    void texts();
    void contentRange_data();
    void contentRange();
    void resume_data();
    void resume();
    void validator();
    void hostManners();
};

void TestTransferRules::gaugeValues_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("position");
    QTest::newRow("small, known") << qint64(500) << qint64(1000) << 1000 << 500;
    QTest::newRow("unknown length: half way") << qint64(300) << qint64(0) << 600 << 300;
    QTest::newRow("nothing yet, unknown") << qint64(0) << qint64(0) << 0 << 0;
    QTest::newRow("2.5 GiB, half done") << qint64(1342177280) << qint64(2684354560) << 1342177280 << 671088640;
    QTest::newRow("2.5 GiB, done") << qint64(2684354560) << qint64(2684354560) << 1342177280 << 1342177280;
    QTest::newRow("3 GiB, unknown length") << qint64(3221225472) << qint64(0) << 2147483646 << 1073741823;
}

void TestTransferRules::gaugeValues()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    const TGaugeValues values = GaugeValuesFor(received, total);
    QTEST(int(values.Maximum), "maximum");
    QTEST(int(values.Position), "position");
}

void TestTransferRules::retryable_data()
{
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("again");
    QTest::newRow("refused") << int(TTryEnd::Refused) << 0 << true;
    QTest::newRow("reset") << int(TTryEnd::Reset) << 0 << true;
    QTest::newRow("timed out") << int(TTryEnd::TimedOut) << 0 << true;
    QTest::newRow("stalled") << int(TTryEnd::Stalled) << 0 << true;
    QTest::newRow("cut body") << int(TTryEnd::Cut) << 200 << true;
    for (int status : {408, 425, 429, 500, 502, 503, 504})
        QTest::addRow("HTTP %d", status) << int(TTryEnd::HttpError) << status << true;
    for (int status : {400, 401, 403, 404, 410, 501, 505})
        QTest::addRow("HTTP %d is final", status) << int(TTryEnd::HttpError) << status << false;
    QTest::newRow("certificate or bad address") << int(TTryEnd::Fatal) << 0 << false;
    QTest::newRow("done") << int(TTryEnd::Done) << 200 << false;
}

void TestTransferRules::retryable()
{
    QFETCH(int, end);
    QFETCH(int, status);
    QTEST(IsRetryable(TTryEnd(end), status), "again");
}

void TestTransferRules::backoff()
{
    // Without jitter's spread (0.5 is the middle) the waits double from one second.
    QCOMPARE(BackoffMs(2, 0.5), qint64(1000));
    QCOMPARE(BackoffMs(3, 0.5), qint64(2000));
    QCOMPARE(BackoffMs(4, 0.5), qint64(4000));
    QCOMPARE(BackoffMs(5, 0.5), qint64(8000));
    QCOMPARE(BackoffMs(6, 0.5), qint64(16000));
    QCOMPARE(BackoffMs(40, 0.5), MaxBackoffMs);
    // Jitter spreads each wait over three quarters to five quarters, never past the cap.
    QCOMPARE(BackoffMs(3, 0.0), qint64(1500));
    QCOMPARE(BackoffMs(3, 0.999), qint64(2499));
    QCOMPARE(BackoffMs(40, 0.999), MaxBackoffMs);
}

void TestTransferRules::retryAfter_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("ms");
    QTest::newRow("seconds") << QByteArray("2") << qint64(2000);
    QTest::newRow("seconds with spaces") << QByteArray(" 120 ") << qint64(120000);
    QTest::newRow("zero") << QByteArray("0") << qint64(0);
    QTest::newRow("IMF date, 30 s ahead") << QByteArray("Tue, 08 Dec 2026 21:00:30 GMT") << qint64(30000);
    QTest::newRow("RFC 850 date") << QByteArray("Tuesday, 08-Dec-26 21:01:00 GMT") << qint64(60000);
    QTest::newRow("asctime date") << QByteArray("Tue Dec  8 21:00:05 2026") << qint64(5000);
    QTest::newRow("date in the past") << QByteArray("Tue, 08 Dec 2026 20:00:00 GMT") << qint64(0);
    QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
    QTest::newRow("fraction") << QByteArray("1.5") << qint64(-1);
    QTest::newRow("words") << QByteArray("soon") << qint64(-1);
    QTest::newRow("empty") << QByteArray("") << qint64(-1);
}

void TestTransferRules::retryAfter()
{
    QFETCH(QByteArray, value);
    const QDateTime now(QDate(2026, 12, 8), QTime(21, 0, 0), QTimeZone::utc());
    QTEST(RetryAfterMs(value, now), "ms");
}

void TestTransferRules::nextWait_data()
{
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("triesDone");
    QTest::addColumn<qint64>("retryAfter");
    QTest::addColumn<qint64>("wait");
    QTest::newRow("first failure: one second") << int(TTryEnd::Reset) << 0 << 1 << qint64(-1) << qint64(1000);
    QTest::newRow("fourth failure: eight seconds") << int(TTryEnd::Cut) << 200 << 4 << qint64(-1) << qint64(8000);
    QTest::newRow("fifth failure: no more") << int(TTryEnd::Reset) << 0 << 5 << qint64(-1) << qint64(-1);
    QTest::newRow("server's wait wins") << int(TTryEnd::HttpError) << 429 << 1 << qint64(3000) << qint64(3000);
    QTest::newRow("server's wait beyond the backoff cap")
        << int(TTryEnd::HttpError) << 503 << 2 << qint64(90000) << qint64(90000);
    QTest::newRow("server's wait too long") << int(TTryEnd::HttpError) << 503 << 1 << MaxRetryAfterMs + 1 << qint64(-1);
    QTest::newRow("not found: final") << int(TTryEnd::HttpError) << 404 << 1 << qint64(-1) << qint64(-1);
}

void TestTransferRules::nextWait()
{
    QFETCH(int, end);
    QFETCH(int, status);
    QFETCH(int, triesDone);
    QFETCH(qint64, retryAfter);
    QTEST(NextTryWaitMs(TTryEnd(end), status, triesDone, retryAfter, 0.5), "wait");
}

void TestTransferRules::texts()
{
    QCOMPARE(WaitingText(2000, "HTTP 429 Too Many Requests", 2),
             QString("Waiting 2 s: HTTP 429 Too Many Requests, try 2 of 5"));
    QCOMPARE(WaitingText(1200, "Connection refused", 3), QString("Waiting 2 s: Connection refused, try 3 of 5"));
    QCOMPARE(FinalReasonText("HTTP 503 Service Unavailable", 5), QString("HTTP 503 Service Unavailable (5 tries)"));
    QCOMPARE(FinalReasonText("HTTP 404 Not Found", 1), QString("HTTP 404 Not Found"));
}

void TestTransferRules::contentRange_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<qint64>("length");
    QTest::newRow("range of known length")
        << QByteArray("bytes 100-199/1000") << true << qint64(100) << qint64(199) << qint64(1000);
    QTest::newRow("unknown length") << QByteArray("bytes 0-9/*") << true << qint64(0) << qint64(9) << qint64(-1);
    QTest::newRow("beyond 32 bits") << QByteArray("bytes 2147483648-2684354559/2684354560") << true
                                    << qint64(2147483648) << qint64(2684354559) << qint64(2684354560);
    QTest::newRow("unsatisfied") << QByteArray("bytes */1000") << true << qint64(-1) << qint64(-1) << qint64(1000);
    QTest::newRow("last before first") << QByteArray("bytes 9-0/10") << false << qint64(-1) << qint64(-1) << qint64(-1);
    QTest::newRow("last past length") << QByteArray("bytes 0-10/10") << false << qint64(-1) << qint64(-1) << qint64(-1);
    QTest::newRow("other unit") << QByteArray("items 0-1/2") << false << qint64(-1) << qint64(-1) << qint64(-1);
    QTest::newRow("empty") << QByteArray() << false << qint64(-1) << qint64(-1) << qint64(-1);
}

void TestTransferRules::contentRange()
{
    QFETCH(QByteArray, value);
    const TContentRange range = ParseContentRange(value);
    QTEST(range.Valid, "valid");
    QTEST(range.First, "first");
    QTEST(range.Last, "last");
    QTEST(range.Length, "length");
}

void TestTransferRules::resume_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<int>("action");
    QTest::newRow("206 from the first missing byte appends")
        << 206 << qint64(51200) << QByteArray("bytes 51200-99999/100000") << int(TResumeAction::Append);
    QTest::newRow("206 of other bytes: start afresh")
        << 206 << qint64(51200) << QByteArray("bytes 0-99999/100000") << int(TResumeAction::Discard);
    QTest::newRow("206 without a range: start afresh")
        << 206 << qint64(51200) << QByteArray() << int(TResumeAction::Discard);
    QTest::newRow("200 restarts from zero") << 200 << qint64(51200) << QByteArray() << int(TResumeAction::Restart);
    QTest::newRow("416 restarts") << 416 << qint64(51200) << QByteArray("bytes */100000")
                                  << int(TResumeAction::Discard);
    QTest::newRow("416 of exactly the part file: whole")
        << 416 << qint64(100000) << QByteArray("bytes */100000") << int(TResumeAction::Complete);
    QTest::newRow("an error is no body") << 503 << qint64(51200) << QByteArray() << int(TResumeAction::NotBody);
}

void TestTransferRules::resume()
{
    QFETCH(int, status);
    QFETCH(qint64, from);
    QFETCH(QByteArray, contentRange);
    QTEST(int(ResumeDecision(status, from, contentRange)), "action");
}

void TestTransferRules::validator()
{
    QCOMPARE(ResumeValidator("\"abc\"", "Tue, 08 Dec 2026 21:00:00 GMT"), QByteArray("\"abc\""));
    QCOMPARE(ResumeValidator("W/\"abc\"", "Tue, 08 Dec 2026 21:00:00 GMT"),
             QByteArray("Tue, 08 Dec 2026 21:00:00 GMT"));
    QCOMPARE(ResumeValidator("", ""), QByteArray());
}

void TestTransferRules::hostManners()
{
    THostState host;
    QCOMPARE(HostConnectionLimit(host, DefaultHostConnections), 2);
    NoteHostAnswer(host, 429, 5000, 1000);
    QCOMPARE(host.NotBeforeMs, qint64(6000));
    QCOMPARE(HostConnectionLimit(host, 8), 1);  // one connection until it answers well
    NoteHostAnswer(host, 404, -1, 2000);        // an answer, but not a good one
    QCOMPARE(HostConnectionLimit(host, 8), 1);
    NoteHostAnswer(host, 200, 1000, 3000);  // a shorter wait never shortens the longer one
    QCOMPARE(host.NotBeforeMs, qint64(6000));
    QCOMPARE(HostConnectionLimit(host, 8), 8);
    NoteHostAnswer(host, 503, -1, 4000);
    QCOMPARE(HostConnectionLimit(host, 4), 1);
}

QTEST_GUILESS_MAIN(TestTransferRules)
#include "test_transfer_rules.moc"
