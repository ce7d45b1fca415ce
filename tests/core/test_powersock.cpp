// The socket component against real sockets on 127.0.0.1: connecting (dotted, by name, failing
// names, refusals), Cancel in each wait, line reading, writes, captures and the error texts.
#include "support/LoopbackPeer.h"
#include "http/TPowersock.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Generous bounds: the machine may be loaded, or the build instrumented.
#define TRY_COMPARE(a, b) QTRY_COMPARE_WITH_TIMEOUT(a, b, 20000)
#define TRY_VERIFY(a) QTRY_VERIFY_WITH_TIMEOUT(a, 20000)

#include <arpa/inet.h>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Exposes the internals a protocol component sees.
class Probe : public TPowersock {
public:
    using TPowersock::ChunkSize;
    using TPowersock::LookupDone;
    using TPowersock::MaxHostNameLength;
    using TPowersock::OnSocketError;
    using TPowersock::ReceiveBufferSize;
    using TPowersock::ThisSocket;
};

// Look-up seam: named hosts resolve, fail or hang until released; everything else fails.
class FakeNames {
public:
    FakeNames()
    {
        ws::SetLookupHookForTesting([this](const QByteArray& name, uint32_t& address) {
            std::unique_lock lock(FLock);
            FAsked << name;
            FChanged.notify_all();
            if (name == "localhost")
                return ws::LookupUseSystem;
            if (FHeld.contains(name))
                FChanged.wait(lock, [&] { return !FHeld.contains(name); });
            if (FAddresses.contains(name)) {
                address = FAddresses.value(name);
                return 0;
            }
            return ws::WSAHOST_NOT_FOUND;
        });
    }
    ~FakeNames()
    {
        ReleaseAll();
        ws::SetLookupHookForTesting({});
    }
    void Add(const QByteArray& name, const char* dotted)
    {
        std::lock_guard guard(FLock);
        FAddresses.insert(name, ::inet_addr(dotted));
    }
    void Hold(const QByteArray& name)
    {
        std::lock_guard guard(FLock);
        FHeld << name;
    }
    void Release(const QByteArray& name)
    {
        std::lock_guard guard(FLock);
        FHeld.remove(name);
        FChanged.notify_all();
    }
    void ReleaseAll()
    {
        std::lock_guard guard(FLock);
        FHeld.clear();
        FChanged.notify_all();
    }
    QList<QByteArray> Asked()
    {
        std::lock_guard guard(FLock);
        return FAsked;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    QHash<QByteArray, uint32_t> FAddresses;
    QSet<QByteArray> FHeld;
    QList<QByteArray> FAsked;
};

// Runs an operation and returns the message of the ESockError it raised (empty: none raised).
// `aborted` tells whether it was an EAbortError.
template <typename F>
QByteArray ErrorOf(F operation, bool* aborted = nullptr)
{
    try {
        operation();
    } catch (const EAbortError& e) {
        if (aborted)
            *aborted = true;
        return e.Message;
    } catch (const ESockError& e) {
        if (aborted)
            *aborted = false;
        return e.Message;
    }
    return {};
}

// Cancels the component from inside its coming wait; the timer dies with `context`.
void CancelSoon(QObject& context, TPowersock& sock)
{
    QTimer::singleShot(150, &context, [&sock] { sock.Cancel(); });
}

}  // namespace

class TestPowersock : public QObject {
    Q_OBJECT

private slots:
    void errorTexts_data();
    void errorTexts();
    void constructionAndStatusLevels();
    void connectDottedAddress();
    void connectByName();
    void unresolvableHost_data();
    void unresolvableHost();
    void lookupTimeOutAndLateCompletion();
    void refusedConnect();
    void cancelInEachWait_data();
    void cancelInEachWait();
    void readLnSplitsLines();
    void writeLimits();
    void peerCloseDuringCapture_data();
    void peerCloseDuringCapture();
    void sendFileAndBrokenSend();
    void disconnectNeverConnected();
    void transactionReplyCode();
};

