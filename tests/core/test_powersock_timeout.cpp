// The connect time-out: with TimeOut 10000 a connect that the peer never answers ends after about
// ten seconds, with OnConnectionFailed and then "Connection Timed out". Kept apart because it
// takes those ten seconds.
#include "http/TPowersock.h"
#include "support/LoopbackPeer.h"

#include <QElapsedTimer>
#include <QtTest>

class TestPowersockTimeout : public QObject {
    Q_OBJECT

private slots:
    void silentPeerTimesOut();
};

void TestPowersockTimeout::silentPeerTimesOut()
{
    SilentListener silent;
    QVERIFY(silent.Full());
    TPowersock sock;
    QList<QByteArray> events;
    sock.OnConnectionFailed = [&](TPowersock*) { events << "failed"; };
    sock.OnConnect = [&](TPowersock*) { events << "connect"; };
    sock.OnStatus = [&](TPowersock*, const QByteArray& s) {
        if (s.startsWith("Timer"))
            events << s;
    };
    sock.ReportLevel = 8;
    sock.Host = "127.0.0.1";
    sock.Port = silent.Port();
    sock.TimeOut = 10000;
    QElapsedTimer clock;
    clock.start();
    QByteArray error;
    try {
        sock.Connect();
    } catch (const ESockError& e) {
        error = e.Message;
    }
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(error, QByteArray("Connection Timed out"));
    // Not before the limit (a lower bound only: how much later depends on the machine).
    QVERIFY2(elapsed >= 9900, QByteArray::number(elapsed).constData());
    QCOMPARE(events, (QList<QByteArray>{"Timer On", "Timer Triggered", "Timer Off", "Timer Off", "failed"}));
    QVERIFY(!sock.Connected);
    QVERIFY(!sock.CancelRequested());
    // The pending connect is left behind; a Disconnect renews the socket for the next use.
    sock.Disconnect();
    LoopbackPeer peer([](int fd) { LoopbackPeer::SendAll(fd, "up\n"); });
    sock.Port = peer.Port();
    sock.Connect();
    QCOMPARE(sock.ReadLn(), QByteArray("up\n"));
}

QTEST_GUILESS_MAIN(TestPowersockTimeout)
#include "test_powersock_timeout.moc"
