// The HTTP client between plain and TLS servers on 127.0.0.1 (Python's, with a test authority
// made at test time): redirects across schemes, relative redirects that keep https, the port in
// the Host line, and cookies taken over at a redirect that stay with the host (and the
// encryption) that set them.
#include <QTemporaryDir>
#include <QtTest>

#include "http/TNMHTTP.h"
#include "support/TlsTestServer.h"

class TestNMHTTPTls : public QObject {
    Q_OBJECT

    TestCertificates FCerts;
    QTemporaryDir FRoot;
    std::unique_ptr<PyTlsServer> FTls;
    std::unique_ptr<PyTlsServer> FPlain;

    // The request line and Host line that the echo path sent back.
    static QByteArray FirstTwoLines(const QByteArray& body)
    {
        const QList<QByteArray> lines = body.split('\n');
        return lines.size() < 2 ? body : lines[0] + "\n" + lines[1] + "\n";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FCerts.Make());
        FCerts.Trust();
        QVERIFY(FRoot.isValid());
        FTls = std::make_unique<PyTlsServer>(PyTlsServer::Mode::Tls, FRoot.path(),
                                             FCerts.Certificate(TestCertificates::Kind::Good), FCerts.Key());
        FPlain = std::make_unique<PyTlsServer>(PyTlsServer::Mode::Plain, FRoot.path());
        QVERIFY(FTls->Start());
        QVERIFY(FPlain->Start());
    }

    // Where a redirect chain ends: the scheme, the request and its Host line (with the port,
    // which is not the scheme's default here).
    void redirectsAcrossSchemes_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("lines");
        const QByteArray tlsHost = "Host: 127.0.0.1:" + QByteArray::number(FTls->Port()) + "\r\n";
        const QByteArray plainHost = "Host: 127.0.0.1:" + QByteArray::number(FPlain->Port()) + "\r\n";
        QTest::newRow("http to https") << FPlain->Url("/redirect?to=" + FTls->Url("/echo/a")) << true
                                       << "GET /echo/a HTTP/1.0\r\n" + tlsHost;
        QTest::newRow("https to http") << FTls->Url("/redirect?to=" + FPlain->Url("/echo/b")) << false
                                       << "GET /echo/b HTTP/1.0\r\n" + plainHost;
        QTest::newRow("relative path keeps https")
            << FTls->Url("/redirect?to=/echo/c") << true << "GET /echo/c HTTP/1.0\r\n" + tlsHost;
        QTest::newRow("relative name keeps https")
            << FTls->Url("/redirect?to=echo-d") << true << "GET /echo-d HTTP/1.0\r\n" + tlsHost;
        QTest::newRow("relative path stays plain")
            << FPlain->Url("/redirect?to=/echo/e") << false << "GET /echo/e HTTP/1.0\r\n" + plainHost;
    }
    void redirectsAcrossSchemes()
    {
        QFETCH(QByteArray, start);
        QFETCH(bool, tls);
        TNMHTTP http;
        http.TimeOut = 20000;
        int redirects = 0;
        http.OnRedirect = [&](bool&) { ++redirects; };
        http.Get(start);
        QCOMPARE(redirects, 1);
        QCOMPARE(http.ReplyCode, int16_t(200));
        QCOMPARE(http.UseTls, tls);
        QTEST(FirstTwoLines(http.Body), "lines");
    }

    // A cookie set at a redirect goes to later requests of the same host only, and one set over
    // https never over plain http; plain http keeps its cookie as before.
    void cookieStaysWithItsHost_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QByteArray>("later");  // a second request of the same client
        QTest::addColumn<bool>("atTarget");
        QTest::addColumn<bool>("atLater");
        QTest::newRow("https, same host")
            << FTls->Url("/redirect?to=/echo/1&cookie=a=b") << FTls->Url("/echo/2") << true << true;
        QTest::newRow("https to http, same host") << FTls->Url("/redirect?to=" + FPlain->Url("/echo/1") + "&cookie=a=b")
                                                  << FTls->Url("/echo/2") << false << true;
        QTest::newRow("https to another host")
            << FTls->Url("/redirect?to=" + FTls->Url("/echo/1", "localhost") + "&cookie=a=b") << FPlain->Url("/echo/2")
            << false << false;
        QTest::newRow("http, same host") << FPlain->Url("/redirect?to=/echo/1&cookie=a=b") << FPlain->Url("/echo/2")
                                         << true << true;
        QTest::newRow("http to https, same host") << FPlain->Url("/redirect?to=" + FTls->Url("/echo/1") + "&cookie=a=b")
                                                  << FTls->Url("/echo/2") << true << true;
    }
    void cookieStaysWithItsHost()
    {
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, later);
        QFETCH(bool, atTarget);
        QFETCH(bool, atLater);
        TNMHTTP http;
        http.TimeOut = 20000;
        http.Get(start);
        QVERIFY(http.Body.startsWith("GET /echo/1 "));
        QCOMPARE(http.HeaderInfo->Cookie, QByteArray("a=b"));
        QCOMPARE(http.Body.contains("\r\nCookie: a=b\r\n"), atTarget);
        http.Get(later);
        QVERIFY(http.Body.startsWith("GET /echo/2 "));
        QCOMPARE(http.Body.contains("\r\nCookie: a=b\r\n"), atLater);
        // A cookie the caller sets itself goes wherever the caller sends it.
        http.HeaderInfo->Cookie = "mine=1";
        http.Get(FPlain->Url("/echo/3", "localhost"));
        QVERIFY(http.Body.contains("\r\nCookie: mine=1\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestNMHTTPTls)
#include "test_nmhttp_tls.moc"