void TestPowersock::errorTexts_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("refused") << 10061 << QByteArray("10061:Connection refused");
    QTest::newRow("would block") << 10035 << QByteArray("10035:Operation would block");
    QTest::newRow("first row") << 10004 << QByteArray("10004:Interrupted system call");
    QTest::newRow("odd spelling kept") << 10092 << QByteArray("10092:Incompatible version of WINSOCK.DLL");
    QTest::newRow("last row") << 11004 << QByteArray("11004:Valid name, no data record of requested type");
    QTest::newRow("missing from table") << 10101 << QByteArray("Unknown Error No. 10101");
    QTest::newRow("gap in the table") << 10072 << QByteArray("Unknown Error No. 10072");
    QTest::newRow("zero") << 0 << QByteArray();
}

void TestPowersock::errorTexts()
{
    QFETCH(int, number);
    QFETCH(QByteArray, text);
    QCOMPARE(WinsockErrorText(number), text);
    Probe sock;
    QCOMPARE(sock.LookupErrorMessage(number), text);
}

void TestPowersock::constructionAndStatusLevels()
{
    {
        Probe first;
        QCOMPARE(first.Host, QByteArray());
        QCOMPARE(first.Port, 0);
        QCOMPARE(first.TimeOut, 0);
        QCOMPARE(first.ReportLevel, 0);
        QVERIFY(!first.Connected);
        QVERIFY(!first.CancelRequested());
        QVERIFY(first.ThisSocket != ws::INVALID_SOCKET);
        // Only the instance that starts the layer describes it.
        QCOMPARE(first.WinsockInfo.size(), 6);
        QCOMPARE(first.WinsockInfo.at(0), QStringLiteral("Version= 1.1"));
        QVERIFY(first.WinsockInfo.at(2).startsWith(QStringLiteral("Description= ")));
        QVERIFY(first.WinsockInfo.at(5).startsWith(QStringLiteral("Max Udp pack size= ")));
        Probe second;
        QVERIFY(second.WinsockInfo.isEmpty());

        QList<QByteArray> seen;
        first.OnStatus = [&](TPowersock*, const QByteArray& text) { seen << text; };
        first.ReportLevel = 4;
        first.Disconnect();  // "Disconnecting" is level 8, "Request Close Socket" level 4
        QCOMPARE(seen, QList<QByteArray>{"Request Close Socket"});
        QCOMPARE(first.Status, QByteArray("Request Close Socket"));
        first.ReportLevel = 8;
        seen.clear();
        first.Cancel();
        QCOMPARE(seen, QList<QByteArray>{"Canceling"});
        first.ReportLevel = 0;
        first.ReportStatus(1, "not shown");
        QCOMPARE(first.Status, QByteArray("Canceling"));
    }
    // Every user gone: the next one starts the layer again and describes it.
    {
        Probe again;
        QCOMPARE(again.WinsockInfo.size(), 6);
    }
    // An owner takes its component with it (the count is back at zero afterwards).
    auto* owner = new QObject;
    auto* owned = new TPowersock(owner);
    QCOMPARE(owned->WinsockInfo.size(), 6);
    delete owner;
    {
        Probe afterOwner;
        QCOMPARE(afterOwner.WinsockInfo.size(), 6);
    }
    // A thread without an event loop cannot receive notifications: refused at construction.
    QByteArray refused;
    std::thread([&] {
        try {
            TPowersock plain;
        } catch (const ESockError& e) {
            refused = e.Message;
        }
    }).join();
    QCOMPARE(refused, QByteArray("Initializaton of windows sockets failed"));
}

