// The Winsock-style layer on its own: error numbers, the notification meanings (connect once,
// write after connecting, read re-armed by recv, close once), and the asynchronous look-up.
#include "platform/MessageWindow.h"
#include "platform/Winsock.h"
#include "support/LoopbackPeer.h"

#include <QtTest>

// Generous bounds: the machine may be loaded, or the build instrumented.
#define TRY_COMPARE(a, b) QTRY_COMPARE_WITH_TIMEOUT(a, b, 20000)
#define TRY_VERIFY(a) QTRY_VERIFY_WITH_TIMEOUT(a, 20000)

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <sys/ioctl.h>
#include <thread>

namespace {

constexpr unsigned SockMsg = WM_USER + 7;
constexpr unsigned LookupMsg = WM_USER + 8;

struct Note {
    unsigned Message;
    uintptr_t WParam;
    int Event;
    int Error;
};

// A notification window that records what it is sent.
struct Recorder {
    TMessageWindow* Window;
    QList<Note> Notes;
    Recorder()
    {
        RegisterWindowClass("RecorderClass");
        Window = TMessageWindow::Create("RecorderClass");
        Window->Bind([this](unsigned m, uintptr_t w, intptr_t l) {
            Notes << Note{m, w, ws::SelectEvent(l), ws::SelectError(l)};
        });
    }
    ~Recorder() { delete Window; }
    int Count(int event) const
    {
        int n = 0;
        for (const Note& note : Notes)
            n += note.Message == SockMsg && note.Event == event;
        return n;
    }
    int ErrorOf(int event) const
    {
        for (const Note& note : Notes)
            if (note.Message == SockMsg && note.Event == event)
                return note.Error;
        return -1;
    }
};

// Sequencing between the test and a peer script.
struct Steps {
    std::mutex Lock;
    std::condition_variable Changed;
    int Step = 0;
    void Next()
    {
        std::lock_guard g(Lock);
        ++Step;
        Changed.notify_all();
    }
    void WaitFor(int n)
    {
        std::unique_lock l(Lock);
        Changed.wait_for(l, std::chrono::seconds(20), [&] { return Step >= n; });
    }
};

int Pending(ws::SOCKET s)
{
    int n = 0;
    ::ioctl(ws::NativeDescriptor(s), FIONREAD, &n);
    return n;
}

ws::SockAddrIn Loopback(int port)
{
    ws::SockAddrIn a;
    a.sin_family = ws::WS_AF_INET;
    a.sin_port = ws::htons(uint16_t(port));
    a.sin_addr = ws::inet_addr("127.0.0.1");
    return a;
}

// Lets the event loop run until a notification may have had every chance to come: a message
// posted now to the same window is handled after anything already queued.
void Settle(Recorder& r)
{
    const qsizetype before = r.Notes.size();
    PostWindowMessage(r.Window, WM_USER + 99, 0, 0);
    TRY_VERIFY(r.Notes.size() > before && r.Notes.last().Message == WM_USER + 99);
    r.Notes.removeLast();
}

}  // namespace

class TestWinsock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void errorNumbers_data();
    void errorNumbers();
    void dottedAddresses_data();
    void dottedAddresses();
    void startupAndLastErrorPerThread();
    void notificationMeanings();
    void refusedAndReset();
    void lookupCompletesIntoBuffer();
    void withdrawnLookupNeverDelivered();

private:
    ws::WSADATA FData;
};

void TestWinsock::initTestCase()
{
    QCOMPARE(ws::WSAStartup(0x0101, &FData), 0);
    QCOMPARE(FData.wVersion, uint16_t(0x0101));
}

void TestWinsock::cleanupTestCase() { QCOMPARE(ws::WSACleanup(), 0); }

