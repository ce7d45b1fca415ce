// The socket component's TLS channel, through the HTTP client, against Python's ssl server on
// 127.0.0.1 with certificates made at test time: pages and files arrive byte-exact whichever
// way the server ends the session, bad certificates and broken handshakes fail with their
// reasons before anything is sent or kept, and Cancel, the time-out and Stop end TLS waits.
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <functional>
#include <mutex>

#include "http/HttpRules.h"
#include "http/TNMHTTP.h"
#include "support/LoopbackPeer.h"
#include "support/TestFiles.h"
#include "support/TlsTestServer.h"

namespace {

using Kind = TestCertificates::Kind;

// The message of what the request raised ("" when it succeeded), and whether it was a TLS error.
struct Outcome {
    QByteArray Message;
    bool Tls = false;
    bool Abort = false;
};
Outcome Run(const std::function<void()>& request)
{
    try {
        request();
    } catch (const ETlsError& e) {
        return {e.Message, true, false};
    } catch (const EAbortError& e) {
        return {e.Message, false, true};
    } catch (const Exception& e) {
        return {e.Message, false, false};
    }
    return {};
}

}  // namespace

class TestPowersockTls : public QObject {
    Q_OBJECT

    TestCertificates FCerts;
    QTemporaryDir FRoot;
    std::unique_ptr<PyTlsServer> FServer;  // the good certificate
    QByteArray FPage;
    QByteArray FBig;

private slots:
    void initTestCase()
    {
        QVERIFY(FCerts.Make());
        FCerts.Trust();
        QVERIFY(FRoot.isValid());
        FPage = "<html><a href=\"a.html\">a</a> <img src=\"b.jpg\"></html>\n";
        FBig = RandomTestBytes(3 * 1024 * 1024 + 12345, 7);
        QVERIFY(WriteTestFile(FRoot.filePath("page.html"), FPage));
        QVERIFY(WriteTestFile(FRoot.filePath("big.bin"), FBig));
        FServer = std::make_unique<PyTlsServer>(PyTlsServer::Mode::Tls, FRoot.path(), FCerts.Certificate(Kind::Good),
                                                FCerts.Key());
        QVERIFY(FServer->Start());
    }