void TestPowersock::connectDottedAddress()
{
    LoopbackPeer peer([](int fd) {
        const QByteArray line = LoopbackPeer::ReadCount(fd, 7);
        LoopbackPeer::SendAll(fd, "echo " + line);
        LoopbackPeer::WaitForClose(fd);
    });
    FakeNames names;
    Probe sock;
    int resolved = 0, connects = 0, disconnects = 0;
    sock.OnHostResolved = [&](TPowersock*) { ++resolved; };
    sock.OnConnect = [&](TPowersock*) { ++connects; };
    sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
    sock.Host = "127.0.0.1";
    sock.Port = peer.Port();
    sock.Connect();
    QVERIFY(sock.Connected);
    QCOMPARE(connects, 1);
    QCOMPARE(resolved, 0);
    QVERIFY(names.Asked().isEmpty());  // no look-up for a dotted address
    QCOMPARE(ErrorOf([&] { sock.Connect(); }), QByteArray("Already connected"));
    sock.Writeln("hello");
    QCOMPARE(sock.ReadLn(), QByteArray("echo hello\r\n"));
    sock.Disconnect();
    QVERIFY(!sock.Connected);
    QCOMPARE(disconnects, 1);
    QVERIFY(sock.ThisSocket != ws::INVALID_SOCKET);
}

void TestPowersock::connectByName()
{
    LoopbackPeer peer([](int fd) {
        LoopbackPeer::SendAll(fd, "hi\n");
        LoopbackPeer::WaitForClose(fd);
    });
    Probe sock;
    int resolved = 0;
    sock.OnHostResolved = [&](TPowersock* sender) {
        QCOMPARE(sender, &sock);
        ++resolved;
    };
    sock.Host = "localhost";
    sock.Port = peer.Port();
    sock.Connect();
    QCOMPARE(resolved, 1);
    QVERIFY(sock.Connected);
    QCOMPARE(sock.ReadLn(), QByteArray("hi\n"));
    // The proxy, when set, is what is looked up and connected to.
    sock.Disconnect();
    sock.Host = "nowhere.test";
    sock.Proxy = "127.0.0.1";
    sock.ProxyPort = peer.Port();
    sock.Port = 1;
    FakeNames names;
    LoopbackPeer proxy([](int fd) { LoopbackPeer::WaitForClose(fd); });
    sock.ProxyPort = proxy.Port();
    sock.Connect();
    QVERIFY(sock.Connected);
    QVERIFY(names.Asked().isEmpty());
    sock.Disconnect();
}

void TestPowersock::unresolvableHost_data()
{
    QTest::addColumn<int>("handler");  // 0 none, 1 refuses, 2 grants without a change, 3 fixes Host
    QTest::addColumn<int>("calls");
    QTest::addColumn<QByteArray>("error");
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("no handler") << 0 << 0 << QByteArray("Null Remote Address") << QByteArray("nowhere.test");
    QTest::newRow("handler refuses") << 1 << 1 << QByteArray("Null Remote Address") << QByteArray("nowhere.test");
    QTest::newRow("one retry only") << 2 << 1 << QByteArray("Null Remote Address") << QByteArray("nowhere.test");
    QTest::newRow("retry with new host") << 3 << 1 << QByteArray() << QByteArray("nowhere.test");
    // A name longer than the look-up takes is not cut short: it fails without asking anyone.
    QTest::newRow("name too long") << 0 << 0 << QByteArray("Null Remote Address") << QByteArray(200, 'a');
}

void TestPowersock::unresolvableHost()
{
    QFETCH(int, handler);
    QFETCH(int, calls);
    QFETCH(QByteArray, error);
    QFETCH(QByteArray, host);
    FakeNames names;
    names.Add("good.test", "127.0.0.1");
    LoopbackPeer peer([](int fd) { LoopbackPeer::WaitForClose(fd); });
    Probe sock;
    int called = 0, failed = 0;
    sock.OnConnectionFailed = [&](TPowersock*) { ++failed; };
    if (handler != 0) {
        sock.OnInvalidHost = [&](bool& handled) {
            ++called;
            handled = handler != 1;
            if (handler == 3)
                sock.Host = "good.test";
        };
    }
    sock.Host = host;
    sock.Port = peer.Port();
    QCOMPARE(ErrorOf([&] { sock.Connect(); }), error);
    QCOMPARE(called, calls);
    QCOMPARE(failed, 0);  // a name that is not found is not a failed connect
    QCOMPARE(sock.Connected, error.isEmpty());
    for (const QByteArray& asked : names.Asked())
        QVERIFY(asked.size() <= Probe::MaxHostNameLength);
}