void TestWinsock::errorNumbers_data()
{
    QTest::addColumn<bool>("lookup");
    QTest::addColumn<int>("posix");
    QTest::addColumn<int>("winsock");
    QTest::newRow("in progress") << false << EINPROGRESS << 10035;
    QTest::newRow("would block") << false << EAGAIN << 10035;
    QTest::newRow("refused") << false << ECONNREFUSED << 10061;
    QTest::newRow("reset") << false << ECONNRESET << 10054;
    QTest::newRow("broken pipe") << false << EPIPE << 10058;
    QTest::newRow("not connected") << false << ENOTCONN << 10057;
    QTest::newRow("unreachable") << false << ENETUNREACH << 10051;
    QTest::newRow("no counterpart") << false << EPROTO << ws::UnmappedErrorBase + EPROTO;
    QTest::newRow("name unknown") << true << EAI_NONAME << 11001;
    QTest::newRow("try again") << true << EAI_AGAIN << 11002;
    QTest::newRow("server failure") << true << EAI_FAIL << 11003;
}

void TestWinsock::errorNumbers()
{
    QFETCH(bool, lookup);
    QFETCH(int, posix);
    QFETCH(int, winsock);
    QCOMPARE(lookup ? ws::LookupErrorToWinsock(posix) : ws::ErrnoToWinsock(posix), winsock);
}

void TestWinsock::dottedAddresses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("loopback") << QByteArray("127.0.0.1") << true;
    QTest::newRow("high bytes") << QByteArray("200.1.255.9") << true;
    QTest::newRow("short form is a name") << QByteArray("127.1") << false;
    QTest::newRow("name") << QByteArray("localhost") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("trailing text") << QByteArray("1.2.3.4 x") << false;
    QTest::newRow("byte too big") << QByteArray("1.2.3.256") << false;
}

void TestWinsock::dottedAddresses()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    const uint32_t a = ws::inet_addr(text.constData());
    QCOMPARE(a != ws::WS_INADDR_NONE, valid);
    if (valid) {
        in_addr expected{};
        ::inet_pton(AF_INET, text.constData(), &expected);
        QCOMPARE(a, expected.s_addr);
    }
}

void TestWinsock::startupAndLastErrorPerThread()
{
    // Without a start-up, sockets are refused with the matching number.
    int error = 0;
    ws::SOCKET s = 0;
    QCOMPARE(ws::WSACleanup(), 0);
    std::thread([&] {
        s = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, 0);
        error = ws::WSAGetLastError();
    }).join();
    QCOMPARE(s, ws::INVALID_SOCKET);
    QCOMPARE(error, ws::WSANOTINITIALISED);
    QCOMPARE(ws::WSAStartup(0x0101, &FData), 0);
    // A handle is never given out twice, though descriptors are: a notification still queued
    // for a closed socket cannot be taken for the next one.
    const ws::SOCKET first = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, 0);
    const int firstFd = ws::NativeDescriptor(first);
    ws::closesocket(first);
    const ws::SOCKET second = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, 0);
    QCOMPARE(ws::NativeDescriptor(second), firstFd);
    QVERIFY(second != first);
    QCOMPARE(ws::NativeDescriptor(first), -1);
    ws::closesocket(second);
    // The last error belongs to the thread that made the call.
    ws::WSASetLastError(0);
    QCOMPARE(ws::WSAGetLastError(), 0);
}

