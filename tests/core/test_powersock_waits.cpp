// The socket component's waits sleep on their thread's events: an idle wait does not wake up
// on its own, and a Cancel from another thread still ends it at once.
#include "http/TPowersock.h"
#include "support/LoopbackPeer.h"

#include <QAbstractEventDispatcher>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <mutex>

#include <atomic>
#include <memory>

namespace {

// Connects `sock` first when the wait needs a connection.
void Prepare(TPowersock& sock, const QString& wait)
{
    if (wait != "connect" && wait != "accept")
        sock.Connect();
}

// Runs one named wait of `sock` until it raises; returns the error text ("" when none raised).
QByteArray RunWait(TPowersock& sock, const QString& wait, const QString& dir)
{
    try {
        if (wait == "connect") {
            sock.Connect();
        } else if (wait == "accept") {
            sock.Accept();
        } else if (wait == "readLn") {
            sock.ReadLn();
        } else if (wait == "captureString") {
            QByteArray text;
            sock.CaptureString(text, -1);
        } else if (wait == "captureFile") {
            sock.CaptureFile(dir + QStringLiteral("/out.bin"));
        }
    } catch (const ESockError& e) {
        return e.Message;
    }
    return {};
}

void AddWaitRows()
{
    QTest::addColumn<QString>("wait");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("connect to a full listener") << "connect" << QByteArray("Connection Canceled");
    QTest::newRow("read line from a silent peer") << "readLn" << QByteArray("Socket readln aborted");
    QTest::newRow("capture string from a silent peer") << "captureString" << QByteArray("Socket capture aborted");
    QTest::newRow("capture file from a silent peer") << "captureFile" << QByteArray("Socket capture aborted");
    QTest::newRow("accept with nobody calling") << "accept" << QByteArray("Accepting Canceled");
}

// The peer of every row: a connection that is accepted and then neither read nor written, or
// for "connect" a listener whose queue is full, so the connect stays pending.
struct SilentSide {
    LoopbackPeer peer{[](int fd) { LoopbackPeer::WaitForClose(fd); }};
    std::unique_ptr<SilentListener> full;
    int Port(const QString& wait)
    {
        if (wait != "connect")
            return peer.Port();
        full = std::make_unique<SilentListener>();
        return full->Full() ? full->Port() : -1;
    }
};

}  // namespace

class TestPowersockWaits : public QObject {
    Q_OBJECT

private slots:
    void idleWaitDoesNotPoll_data() { AddWaitRows(); }
    void idleWaitDoesNotPoll();
    void cancelFromAnotherThreadWakesTheWait_data() { AddWaitRows(); }
    void cancelFromAnotherThreadWakesTheWait();
};

// A wait with nothing to do sleeps until its timer (here the Cancel) comes. Sleeping a fixed slice
// and looking again would block and wake about a hundred times in the 200 ms before the Cancel.
void TestPowersockWaits::idleWaitDoesNotPoll()
{
    QFETCH(QString, wait);
    QFETCH(QByteArray, error);
    SilentSide side;
    QTemporaryDir dir;
    TPowersock sock;
    sock.Host = "127.0.0.1";
    sock.Port = side.Port(wait);
    QVERIFY(sock.Port > 0);

    int sleeps = 0;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QVERIFY(dispatcher);
    const auto counting = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [&] { ++sleeps; });
    Prepare(sock, wait);
    QObject context;
    QTimer::singleShot(200, &context, [&sock] { sock.Cancel(); });
    const QByteArray text = RunWait(sock, wait, dir.path());
    disconnect(counting);

    QCOMPARE(text, error);
    QVERIFY2(sleeps >= 1 && sleeps < 20, qPrintable(QStringLiteral("%1 sleeps").arg(sleeps)));
    sock.Disconnect();
}

// Nothing but the Cancel can end these waits (no time-out, no timers in the waiting thread), and
// the Cancel comes from another thread only once the wait sleeps.
void TestPowersockWaits::cancelFromAnotherThreadWakesTheWait()
{
    QFETCH(QString, wait);
    QFETCH(QByteArray, error);
    SilentSide side;
    const int port = side.Port(wait);
    QVERIFY(port > 0);
    QTemporaryDir dir;

    std::atomic<TPowersock*> waiting{nullptr};
    std::atomic<bool> asleep{false};
    // The result crosses threads under a lock the sanitizer sees (QThread::wait synchronises
    // inside Qt, where it cannot).
    std::mutex textLock;
    QByteArray text = "not ended";
    std::unique_ptr<QThread> worker(QThread::create([&] {
        TPowersock sock;
        sock.Host = "127.0.0.1";
        sock.Port = port;
        Prepare(sock, wait);
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(
            dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher,
            [&] {
                if (waiting.load())
                    asleep = true;
            },
            Qt::DirectConnection);
        waiting = &sock;
        const QByteArray ended = RunWait(sock, wait, dir.path());
        {
            const std::lock_guard lock(textLock);
            text = ended;
        }
        waiting = nullptr;
        sock.Disconnect();
    }));
    worker->start();
    // A Cancel before the wait sleeps is the easy case: wait until it sleeps.
    QTRY_VERIFY_WITH_TIMEOUT(asleep.load(), 20000);
    waiting.load()->Cancel();
    QVERIFY(worker->wait(20000));
    const std::lock_guard lock(textLock);
    QCOMPARE(text, error);
}

QTEST_GUILESS_MAIN(TestPowersockWaits)
#include "test_powersock_waits.moc"