void TestPowersock::lookupTimeOutAndLateCompletion()
{
    FakeNames names;
    names.Add("late.test", "10.9.8.7");
    names.Add("next.test", "127.0.0.1");
    names.Hold("late.test");
    names.Hold("next.test");
    LoopbackPeer peer([](int fd) {
        LoopbackPeer::SendAll(fd, "reached\n");
        LoopbackPeer::WaitForClose(fd);
    });
    Probe sock;
    int resolved = 0;
    sock.OnHostResolved = [&](TPowersock*) { ++resolved; };
    sock.Host = "late.test";
    sock.Port = peer.Port();
    sock.TimeOut = 200;
    QCOMPARE(ErrorOf([&] { sock.Connect(); }), QByteArray("Host Lookup Timed Out"));
    QCOMPARE(resolved, 0);

    // The second look-up waits; meanwhile the first one completes late. It must neither end the
    // second wait nor put its address in place.
    sock.Host = "next.test";
    sock.TimeOut = 0;
    QObject context;
    QTimer::singleShot(50, &context, [&] { names.Release("late.test"); });
    QTimer::singleShot(400, &context, [&] { names.Release("next.test"); });
    sock.Connect();
    QVERIFY(sock.Connected);
    QCOMPARE(resolved, 1);
    QCOMPARE(sock.ReadLn(), QByteArray("reached\n"));
}

void TestPowersock::refusedConnect()
{
    int port;
    {
        LoopbackPeer closed;
        port = closed.Port();
    }
    Probe sock;
    QList<QByteArray> order;
    sock.OnConnectionFailed = [&](TPowersock*) { order << "failed"; };
    sock.OnConnect = [&](TPowersock*) { order << "connect"; };
    sock.Host = "127.0.0.1";
    sock.Port = port;
    QCOMPARE(ErrorOf([&] { sock.Connect(); }), QByteArray("Connection Failed"));
    QCOMPARE(order, QList<QByteArray>{"failed"});
    QVERIFY(!sock.Connected);
    // After a Disconnect the component connects again.
    sock.Disconnect();
    LoopbackPeer peer([](int fd) { LoopbackPeer::WaitForClose(fd); });
    sock.Port = peer.Port();
    sock.Connect();
    QVERIFY(sock.Connected);
    sock.Disconnect();
}

void TestPowersock::cancelInEachWait_data()
{
    QTest::addColumn<QString>("wait");
    QTest::addColumn<QByteArray>("error");
    QTest::addColumn<bool>("aborted");         // EAbortError rather than a plain ESockError
    QTest::addColumn<bool>("stillRequested");  // CancelRequested afterwards
    QTest::newRow("look-up") << "lookup" << QByteArray("Host Lookup Canceled") << false << true;
    QTest::newRow("connect") << "connect" << QByteArray("Connection Canceled") << false << true;
    QTest::newRow("send buffer") << "sendBuffer" << QByteArray("Socket send aborted") << true << false;
    QTest::newRow("send file") << "sendFile" << QByteArray("Socket send aborted") << true << false;
    QTest::newRow("read line") << "readLn" << QByteArray("Socket readln aborted") << true << true;
    QTest::newRow("capture string") << "captureString" << QByteArray("Socket capture aborted") << true << false;
    QTest::newRow("capture file") << "captureFile" << QByteArray("Socket capture aborted") << true << false;
    QTest::newRow("accept") << "accept" << QByteArray("Accepting Canceled") << false << true;
}