void TestWinsock::notificationMeanings()
{
    Steps steps;
    LoopbackPeer peer([&](int fd) {
        LoopbackPeer::SendAll(fd, "abc");
        steps.WaitFor(1);
        LoopbackPeer::SendAll(fd, "def");
        steps.WaitFor(2);
    });
    Recorder r;
    const ws::SOCKET s = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, ws::WS_IPPROTO_TCP);
    QVERIFY(s != ws::INVALID_SOCKET);
    QCOMPARE(ws::WSAAsyncSelect(s, r.Window, SockMsg, ws::FD_ALL_EVENTS), 0);
    const ws::SockAddrIn a = Loopback(peer.Port());
    QCOMPARE(ws::connect(s, &a, sizeof a), ws::SOCKET_ERROR);
    QCOMPARE(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
    TRY_COMPARE(r.Count(ws::FD_CONNECT), 1);
    QCOMPARE(r.ErrorOf(ws::FD_CONNECT), 0);
    TRY_COMPARE(r.Count(ws::FD_WRITE), 1);  // after connecting
    QCOMPARE(r.Notes.first().WParam, uintptr_t(s));

    TRY_COMPARE(r.Count(ws::FD_READ), 1);
    steps.Next();  // "def" follows
    TRY_COMPARE(Pending(s), 6);
    Settle(r);
    QCOMPARE(r.Count(ws::FD_READ), 1);  // not repeated until a recv re-arms it
    char buffer[16];
    QCOMPARE(ws::recv(s, buffer, 2, 0), 2);
    TRY_COMPARE(r.Count(ws::FD_READ), 2);  // data still waits
    QCOMPARE(ws::recv(s, buffer, sizeof buffer, 0), 4);
    QCOMPARE(QByteArray(buffer, 4), QByteArray("cdef"));
    QCOMPARE(ws::recv(s, buffer, sizeof buffer, 0), ws::SOCKET_ERROR);
    QCOMPARE(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);

    steps.Next();  // the peer closes
    TRY_COMPARE(r.Count(ws::FD_READ), 3);
    QCOMPARE(ws::recv(s, buffer, sizeof buffer, 0), 0);
    TRY_COMPARE(r.Count(ws::FD_CLOSE), 1);
    QCOMPARE(r.ErrorOf(ws::FD_CLOSE), 0);
    QCOMPARE(ws::recv(s, buffer, sizeof buffer, 0), 0);
    Settle(r);
    QCOMPARE(r.Count(ws::FD_CLOSE), 1);  // once
    QCOMPARE(r.Count(ws::FD_CONNECT), 1);
    QCOMPARE(ws::closesocket(s), 0);
    QCOMPARE(ws::closesocket(s), ws::SOCKET_ERROR);
    QCOMPARE(ws::WSAGetLastError(), ws::WSAENOTSOCK);
}

void TestWinsock::refusedAndReset()
{
    int port;
    {
        LoopbackPeer gone;
        port = gone.Port();
    }
    Recorder r;
    ws::SOCKET s = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, 0);
    ws::WSAAsyncSelect(s, r.Window, SockMsg, ws::FD_ALL_EVENTS);
    ws::SockAddrIn a = Loopback(port);
    QCOMPARE(ws::connect(s, &a, sizeof a), ws::SOCKET_ERROR);
    QCOMPARE(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);  // the outcome comes as a notification
    TRY_COMPARE(r.Count(ws::FD_CONNECT), 1);
    QCOMPARE(r.ErrorOf(ws::FD_CONNECT), ws::WSAECONNREFUSED);
    Settle(r);
    QCOMPARE(r.Count(ws::FD_CLOSE), 0);
    QCOMPARE(r.Count(ws::FD_WRITE), 0);
    ws::closesocket(s);

    // A peer that resets: one close notification carrying the reset.
    LoopbackPeer rude([](int fd) {
        LoopbackPeer::SendAll(fd, "x");
        LoopbackPeer::Reset(fd);
    });
    Recorder r2;
    s = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, 0);
    ws::WSAAsyncSelect(s, r2.Window, SockMsg, ws::FD_ALL_EVENTS);
    a = Loopback(rude.Port());
    ws::connect(s, &a, sizeof a);
    TRY_COMPARE(r2.Count(ws::FD_CONNECT), 1);
    // Read whatever comes (the byte, then the reset) until the close is reported.
    auto readOn = [&] {
        char buffer[8];
        ws::recv(s, buffer, sizeof buffer, 0);
        return r2.Count(ws::FD_CLOSE) == 1;
    };
    TRY_VERIFY(readOn());
    QCOMPARE(r2.ErrorOf(ws::FD_CLOSE), ws::WSAECONNRESET);
    ws::closesocket(s);
}