    // A body that ends early, or whose session ends in a way that cannot tell a whole body from
    // a cut one, fails with the reason, as a page and as a file.
    void cutStreamsFail_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<bool>("toFile");
        QTest::addColumn<QByteArray>("reason");  // what the message starts with; empty: whole
        const QByteArray half = GroupedNumber(FBig.size() / 2);
        for (const bool toFile : {false, true}) {
            const char* mode = toFile ? "file" : "page";
            QTest::addRow("%s: length announced, cut", mode)
                << QByteArray("/cut") << toFile
                << "Connection closed after " + half + " of " + GroupedNumber(FBig.size()) + " bytes";
            QTest::addRow("%s: no length, no close_notify", mode)
                << QByteArray("/nolength") << toFile
                << "TLS session ended without close_notify after " + GroupedNumber(FBig.size()) + " bytes";
            QTest::addRow("%s: no length, close_notify", mode)
                << QByteArray("/nolength-notify") << toFile << QByteArray();
            QTest::addRow("%s: no length, broken record", mode)
                << QByteArray("/badrecord") << toFile << QByteArray("TLS record error: ");
        }
    }
    void cutStreamsFail()
    {
        QFETCH(QByteArray, prefix);
        QFETCH(bool, toFile);
        QFETCH(QByteArray, reason);
        QTemporaryDir out;
        TNMHTTP http;
        http.TimeOut = 20000;
        http.InputFileMode = toFile;
        if (toFile)
            http.Body = QFile::encodeName(out.filePath("big.bin"));
        const Outcome o = Run([&] { http.Get(FServer->Url(prefix + "/big.bin")); });
        QVERIFY2(o.Message.startsWith(reason), o.Message.constData());
        QCOMPARE(o.Message.isEmpty(), reason.isEmpty());
        QCOMPARE(http.LastFailure, o.Message);
        if (reason.isEmpty())
            QVERIFY((toFile ? ReadTestFile(out.filePath("big.bin")) : http.Body) == FBig);
        else if (reason.startsWith("TLS record"))
            QVERIFY(o.Message.endsWith(" bytes"));
    }

    // A page into memory and a large file into a file arrive byte-exact, by address and by
    // name (the name is also the server name sent), whether the server ends with close_notify
    // (answered) or just closes.
    void transfersAreByteExact_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("address, plain close") << QByteArray("127.0.0.1") << QByteArray("");
        QTest::newRow("name, plain close") << QByteArray("localhost") << QByteArray("");
        QTest::newRow("address, close_notify") << QByteArray("127.0.0.1") << QByteArray("/notify");
        QTest::newRow("close_notify, socket left open") << QByteArray("127.0.0.1") << QByteArray("/notify-hold");
    }
    void transfersAreByteExact()
    {
        QFETCH(QByteArray, host);
        QFETCH(QByteArray, prefix);
        QTemporaryDir out;
        TNMHTTP http;
        http.TimeOut = 20000;
        int disconnects = 0;
        http.OnDisconnect = [&](TPowersock*) { ++disconnects; };
        // The callers' watchdog: a body that never ends is cut (and the request fails).
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] { http.Cancel(); });
        watchdog.start(30000);

        http.Get(FServer->Url(prefix + "/page.html", host));
        QCOMPARE(http.ReplyCode, int16_t(200));
        QCOMPARE(http.Body, FPage);
        QVERIFY(http.LastFailure.isEmpty());
        QVERIFY(http.Header.startsWith("HTTP/1.0 200"));

        http.InputFileMode = true;
        http.Body = QFile::encodeName(out.filePath("big.bin"));
        qint64 packets = 0;
        http.OnPacketRecvd = [&](TPowersock*) { ++packets; };
        http.Get(FServer->Url(prefix + "/big.bin", host));
        QCOMPARE(http.ReplyCode, int16_t(200));
        QCOMPARE(http.BytesTotal, int64_t(FBig.size()));
        QCOMPARE(http.BytesRecvd, int64_t(FBig.size()));
        QVERIFY(ReadTestFile(out.filePath("big.bin")) == FBig);
        QVERIFY(packets > 1);
        QVERIFY(!http.Connected);
        // Each request: the server's end and the client's own Disconnect.
        QCOMPARE(disconnects, 4);
    }

    // Certificates that must not be accepted, and a server that does not speak TLS: the request
    // fails with its reason before any request byte is sent; nothing is written, the event for a
    // failed connection fires, and the component is ready for the next request.
    void refusedSessions_data()
    {
        QTest::addColumn<int>("kind");  // -1: a plain HTTP server
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("expired") << int(Kind::Expired) << QByteArray("127.0.0.1") << QByteArray("Certificate expired");
        QTest::newRow("unknown authority")
            << int(Kind::Stranger) << QByteArray("127.0.0.1") << QByteArray("Certificate not trusted");
        QTest::newRow("other host, by address") << int(Kind::OtherHost) << QByteArray("127.0.0.1")
                                                << QByteArray("Certificate does not match host 127.0.0.1");
        QTest::newRow("other host, by name") << int(Kind::OtherHost) << QByteArray("localhost")
                                             << QByteArray("Certificate does not match host localhost");
        QTest::newRow("plain server") << -1 << QByteArray("127.0.0.1") << QByteArray("TLS handshake failed: ");
    }
    void refusedSessions()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, host);
        QFETCH(QByteArray, reason);
        QTemporaryDir out;
        const bool plain = kind < 0;
        PyTlsServer server(plain ? PyTlsServer::Mode::Plain : PyTlsServer::Mode::Tls, FRoot.path(),
                           plain ? QString() : FCerts.Certificate(Kind(kind)), FCerts.Key());
        QVERIFY(server.Start());
        QByteArray url = server.Url("/page.html", host);
        if (plain)
            url.replace("http://", "https://");

        TNMHTTP http;
        http.TimeOut = 20000;
        http.InputFileMode = true;
        http.Body = QFile::encodeName(out.filePath("page.html"));
        int failedEvents = 0;
        bool sentSomething = false;
        http.OnConnectionFailed = [&](TPowersock*) { ++failedEvents; };
        http.OnStatus = [&](TPowersock*, const QByteArray& s) { sentSomething |= s == "Sending Buffer"; };
        http.ReportLevel = 4;
        const Outcome outcome = Run([&] { http.Get(url); });
        QVERIFY2(outcome.Message.startsWith(reason), outcome.Message.constData());
        QVERIFY(outcome.Tls);
        QCOMPARE(http.LastFailure, outcome.Message);
        QCOMPARE(failedEvents, 1);
        QVERIFY(!sentSomething);
        QVERIFY(!http.Connected);
        QVERIFY(!QFile::exists(out.filePath("page.html")));

        // The same client then fetches from a good server.
        http.InputFileMode = false;
        http.Get(FServer->Url("/page.html"));
        QCOMPARE(http.Body, FPage);
        QVERIFY(http.LastFailure.isEmpty());
    }

    // A server that accepts and then never answers the handshake: the caller's watchdog (Cancel
    // and Disconnect, as the window's document timer does) or the connect time limit ends it.
    void stalledHandshakeEnds_data()
    {
        QTest::addColumn<bool>("watchdog");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("watchdog") << true << QByteArray("TLS handshake failed: canceled");
        QTest::newRow("time limit") << false << QByteArray("TLS handshake failed: timed out");
    }
    void stalledHandshakeEnds()
    {
        QFETCH(bool, watchdog);
        QFETCH(QByteArray, reason);
        PyTlsServer stall(PyTlsServer::Mode::Stall, FRoot.path());
        QVERIFY(stall.Start());
        TNMHTTP http;
        http.TimeOut = watchdog ? 0 : 300;
        bool connected = false;
        http.OnConnect = [&](TPowersock*) { connected = true; };
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            http.Cancel();
            http.Disconnect();
        });
        if (watchdog)
            timer.start(300);
        const Outcome outcome = Run([&] { http.Get("https://127.0.0.1:" + QByteArray::number(stall.Port()) + "/"); });
        QCOMPARE(outcome.Message, reason);
        QVERIFY(outcome.Tls);
        QVERIFY(connected);  // the TCP connection was up; only the handshake stalled
        QVERIFY(!http.Connected);
    }

    // A peer that closes the connection in the middle of the handshake.
    void closedDuringHandshake()
    {
        LoopbackPeer peer([](int fd) { LoopbackPeer::ReadCount(fd, 10); });
        TNMHTTP http;
        http.TimeOut = 20000;
        const Outcome outcome = Run([&] { http.Get("https://127.0.0.1:" + QByteArray::number(peer.Port()) + "/x"); });
        QCOMPARE(outcome.Message, QByteArray("Connection closed during TLS handshake"));
        QCOMPARE(http.LastFailure, outcome.Message);
    }

    // Stop during a TLS download: Cancel from the packet event ends the capture with the
    // capture's abort; the client fetches the next file normally.
    void cancelDuringDownload()
    {
        QTemporaryDir out;
        TNMHTTP http;
        http.TimeOut = 20000;
        http.InputFileMode = true;
        http.Body = QFile::encodeName(out.filePath("slow.bin"));
        http.OnPacketRecvd = [&](TPowersock*) {
            if (http.BytesRecvd > 10000)
                http.Cancel();
        };
        const Outcome outcome = Run([&] { http.Get(FServer->Url("/slow/big.bin")); });
        QCOMPARE(outcome.Message, QByteArray("Socket capture aborted"));
        QVERIFY(outcome.Abort);
        QVERIFY(http.BytesRecvd < FBig.size());
        QVERIFY(!http.Connected);

        http.OnPacketRecvd = nullptr;
        http.Body = QFile::encodeName(out.filePath("page.html"));
        http.Get(FServer->Url("/page.html"));
        QCOMPARE(ReadTestFile(out.filePath("page.html")), FPage);
    }

    // Eight clients on eight threads at once, all sharing the one TLS context, each fetching a
    // few files byte-exact.
    void eightThreadsAtOnce()
    {
        constexpr int Threads = 8;
        constexpr int Rounds = 3;
        const QByteArray part = FBig.left(300000);
        QVERIFY(WriteTestFile(FRoot.filePath("part.bin"), part));
        std::mutex lock;
        QStringList failures;
        std::atomic<int> finished{0};
        std::vector<QThread*> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.push_back(QThread::create([&, t] {
                try {
                    for (int r = 0; r < Rounds; ++r) {
                        TNMHTTP http;
                        http.TimeOut = 60000;
                        http.Get(FServer->Url("/part.bin", (t + r) % 2 ? "localhost" : "127.0.0.1"));
                        if (http.Body != part) {
                            std::lock_guard g(lock);
                            failures << QString("thread %1 round %2: %3 bytes").arg(t).arg(r).arg(http.Body.size());
                        }
                    }
                } catch (const std::exception& e) {
                    std::lock_guard g(lock);
                    failures << QString("thread %1: %2").arg(t).arg(QString::fromLatin1(e.what()));
                }
                finished.fetch_add(1, std::memory_order_release);
            }));
        }
        for (QThread* thread : threads)
            thread->start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.load(std::memory_order_acquire), Threads, 180000);
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestPowersockTls)
#include "test_powersock_tls.moc"
