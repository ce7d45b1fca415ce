// The reasons shown for failed items: which fact wins when several are known, and the words for
// each kind of failure the client reports.
#include <QtTest>

#include "rules/FailureReasons.h"

Q_DECLARE_METATYPE(FailureFacts)

class TestFailureReasons : public QObject {
    Q_OBJECT
private slots:
    void reasonFromWhatIsKnown_data();
    void reasonFromWhatIsKnown();
    void clientTextsInTheUsersWords_data();
    void clientTextsInTheUsersWords();
    void statusTextAfterACommand();
};

void TestFailureReasons::reasonFromWhatIsKnown_data()
{
    QTest::addColumn<FailureFacts>("facts");
    QTest::addColumn<QString>("reason");
    const auto facts = [](auto change) {
        FailureFacts f;
        change(f);
        return f;
    };
    QTest::newRow("nothing known: no failure") << FailureFacts{} << QString();
    QTest::newRow("refused connection") << facts([](FailureFacts& f) { f.ErrorText = "Connection refused"; })
                                        << "Connection refused";
    QTest::newRow("refused connect: the socket's cause") << facts([](FailureFacts& f) {
        f.ErrorText = "Connection Failed";
        f.SocketError = 10061;
    }) << "Connection refused";
    QTest::newRow("refused connect ended by the window's silent abort") << facts([](FailureFacts& f) {
        f.ErrorText = "Operation aborted";
        f.SocketError = 10061;
    }) << "Connection refused";
    QTest::newRow("a number left by another step says nothing") << facts([](FailureFacts& f) {
        f.ErrorText = "Connection Failed";
        f.SocketError = 10035;
    }) << "Connection Failed";
    QTest::newRow("a number does not rename other failures") << facts([](FailureFacts& f) {
        f.ErrorText = "Host Lookup Failed";
        f.SocketError = 10061;
    }) << "Host not found";
    QTest::newRow("404 with the server's phrase") << facts([](FailureFacts& f) {
        f.StatusLine = "HTTP/1.0 404 Not Found\r\n";
        f.ErrorText = "Operation aborted";  // the handler's silent abort says nothing
    }) << "HTTP 404 Not Found";
    QTest::newRow("phrase of the server's own words")
        << facts([](FailureFacts& f) { f.StatusLine = "HTTP/1.1 503 Back in five minutes, sorry\n"; })
        << "HTTP 503 Back in five minutes, sorry";
    QTest::newRow("error code without a phrase")
        << facts([](FailureFacts& f) { f.StatusLine = "HTTP/1.0 410\r\n"; }) << "HTTP 410";
    QTest::newRow("a redirect is no failure of its own") << facts([](FailureFacts& f) {
        f.StatusLine = "HTTP/1.0 302 Found\r\n";
        f.ErrorText = "Too many redirects";
    }) << "Too many redirects";
    QTest::newRow("stop wins over the abort it caused") << facts([](FailureFacts& f) {
        f.Stopped = true;
        f.IdleSeconds = 60;
        f.StatusLine = "HTTP/1.0 200 OK\r\n";
        f.ErrorText = "Socket capture aborted";
    }) << "Stopped";
    QTest::newRow("document watchdog") << facts([](FailureFacts& f) {
        f.IdleSeconds = 30;
        f.ErrorText = "Socket capture aborted";
    }) << "No data for 30 s";
    QTest::newRow("engine watchdog wins over a 200 reply") << facts([](FailureFacts& f) {
        f.IdleSeconds = 60;
        f.StatusLine = "HTTP/1.0 200 OK\r\n";
    }) << "No data for 60 s";
    QTest::newRow("999 bytes kept") << facts([](FailureFacts& f) { f.KeptSize = 999; }) << "Smaller than 1000 bytes";
    QTest::newRow("empty file kept") << facts([](FailureFacts& f) { f.KeptSize = 0; }) << "Smaller than 1000 bytes";
    QTest::newRow("1000 bytes kept: no failure") << facts([](FailureFacts& f) { f.KeptSize = 1000; }) << QString();
    QTest::newRow("a small error page is reported by its status") << facts([](FailureFacts& f) {
        f.StatusLine = "HTTP/1.0 500 Internal Server Error\r\n";
        f.KeptSize = 120;
    }) << "HTTP 500 Internal Server Error";
    QTest::newRow("write failure wins over the size it left") << facts([](FailureFacts& f) {
        f.ErrorText = "Cannot create file /srv/dl/a.jpg.part: Permission denied";
        f.KeptSize = 0;
    }) << "Could not write /srv/dl/a.jpg.part: Permission denied";
}

void TestFailureReasons::reasonFromWhatIsKnown()
{
    QFETCH(FailureFacts, facts);
    QFETCH(QString, reason);
    QCOMPARE(FailureReason(facts), reason);
}

void TestFailureReasons::clientTextsInTheUsersWords_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("look-up failed") << QByteArray("Host Lookup Failed") << "Host not found";
    QTest::newRow("no address after the look-up") << QByteArray("Null Remote Address") << "Host not found";
    QTest::newRow("socket table's text") << QByteArray("Host not found") << "Host not found";
    QTest::newRow("refused") << QByteArray("Connection refused") << "Connection refused";
    QTest::newRow("reset, as it is") << QByteArray("Connection reset by peer") << "Connection reset by peer";
    QTest::newRow("a TLS text, as it is") << QByteArray("TLS handshake failed: certificate has expired")
                                          << "TLS handshake failed: certificate has expired";
    QTest::newRow("file not created, unquoted")
        << QByteArray("Cannot create file /tmp/ro/pic.jpg.part: Permission denied")
        << "Could not write /tmp/ro/pic.jpg.part: Permission denied";
    QTest::newRow("file not written, quoted") << QByteArray("Cannot write file \"Head.txt\": No space left on device")
                                              << "Could not write Head.txt: No space left on device";
    QTest::newRow("a path holding \": \"") << QByteArray("Cannot create file /tmp/a: b/c.jpg: Read-only file system")
                                           << "Could not write /tmp/a: b/c.jpg: Read-only file system";
    QTest::newRow("no system reason") << QByteArray("Cannot create file /x/y") << "Could not write /x/y";
    QTest::newRow("surrounding blanks") << QByteArray("  Host Lookup Failed \r\n") << "Host not found";
}

void TestFailureReasons::clientTextsInTheUsersWords()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    QCOMPARE(ErrorReason(text), reason);
}

void TestFailureReasons::statusTextAfterACommand()
{
    QCOMPARE(NotActiveStatus(QString()), QStringLiteral("Status: Not active"));
    QCOMPARE(NotActiveStatus(QStringLiteral("HTTP 404 Not Found")),
             QStringLiteral("Status: Not active - HTTP 404 Not Found"));
    QCOMPARE(NotActiveStatus(NoDataReason(30)), QStringLiteral("Status: Not active - No data for 30 s"));
    QCOMPARE(HttpStatusReason("garbage"), QString());
    QCOMPARE(NoFreeNameReason("pic.jpg"), QStringLiteral("No free name for pic.jpg"));
    QCOMPARE(NoFreeNameReason(""), QStringLiteral("No file name"));
    QCOMPARE(HttpStatusReason("HTTP/1.0 abc Not Found\r\n"), QString());
}

QTEST_MAIN(TestFailureReasons)
#include "test_failure_reasons.moc"