void TestWinsock::lookupCompletesIntoBuffer()
{
    Recorder r;
    alignas(16) char buffer[1024];
    std::memset(buffer, 0xAB, sizeof buffer);
    const ws::HANDLE h = ws::WSAAsyncGetHostByName(r.Window, LookupMsg, "localhost", buffer, sizeof buffer);
    QVERIFY(h != 0);
    QTRY_COMPARE_WITH_TIMEOUT(r.Notes.size(), 1, 20000);
    QCOMPARE(r.Notes.first().Message, LookupMsg);
    QCOMPARE(r.Notes.first().WParam, uintptr_t(h));
    QCOMPARE(r.Notes.first().Error, 0);
    const auto* entry = reinterpret_cast<const ws::HostEnt*>(buffer);
    QCOMPARE(entry->h_addrtype, int16_t(ws::WS_AF_INET));
    QCOMPARE(entry->h_length, int16_t(4));
    QCOMPARE(QByteArray(entry->h_name), QByteArray("localhost"));
    uint32_t address;
    std::memcpy(&address, entry->h_addr_list[0], 4);
    QCOMPARE(address, ws::inet_addr("127.0.0.1"));

    // A result that does not fit the buffer is an error, not an overrun.
    ws::SetLookupHookForTesting([](const QByteArray&, uint32_t& a) {
        a = ws::inet_addr("10.0.0.1");
        return 0;
    });
    char small[sizeof(ws::HostEnt) + 8];
    ws::WSAAsyncGetHostByName(r.Window, LookupMsg, "some.very.long.name.test", small, sizeof small);
    QTRY_COMPARE_WITH_TIMEOUT(r.Notes.size(), 2, 20000);
    QCOMPARE(r.Notes.last().Error, ws::WSAENOBUFS);
    ws::SetLookupHookForTesting({});
}

void TestWinsock::withdrawnLookupNeverDelivered()
{
    Steps gate;
    std::atomic<int> entered{0};
    std::atomic<int> returned{0};
    ws::SetLookupHookForTesting([&](const QByteArray& name, uint32_t& a) {
        ++entered;
        if (name == "held.test") {
            gate.WaitFor(1);
            a = ws::inet_addr("10.1.1.1");
        } else {
            a = ws::inet_addr("10.2.2.2");
        }
        ++returned;
        return 0;
    });
    Recorder r;
    alignas(16) char buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    const ws::HANDLE held = ws::WSAAsyncGetHostByName(r.Window, LookupMsg, "held.test", buffer, sizeof buffer);
    TRY_COMPARE(entered.load(), 1);  // withdrawn while it runs, not before it started
    QCOMPARE(ws::WSACancelAsyncRequest(held), 0);
    QCOMPARE(ws::WSACancelAsyncRequest(held), ws::SOCKET_ERROR);  // once only
    gate.Next();
    TRY_COMPARE(returned.load(), 1);
    const ws::HANDLE next = ws::WSAAsyncGetHostByName(r.Window, LookupMsg, "next.test", buffer, sizeof buffer);
    TRY_COMPARE(r.Notes.size(), 1);
    Settle(r);
    QCOMPARE(r.Notes.size(), 1);
    QCOMPARE(r.Notes.first().WParam, uintptr_t(next));
    uint32_t address;
    std::memcpy(&address, reinterpret_cast<const ws::HostEnt*>(buffer)->h_addr_list[0], 4);
    QCOMPARE(address, ws::inet_addr("10.2.2.2"));

    // A window destroyed while its look-up runs: the completion goes nowhere.
    std::memset(buffer, 0x5A, sizeof buffer);
    auto* doomed = new Recorder;
    Steps gate2;
    ws::SetLookupHookForTesting([&](const QByteArray&, uint32_t& a) {
        ++entered;
        gate2.WaitFor(1);
        a = 1;
        ++returned;
        return 0;
    });
    ws::WSAAsyncGetHostByName(doomed->Window, LookupMsg, "any.test", buffer, sizeof buffer);
    TRY_COMPARE(entered.load(), 3);
    delete doomed;
    gate2.Next();
    TRY_COMPARE(returned.load(), 3);
    Settle(r);
    QCOMPARE(buffer[0], char(0x5A));
    ws::SetLookupHookForTesting({});
}

QTEST_GUILESS_MAIN(TestWinsock)
#include "test_winsock.moc"
