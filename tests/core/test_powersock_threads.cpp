// Eight threads at once, each creating, using and destroying socket components in its own thread:
// the shared start-up count, the window classes and the look-up workers must hold up.
#include "http/TPowersock.h"
#include "support/LoopbackPeer.h"

#include <QThread>
#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int ThreadCount = 8;
constexpr int Rounds = 4;

// Answers each connection: echoes its first line, then sends a payload and closes.
class EchoServer {
public:
    explicit EchoServer(QByteArray payload) : FPayload(std::move(payload))
    {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(FListen, 64);
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &length);
        FPort = ntohs(a.sin_port);
        FAcceptor = std::thread([this] { AcceptLoop(); });
    }
    ~EchoServer()
    {
        FStop = true;
        ::shutdown(FListen, SHUT_RDWR);
        FAcceptor.join();
        for (auto& t : FConnections)
            t.join();
        ::close(FListen);
    }
    int Port() const { return FPort; }

private:
    void AcceptLoop()
    {
        while (!FStop) {
            pollfd p{FListen, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            FConnections.emplace_back([this, fd] {
                QByteArray line;
                while (!line.endsWith('\n')) {
                    const QByteArray more = LoopbackPeer::ReadCount(fd, 1);
                    if (more.isEmpty())
                        break;
                    line += more;
                }
                LoopbackPeer::SendAll(fd, line + FPayload);
                ::close(fd);
            });
        }
    }

    QByteArray FPayload;
    int FListen = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FAcceptor;
    std::vector<std::thread> FConnections;  // only touched by the acceptor and the destructor
};

}  // namespace

class TestPowersockThreads : public QObject {
    Q_OBJECT

private slots:
    void eightThreadsAtOnce();
};

void TestPowersockThreads::eightThreadsAtOnce()
{
    const QByteArray payload = PatternBytes(200000);
    EchoServer server(payload);
    std::mutex lock;
    QStringList failures;
    std::atomic<int> completed{0};
    std::atomic<int> finished{0};
    auto fail = [&](const QString& text) {
        std::lock_guard g(lock);
        failures << text;
    };

    std::vector<QThread*> threads;
    for (int t = 0; t < ThreadCount; ++t) {
        threads.push_back(QThread::create([&, t] {
            try {
                for (int r = 0; r < Rounds; ++r) {
                    // Some that only come and go, to stir the shared start-up count.
                    for (int i = 0; i < 5; ++i)
                        TPowersock idle;
                    TPowersock sock;
                    int disconnects = 0;
                    sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
                    sock.Host = (t + r) % 2 ? "localhost" : "127.0.0.1";
                    sock.Port = server.Port();
                    sock.Disconnect();
                    sock.Connect();
                    const QByteArray greeting = "hello " + QByteArray::number(t) + " " + QByteArray::number(r);
                    sock.Writeln(greeting);
                    const QByteArray echo = sock.ReadLn();
                    if (echo != greeting + "\r\n")
                        fail(QString("thread %1 round %2: echo %3").arg(t).arg(r).arg(QString::fromLatin1(echo)));
                    QByteArray body;
                    sock.CaptureString(body, -1);
                    if (body != payload)
                        fail(QString("thread %1 round %2: body of %3 bytes").arg(t).arg(r).arg(body.size()));
                    if (disconnects != 2)
                        fail(QString("thread %1 round %2: %3 disconnects").arg(t).arg(r).arg(disconnects));
                    ++completed;
                }
            } catch (const std::exception& e) {
                fail(QString("thread %1: %2").arg(t).arg(QString::fromLatin1(e.what())));
            }
            finished.fetch_add(1, std::memory_order_release);
        }));
    }
    for (QThread* thread : threads)
        thread->start();
    // Joined through an atomic as well, which the thread sanitizer sees (Qt's own join it does not).
    QTRY_COMPARE_WITH_TIMEOUT(finished.load(std::memory_order_acquire), ThreadCount, 120000);
    for (QThread* thread : threads) {
        QVERIFY(thread->wait(120000));
        delete thread;
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(completed.load(), ThreadCount * Rounds);
    // Every component gone: the count is back at zero, so the next one starts the layer afresh.
    TPowersock after;
    QCOMPARE(after.WinsockInfo.size(), 6);
}

QTEST_GUILESS_MAIN(TestPowersockThreads)
#include "test_powersock_threads.moc"