void TestPowersock::cancelInEachWait()
{
    QFETCH(QString, wait);
    QFETCH(QByteArray, error);
    QFETCH(bool, aborted);
    QFETCH(bool, stillRequested);

    FakeNames names;
    names.Hold("slow.test");
    std::unique_ptr<SilentListener> silent;
    // A peer that never reads nor writes, with a small receive window (a send soon blocks).
    LoopbackPeer peer([](int fd) { LoopbackPeer::WaitForClose(fd); });
    const int small = 2048;
    ::setsockopt(peer.ListenFd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    QTemporaryDir dir;
    Probe sock;
    sock.Host = "127.0.0.1";
    sock.Port = peer.Port();
    int connectFailed = 0;
    sock.OnConnectionFailed = [&](TPowersock*) { ++connectFailed; };
    if (wait == "lookup") {
        sock.Host = "slow.test";
    } else if (wait == "connect") {
        silent = std::make_unique<SilentListener>();
        QVERIFY(silent->Full());
        sock.Port = silent->Port();
    } else if (wait != "accept") {
        sock.Connect();
        ::setsockopt(ws::NativeDescriptor(sock.ThisSocket), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    }
    const QByteArray big = PatternBytes(60000);
    QFile source(dir.filePath("source.bin"));
    if (wait == "sendFile") {
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(PatternBytes(32 << 20));
        source.close();
    }
    QObject context;
    CancelSoon(context, sock);
    bool wasAbort = false;
    QByteArray text;
    QByteArray captured = "old";
    if (wait == "lookup" || wait == "connect")
        text = ErrorOf([&] { sock.Connect(); }, &wasAbort);
    else if (wait == "sendBuffer")  // the peer reads nothing: sooner or later a send must wait
        text = ErrorOf(
            [&] {
                for (int i = 0; i < 4000; ++i)
                    sock.SendBuffer(big.constData(), uint16_t(big.size()));
            },
            &wasAbort);
    else if (wait == "sendFile")
        text = ErrorOf([&] { sock.SendFile(source.fileName()); }, &wasAbort);
    else if (wait == "readLn")
        text = ErrorOf([&] { sock.ReadLn(); }, &wasAbort);
    else if (wait == "captureString")
        text = ErrorOf([&] { sock.CaptureString(captured, -1); }, &wasAbort);
    else if (wait == "captureFile")
        text = ErrorOf([&] { sock.CaptureFile(dir.filePath("out.bin")); }, &wasAbort);
    else if (wait == "accept")
        text = ErrorOf([&] { sock.Accept(); }, &wasAbort);
    QCOMPARE(text, error);
    QCOMPARE(wasAbort, aborted);
    QCOMPARE(sock.CancelRequested(), stillRequested);
    QCOMPARE(connectFailed, wait == "connect" ? 1 : 0);
    if (wait == "captureFile") {
        QFile out(dir.filePath("out.bin"));
        QVERIFY(out.exists());
        QVERIFY(out.open(QIODevice::ReadOnly));  // closed by the capture, readable now
    }
    names.ReleaseAll();
    sock.Disconnect();
}

void TestPowersock::readLnSplitsLines()
{
    std::mutex lock;
    std::condition_variable more;
    int step = 0;
    auto waitStep = [&](int n) {
        std::unique_lock l(lock);
        more.wait_for(l, std::chrono::seconds(20), [&] { return step >= n; });
    };
    auto nextStep = [&] {
        std::lock_guard g(lock);
        ++step;
        more.notify_all();
    };
    LoopbackPeer peer([&](int fd) {
        LoopbackPeer::SendAll(fd, "ab\r\ncd");
        waitStep(1);
        LoopbackPeer::SendAll(fd, "\n\nxy");
        waitStep(2);
    });
    Probe sock;
    sock.Host = "127.0.0.1";
    sock.Port = peer.Port();
    sock.Connect();
    QCOMPARE(sock.ReadLn(), QByteArray("ab\r\n"));
    TRY_COMPARE(sock.ReceiveBufferSize(), qsizetype(2));  // c, d stay
    nextStep();
    QCOMPARE(sock.ReadLn(), QByteArray("cd\n"));
    QCOMPARE(sock.ReadLn(), QByteArray("\n"));  // a bare LF is a line
    int disconnects = 0;
    sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
    nextStep();  // the peer closes with "xy" unterminated
    QCOMPARE(ErrorOf([&] { sock.ReadLn(); }), QByteArray("Connection closed before end of line"));
    QCOMPARE(disconnects, 1);
    QByteArray rest;
    sock.CaptureString(rest, -1);
    QCOMPARE(rest, QByteArray("xy"));
}

void TestPowersock::writeLimits()
{
    QByteArray received;
    const QByteArray long20000 = PatternBytes(20000).replace('\0', 'z');
    {
        LoopbackPeer peer([&](int fd) { received = LoopbackPeer::ReadAll(fd); });
        Probe sock;
        // Cancel before any connect: a send returns at once and sends nothing.
        sock.Cancel();
        sock.SendBuffer("lost", 0);
        QVERIFY(sock.CancelRequested());
        sock.Host = "127.0.0.1";
        sock.Port = peer.Port();
        sock.Disconnect();                     // the renewed socket closes gracefully: nothing in flight is dropped
        sock.Connect();                        // clears the cancel request
        sock.Write(long20000);                 // only the first 16385 characters
        sock.Write(QByteArray("ab\0cd", 5));   // up to the zero
        sock.Writeln(QByteArray(20000, 'w'));  // cut before the line end is reached
        sock.Write("");                        // nothing to send returns at once
        sock.Writeln("end");
        QCOMPARE(sock.BytesSent, int64_t(16385 + 2 + 16385 + 5));
        sock.Disconnect();
    }
    const QByteArray expected = long20000.left(16385) + "ab" + QByteArray(16385, 'w') + "end\r\n";
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
}

void TestPowersock::peerCloseDuringCapture_data()
{
    QTest::addColumn<bool>("toFile");
    QTest::addColumn<int>("size");
    QTest::newRow("string, small") << false << 10;
    QTest::newRow("string, many chunks") << false << 3000017;
    QTest::newRow("file, small") << true << 10;
    QTest::newRow("file, many chunks") << true << 3000017;
}

void TestPowersock::peerCloseDuringCapture()
{
    QFETCH(bool, toFile);
    QFETCH(int, size);
    const QByteArray data = PatternBytes(size);
    LoopbackPeer peer([&](int fd) { LoopbackPeer::SendAll(fd, "head\n" + data); });
    QTemporaryDir dir;
    Probe sock;
    int packets = 0, disconnects = 0;
    sock.OnPacketRecvd = [&](TPowersock*) { ++packets; };
    sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
    sock.Host = "127.0.0.1";
    sock.Port = peer.Port();
    sock.Connect();
    QCOMPARE(sock.ReadLn(), QByteArray("head\n"));
    QByteArray got;
    if (toFile) {
        const QString name = dir.filePath("capture.bin");
        sock.CaptureFile(name);
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        got = file.readAll();
    } else {
        sock.CaptureString(got, -1);
    }
    QCOMPARE(got.size(), data.size());
    QVERIFY(got == data);
    QCOMPARE(disconnects, 1);
    QVERIFY(!sock.Connected);
    QVERIFY(sock.BytesRecvd <= size);
    if (size > 1000000) {
        QVERIFY(packets > 1);
        QVERIFY(sock.BytesRecvd > 0);
    }
}

void TestPowersock::sendFileAndBrokenSend()
{
    QTemporaryDir dir;
    const QByteArray data = PatternBytes(5 << 20);
    const QString name = dir.filePath("send.bin");
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray received;
    {
        LoopbackPeer peer([&](int fd) { received = LoopbackPeer::ReadAll(fd); });
        Probe sock;
        int packets = 0;
        sock.OnPacketSent = [&](TPowersock*) { ++packets; };
        sock.Host = "127.0.0.1";
        sock.Port = peer.Port();
        // The first socket closes with a reset, which would drop bytes still in flight at the
        // Disconnect below; the renewed one closes gracefully.
        sock.Disconnect();
        sock.Connect();
        sock.Write("before ");
        sock.SendFile(name);
        QCOMPARE(sock.BytesSent, int64_t(data.size()));
        QCOMPARE(sock.BytesTotal, int64_t(data.size()));
        QVERIFY(packets >= data.size() / Probe::ChunkSize);
        sock.Write(" after");  // the in-memory queue is back in place
        QVERIFY_THROWS_EXCEPTION(EFileError, sock.SendFile(dir.filePath("missing.bin")));
        sock.Write("!");
        sock.Disconnect();
    }
    QCOMPARE(received.size(), data.size() + 14);
    QVERIFY(received == "before " + data + " after!");

    // A peer that resets the connection ends the send with the error's text, not a hang.
    LoopbackPeer rude([](int fd) {
        LoopbackPeer::ReadCount(fd, 100000);
        LoopbackPeer::Reset(fd);
    });
    Probe sock;
    sock.Host = "127.0.0.1";
    sock.Port = rude.Port();
    sock.Connect();
    const QByteArray text = ErrorOf([&] { sock.SendFile(name); });
    QVERIFY2(text.startsWith("10054:") || text.startsWith("10058:"), text.constData());
    QVERIFY(!sock.CancelRequested());
}

void TestPowersock::disconnectNeverConnected()
{
    Probe sock;
    int disconnects = 0;
    sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
    sock.Disconnect();
    QCOMPARE(disconnects, 1);
    QVERIFY(sock.ThisSocket != ws::INVALID_SOCKET);
    sock.Disconnect();
    QCOMPARE(disconnects, 2);
    // The fresh socket is usable.
    LoopbackPeer peer([](int fd) { LoopbackPeer::SendAll(fd, "ok\n"); });
    sock.Host = "127.0.0.1";
    sock.Port = peer.Port();
    sock.Connect();
    QCOMPARE(sock.ReadLn(), QByteArray("ok\n"));
    // A read on a connection that is gone ends at once.
    QCOMPARE(ErrorOf([&] { sock.ReadLn(); }), QByteArray("Connection closed before end of line"));
}

void TestPowersock::transactionReplyCode()
{
    LoopbackPeer peer([](int fd) {
        LoopbackPeer::ReadCount(fd, 6);
        LoopbackPeer::SendAll(fd, "250 fine\r\n");
        LoopbackPeer::ReadCount(fd, 6);
        LoopbackPeer::SendAll(fd, "99999 too big\r\n");
        LoopbackPeer::ReadCount(fd, 6);
        LoopbackPeer::SendAll(fd, "no code\r\n");
        LoopbackPeer::WaitForClose(fd);
    });
    Probe sock;
    sock.ReportLevel = 1;
    sock.Host = "127.0.0.1";
    sock.Port = peer.Port();
    sock.Connect();
    QCOMPARE(sock.Transaction("NOOP"), QByteArray("250 fine\r\n"));
    QCOMPARE(sock.ReplyCode, int16_t(250));
    QCOMPARE(sock.Status, QByteArray("250 fine\r\n"));
    QVERIFY_THROWS_EXCEPTION(ERangeError, sock.Transaction("NOOP"));
    QCOMPARE(sock.Transaction("NOOP"), QByteArray("no code\r\n"));
    QCOMPARE(sock.ReplyCode, int16_t(0));
}

QTEST_GUILESS_MAIN(TestPowersock)
#include "test_powersock.moc"
