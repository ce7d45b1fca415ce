// The HTTP client end to end against scripted servers on 127.0.0.1 that record the request bytes.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "http/HttpRules.h"
#include "http/TExStringList.h"
#include "http/TNMHTTP.h"
#include "platform/Winsock.h"
#include "support/PyHttpServer.h"

namespace {
const QByteArray Accept1 = "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
const QByteArray Accept2 = "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
const QByteArray ContentType = "Content-type: application/x-www-form-urlencoded\r\n";

// Answers each connection with the bytes its responder gives for the request, then closes.
// Runs in its own thread, so the client's waits never have to serve it.
class ScriptedServer {
public:
    using Responder = std::function<QByteArray(int index, const QByteArray& request)>;

    explicit ScriptedServer(Responder responder) : Respond(std::move(responder))
    {
        Listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(Listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(Listener, 16) != 0)
            qFatal("test server cannot listen");
        socklen_t length = sizeof address;
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length);
        ListenPort = ntohs(address.sin_port);
        Worker = std::thread([this] { Run(); });
    }
    ~ScriptedServer()
    {
        Stop = true;
        Worker.join();
        ::close(Listener);
    }
    int Port() const { return ListenPort; }
    QByteArray PortText() const { return QByteArray::number(ListenPort); }
    QByteArray Address() const { return "http://127.0.0.1:" + PortText(); }
    // Sends each reply (and closes the sending side) as soon as the connection is accepted,
    // before reading the request.
    void SetRespondFirst() { RespondFirst = true; }
    // Sends each reply in pieces of this many bytes, each pushed out on its own.
    void SetPieceSize(int size) { PieceSize = size; }
    int Answered() const { return AnsweredCount; }
    QList<QByteArray> Requests() const
    {
        std::lock_guard lock(Mutex);
        return Received;
    }

private:
    static bool WaitReadable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 50) > 0;
    }
    // The request: its header block and as many body bytes as its Content-Length announces.
    QByteArray ReadRequest(int fd)
    {
        QByteArray request;
        char chunk[65536];
        for (int idle = 0; idle < 200 && !Stop;) {  // gives up after 10 s of silence
            if (!WaitReadable(fd)) {
                ++idle;
                continue;
            }
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            request.append(chunk, n);
            const qsizetype end = request.indexOf("\r\n\r\n");
            if (end >= 0) {
                // LINK and UNLINK announce the length of "Send.dat" but send no body.
                if (request.startsWith("LINK ") || request.startsWith("UNLINK "))
                    break;
                qsizetype announced = 0;
                for (const QByteArray& line : request.left(end).split('\n'))
                    if (line.toLower().startsWith("content-length: "))
                        announced = line.mid(16).trimmed().toLongLong();
                if (request.size() >= end + 4 + announced)
                    break;
            }
        }
        return request;
    }
    void Run()
    {
        for (int index = 0; !Stop;) {
            if (!WaitReadable(Listener))
                continue;
            const int fd = ::accept(Listener, nullptr, nullptr);
            if (fd < 0)
                continue;
            const auto answer = [&](const QByteArray& request) {
                const QByteArray reply = Respond(index++, request);
                if (PieceSize > 0) {
                    const int on = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                }
                for (qsizetype sent = 0; sent < reply.size();) {
                    const qsizetype piece =
                        PieceSize > 0 ? qMin<qsizetype>(PieceSize, reply.size() - sent) : reply.size() - sent;
                    const ssize_t n = ::send(fd, reply.constData() + sent, piece, MSG_NOSIGNAL);
                    if (n <= 0)
                        break;  // the client gave up on the response
                    sent += n;
                }
                ::shutdown(fd, SHUT_WR);
                ++AnsweredCount;
            };
            if (RespondFirst)
                answer({});
            const QByteArray request = ReadRequest(fd);
            {
                std::lock_guard lock(Mutex);
                Received.append(request);
            }
            if (!RespondFirst)
                answer(request);
            // Let the client read everything before the socket goes (no reset on unread bytes).
            char sink[4096];
            for (int idle = 0; idle < 100 && !Stop;) {
                if (!WaitReadable(fd)) {
                    ++idle;
                    continue;
                }
                if (::recv(fd, sink, sizeof sink, 0) <= 0)
                    break;
            }
            ::close(fd);
        }
    }

    Responder Respond;
    int Listener = -1;
    int ListenPort = 0;
    std::atomic<bool> Stop{false};
    std::atomic<bool> RespondFirst{false};
    std::atomic<int> AnsweredCount{0};
    std::atomic<int> PieceSize{0};
    mutable std::mutex Mutex;
    QList<QByteArray> Received;
    std::thread Worker;
};

ScriptedServer::Responder Always(const QByteArray& reply)
{
    return [reply](int, const QByteArray&) { return reply; };
}

QByteArray Ok(const QByteArray& body) { return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body; }

QByteArray Redirect(const QByteArray& location, const QByteArray& extra = {})
{
    return "HTTP/1.0 302 Found\r\nLocation: " + location + "\r\n" + extra + "\r\nmoved";
}

// Runs a request and returns the message of the exception it raised (empty when none).
QByteArray Failure(const std::function<void()>& request)
{
    try {
        request();
    } catch (const Exception& e) {
        return e.Message.isEmpty() ? QByteArray("(empty message)") : e.Message;
    }
    return {};
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}
}  // namespace

class TestNMHTTP : public QObject {
    Q_OBJECT
private slots:
    void requestBytes();
    void longPath();
    void otherCommands();
    void eventOrderOfSuccess();
    void redirects();
    void cookieOverRedirect();
    void noInjectedLines();
    void redirectHandled();
    void repeatedPasses();
    void failureResponses();
    void badResponses_data();
    void badResponses();
    void interimAnswersSkipped_data();
    void interimAnswersSkipped();
    void bodyWithHeaderBlock();
    void responseInPieces();
    void headerIntoFile();
    void bodyFileNeverThroughALink();
    void refusedConnection();
    void namesAndAbort();
    void realServer();
};

void TestNMHTTP::requestBytes()
{
    ScriptedServer server(Always(Ok("page")));
    TNMHTTP http;
    // Direct: the request line holds the path; the Host line carries a port other than 80.
    http.Get(server.Address() + "/a/b.html");
    // Through a proxy: the whole address goes in the request line, the connection to the proxy.
    http.Proxy = "127.0.0.1";
    http.ProxyPort = server.Port();
    http.Get("http://127.0.0.1/a/b.html");
    // An address without a path asks for "/" and gains the slash.
    http.Proxy.clear();
    http.Get(server.Address());
    QCOMPARE(http.Url, server.Address() + "/");
    QCOMPARE(http.Port, server.Port());
    QCOMPARE(http.Body, QByteArray("page"));
    QCOMPARE(http.ReplyCode, int16_t(200));
    QCOMPARE(http.CommandKind, cmdGet);

    const QList<QByteArray> requests = server.Requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests[0],
             "GET /a/b.html HTTP/1.0\r\nHost: 127.0.0.1:" + server.PortText() + "\r\n" + Accept1 + Accept2 + ContentType
                 + "\r\n");
    QCOMPARE(requests[1],
             "GET http://127.0.0.1/a/b.html HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
             "Host: 127.0.0.1\r\n"
                 + Accept1 + Accept2 + ContentType + "\r\n");
    QVERIFY(requests[2].startsWith("GET / HTTP/1.0\r\nHost: 127.0.0.1:" + server.PortText() + "\r\n"));
}

void TestNMHTTP::longPath()
{
    ScriptedServer server(Always(Ok("x")));
    TNMHTTP http;
    const QByteArray path = "/" + QByteArray(299, 'p');
    http.Get(server.Address() + path);
    http.Proxy = "127.0.0.1";
    http.ProxyPort = server.Port();
    http.Get("http://127.0.0.1" + path);
    const QList<QByteArray> requests = server.Requests();
    QCOMPARE(requests.size(), 2);
    QVERIFY(requests[0].startsWith("GET " + path.left(256) + " HTTP/1.0\r\n"));
    QVERIFY(requests[1].startsWith("GET http://127.0.0.1" + path + " HTTP/1.0\r\n"));
}

void TestNMHTTP::otherCommands()
{
    ScriptedServer server(Always(Ok("done")));
    TNMHTTP http;
    // Post data is URL-decoded first; a body beyond one Write still goes whole.
    http.Post(server.Address() + "/form", "a+b%3D1");
    const QByteArray big(40000, 'b');
    http.Put(server.Address() + "/put", big);
    http.Link(server.Address() + "/l", "<x>");
    http.Raw(server.Address() + "/r", "raw");
    QCOMPARE(http.CommandKind, cmdGet);
    // Request bodies read from a file.
    QTemporaryDir dir;
    const QString bodyFile = dir.filePath("body.dat");
    QFile file(bodyFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("file body");
    file.close();
    http.OutputFileMode = true;
    http.Header = QFile::encodeName(dir.filePath("head.txt"));
    http.Post(server.Address() + "/f", QFile::encodeName(bodyFile));
    http.OutputFileMode = false;
    // A body file that cannot be opened fails before anything is sent.
    http.OutputFileMode = true;
    QVERIFY(!Failure([&] { http.Put(server.Address() + "/g", "/nonexistent/body"); }).isEmpty());
    http.OutputFileMode = false;

    const QList<QByteArray> r = server.Requests();
    QCOMPARE(r.size(), 5);
    QVERIFY(r[0].startsWith("POST /form HTTP/1.0\r\n"));
    QVERIFY(r[0].endsWith("Content-Length: 5\r\n\r\na b=1"));
    QVERIFY(r[1].endsWith("Content-Length: 40000\r\n\r\n" + big));
    QVERIFY(r[2].startsWith("LINK /l HTTP/1.0\r\n"));
    QVERIFY(r[2].endsWith("Link: <x>\r\nContent-Length: 8\r\n\r\n"));  // "Send.dat", no body
    QVERIFY(r[3].startsWith("Host: 127.0.0.1:" + server.PortText() + "\r\n"));
    QVERIFY(r[3].endsWith("Content-Length: 3\r\n\r\nraw"));
    QVERIFY(r[4].endsWith("Content-Length: 9\r\n\r\nfile body"));
}

void TestNMHTTP::eventOrderOfSuccess()
{
    // A body large enough to arrive in many packets after the header block.
    const QByteArray body(4 << 20, 'z');
    ScriptedServer server(
        Always("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body));
    TNMHTTP http;
    http.ReportLevel = 4;
    QStringList events;
    const auto add = [&](const QString& e) {
        if (events.isEmpty() || events.last() != e || e != "packet")
            events << e;
    };
    http.OnAboutToSend = [&](TPowersock*) { add("about to send"); };
    http.OnHostResolved = [&](TPowersock*) { add("host resolved"); };
    http.OnConnect = [&](TPowersock*) { add("connect"); };
    http.OnStatus = [&](TPowersock*, const QByteArray& s) { add("status " + QString::fromLatin1(s)); };
    http.OnPacketRecvd = [&](TPowersock*) { add("packet"); };
    http.OnDisconnect = [&](TPowersock*) { add("disconnect"); };
    http.OnSuccess = [&](CmdType cmd) { add(cmd == cmdGet ? "success" : "success of another kind"); };
    http.OnFailure = [&](CmdType) { add("failure"); };
    http.OnRedirect = [&](bool&) { add("redirect"); };
    http.Get(server.Address() + "/big");
    QCOMPARE(events,
             QStringList({"about to send", "connect", "status Sending Buffer", "packet", "status Request Close Socket",
                          "disconnect", "success", "status Transaction Completed", "status Request Close Socket",
                          "disconnect"}));
    QCOMPARE(http.Body.size(), body.size());
    QVERIFY(http.Body == body);
    QCOMPARE(http.BytesTotal, int64_t(body.size()));
    QVERIFY(http.BytesRecvd > 0 && http.BytesRecvd <= body.size());
    QCOMPARE(http.Status, QByteArray("Request Close Socket"));
}

void TestNMHTTP::redirects()
{
    QTemporaryDir dir;
    ScriptedServer target(Always(Ok("final body")));
    // Another host and path (another port of 127.0.0.1), then a bare name, then a path.
    ScriptedServer first([&](int index, const QByteArray&) -> QByteArray {
        switch (index) {
        case 0: return Redirect(target.Address() + "/y");
        case 1: return Redirect("page.html");
        case 2: return Redirect("/sub/z.htm");
        default: return Ok("first server");
        }
    });
    TNMHTTP http;
    http.InputFileMode = true;
    const QString bodyFile = dir.filePath("out.htm");
    http.Body = QFile::encodeName(bodyFile);
    QStringList events;
    http.OnRedirect = [&](bool&) { events << "redirect"; };
    http.OnSuccess = [&](CmdType) { events << "success"; };
    http.Get(first.Address() + "/x");
    QCOMPARE(ReadFile(bodyFile), QByteArray("final body"));
    QCOMPARE(http.Port, target.Port());
    QCOMPARE(target.Requests().size(), 1);
    QVERIFY(target.Requests()[0].startsWith("GET /y HTTP/1.0\r\nHost: 127.0.0.1:" + target.PortText() + "\r\n"));
    QCOMPARE(events, QStringList({"redirect", "success"}));

    // A name without "/" stays on the same host and port; a path keeps the host.
    http.InputFileMode = false;
    http.Get(first.Address() + "/x2");
    QCOMPARE(http.Url, QByteArray("/sub/z.htm"));
    QCOMPARE(http.Body, QByteArray("first server"));
    const QList<QByteArray> r = first.Requests();
    QCOMPARE(r.size(), 4);
    QVERIFY(r[2].startsWith("GET /page.html HTTP/1.0\r\n"));
    QVERIFY(r[3].startsWith("GET /sub/z.htm HTTP/1.0\r\n"));
}

void TestNMHTTP::cookieOverRedirect()
{
    ScriptedServer server([](int index, const QByteArray&) -> QByteArray {
        if (index == 0)
            return Redirect("/next", "Set-Cookie: old=1\r\nSet-Cookie: a=b\r\n");
        return Ok("ok");
    });
    TNMHTTP http;
    http.Get(server.Address() + "/start");
    QCOMPARE(http.HeaderInfo->Cookie, QByteArray("a=b"));
    http.Get(server.Address() + "/later");
    const QList<QByteArray> r = server.Requests();
    QCOMPARE(r.size(), 3);
    QVERIFY(!r[0].contains("Cookie:"));
    QVERIFY(r[1].contains("\r\nCookie: a=b\r\n"));
    QVERIFY(r[2].contains("\r\nCookie: a=b\r\n"));
    // A cookie of a plain (not redirecting) response is not taken over.
    ScriptedServer plain(Always("HTTP/1.0 200 OK\r\nSet-Cookie: c=d\r\n\r\n"));
    http.Get(plain.Address() + "/");
    QCOMPARE(http.ReceivedCookie, QByteArray("c=d"));
    QCOMPARE(http.HeaderInfo->Cookie, QByteArray("a=b"));
}

// A link holding CR LF, and a Location or Set-Cookie with a bare CR, reach the server as one
// request line each, without lines of their own; a host with a line break never connects.
void TestNMHTTP::noInjectedLines()
{
    ScriptedServer server([](int index, const QByteArray&) -> QByteArray {
        if (index == 0)
            return Redirect("/next\rX-Injected: location", "Set-Cookie: a=b\rX-Injected: cookie\r\n");
        return Ok("ok");
    });
    TNMHTTP http;
    http.Get(server.Address() + "/pic\r\nX-Injected:yes\r\nA.jpg");
    QCOMPARE(http.Body, QByteArray("ok"));
    const QList<QByteArray> r = server.Requests();
    QCOMPARE(r.size(), 2);
    QVERIFY2(r[0].startsWith("GET /pic%0D%0AX-Injected:yes%0D%0AA.jpg HTTP/1.0\r\nHost: 127.0.0.1:"), r[0]);
    QVERIFY2(r[1].startsWith("GET /next HTTP/1.0\r\nHost: 127.0.0.1:"), r[1]);
    QVERIFY(r[1].contains("\r\nCookie: a=b\r\n"));
    for (const QByteArray& request : r) {
        QVERIFY2(!request.contains("\nX-Injected"), request);
        QCOMPARE(request.count('\n'), request.count("\r\n"));
    }

    const QByteArray failure = Failure([&] { http.Get("http://127.0.0.1\r\nX-Injected: host/x"); });
    QCOMPARE(failure, QByteArray("Invalid host"));
    QCOMPARE(server.Requests().size(), 2);
}

void TestNMHTTP::redirectHandled()
{
    ScriptedServer server(Always(Redirect("/elsewhere")));
    TNMHTTP http;
    int redirects = 0;
    http.OnRedirect = [&](bool& handled) {
        ++redirects;
        handled = true;
    };
    http.Get(server.Address() + "/a");
    QCOMPARE(redirects, 1);
    QCOMPARE(server.Requests().size(), 1);
    QCOMPARE(http.ReplyCode, int16_t(302));
    QCOMPARE(http.Body, QByteArray("moved"));
    QCOMPARE(http.Url, QByteArray("/elsewhere"));
}

void TestNMHTTP::repeatedPasses()
{
    // A loop, a 3xx without a Location line, and the edge codes 299 and 399 all repeat the pass,
    // until the bound ends the request.
    const QList<QByteArray> replies = {Redirect("/loop"), "HTTP/1.0 301 Moved\r\n\r\n", "HTTP/1.0 299 Odd\r\n\r\n",
                                       "HTTP/1.0 399 Odd\r\n\r\n"};
    for (const QByteArray& reply : replies) {
        ScriptedServer server(Always(reply));
        TNMHTTP http;
        int successes = 0, redirects = 0;
        http.OnSuccess = [&](CmdType) { ++successes; };
        http.OnFailure = [&](CmdType) { ++successes; };
        http.OnRedirect = [&](bool&) { ++redirects; };
        QCOMPARE(Failure([&] { http.Get(server.Address() + "/start"); }), QByteArray("Too many redirects"));
        QCOMPARE(server.Requests().size(), MaxRepeatedPasses);
        QCOMPARE(successes, 0);
        const bool redirectCode = !reply.contains(" 299 ") && !reply.contains(" 399 ");
        QCOMPARE(redirects, redirectCode ? MaxRepeatedPasses : 0);
        QVERIFY(!http.Connected);
    }
    // Just under the bound the request ends normally.
    ScriptedServer server(
        [](int index, const QByteArray&) { return index < MaxRepeatedPasses - 1 ? Redirect("/again") : Ok("there"); });
    TNMHTTP http;
    http.Get(server.Address() + "/");
    QCOMPARE(http.Body, QByteArray("there"));
}

void TestNMHTTP::failureResponses()
{
    QTemporaryDir dir;
    const QString bodyFile = dir.filePath("error.htm");
    {
        // 404 in file mode: the error page is in the file when OnFailure fires.
        ScriptedServer server(Always("HTTP/1.0 404 Not Found\r\n\r\nno such page"));
        TNMHTTP http;
        http.InputFileMode = true;
        http.Body = QFile::encodeName(bodyFile);
        QByteArray seen;
        QStringList events;
        http.OnFailure = [&](CmdType) {
            seen = ReadFile(bodyFile);
            events << "failure";
        };
        http.OnSuccess = [&](CmdType) { events << "success"; };
        http.Get(server.Address() + "/missing");
        QCOMPARE(seen, QByteArray("no such page"));
        QCOMPARE(events, QStringList({"failure"}));
        QCOMPARE(http.ReplyCode, int16_t(404));
        QCOMPARE(http.BytesRecvd, int64_t(12));
    }
    {
        // 401: failure, the closing disconnect, then the authentication event.
        ScriptedServer server(Always("HTTP/1.0 401 Unauthorized\r\n\r\nlogin"));
        TNMHTTP http;
        QStringList events;
        http.OnFailure = [&](CmdType) { events << "failure"; };
        http.OnDisconnect = [&](TPowersock*) { events << "disconnect"; };
        http.OnAuthenticationNeeded = [&](TPowersock*) { events << "authentication"; };
        http.Get(server.Address() + "/secret");
        QCOMPARE(events, QStringList({"disconnect", "failure", "disconnect", "authentication"}));
        // A raising failure handler ends the request after the disconnect, with no
        // authentication event.
        events.clear();
        http.OnFailure = [&](CmdType) {
            events << "failure";
            throw ESilentAbort();
        };
        QCOMPARE(Failure([&] { http.Get(server.Address() + "/secret"); }), QByteArray("Operation aborted"));
        QCOMPARE(events, QStringList({"disconnect", "failure", "disconnect"}));
        QVERIFY(!http.Connected);
    }
}

void TestNMHTTP::badResponses_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("error");  // expected exception message, empty for none
    QTest::addColumn<int>("code");          // -1: no status line was read
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("bytesTotal");
    const QByteArray junk("\x00\x01\xfe\xff \x80\x81 \x7f\x1b", 10);
    const QByteArray bad(BadStatusLine);
    QTest::newRow("status line of binary junk") << junk + "\n\r\nrest" << bad << 0 << QByteArray() << 0;
    QTest::newRow("binary junk without a line end")
        << junk + junk << QByteArray("Connection closed before end of line") << -1 << QByteArray() << 0;
    QTest::newRow("bare HTTP/1.0 without a code")
        << QByteArray("HTTP/1.0\r\n\r\nbody") << bad << 0 << QByteArray() << 0;
    QTest::newRow("code right before the line end")
        << QByteArray("HTTP/1.0 404\r\n\r\nbody") << QByteArray() << 404 << QByteArray("body") << 0;
    QTest::newRow("status 0") << QByteArray("HTTP/1.0 0 OK\r\n\r\nbody") << bad << 0 << QByteArray() << 0;
    QTest::newRow("status 000") << QByteArray("HTTP/1.0 000 OK\r\n\r\nbody") << bad << 0 << QByteArray() << 0;
    QTest::newRow("negative status") << QByteArray("HTTP/1.0 -200 OK\r\n\r\nbody") << bad << -200 << QByteArray() << 0;
    QTest::newRow("garbage status") << QByteArray("HTTP/1.0 2x0 OK\r\n\r\nbody") << bad << 0 << QByteArray() << 0;
    QTest::newRow("four-digit status") << QByteArray("HTTP/1.0 2000 OK\r\n\r\nbody") << bad << 2000 << QByteArray()
                                       << 0;
    QTest::newRow("status 600") << QByteArray("HTTP/1.0 600 OK\r\n\r\nbody") << bad << 600 << QByteArray() << 0;
    QTest::newRow("ICY 200 OK") << QByteArray("ICY 200 OK\r\n\r\nbody") << bad << 200 << QByteArray() << 0;
    QTest::newRow("no version number") << QByteArray("HTTP/ 200 OK\r\n\r\nbody") << bad << 200 << QByteArray() << 0;
    QTest::newRow("interim answer alone")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << QByteArray("Connection closed before end of line") << -1
        << QByteArray() << 0;
    QByteArray block = "HTTP/1.0 200 OK\r\n";
    while (block.size() < (1 << 20))
        block += "X-Padding: " + QByteArray(100, 'p') + "\r\n";
    QTest::newRow("header block of 1 MB")
        << block + "\r\nbody" << QByteArray("Header block too large") << 200 << QByteArray() << 0;
    QTest::newRow("one header line of 100 KB")
        << "HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(100000, 'l') + "\r\n\r\nbody"
        << QByteArray("Header line too long") << 200 << QByteArray() << 0;
    QTest::newRow("negative Content-Length") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nbody")
                                             << QByteArray() << 200 << QByteArray("body") << 0;
    QTest::newRow("Content-Length beyond 32 bits, body cut")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 123456789012\r\n\r\nbody")
        << QByteArray("Connection closed after 4 of 123,456,789,012 bytes") << 200 << QByteArray() << 0;
    QTest::newRow("Content-Length not a number") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: lots\r\n\r\nbody")
                                                 << QByteArray() << 200 << QByteArray("body") << 0;
    QTest::newRow("Content-Length smaller than the body")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nbody") << QByteArray() << 200 << QByteArray("body")
        << 2;
    QTest::newRow("Location of 1000 characters on a success")
        << "HTTP/1.0 200 OK\r\nLocation: /" + QByteArray(999, 'L') + "\r\n\r\nbody" << QByteArray() << 200
        << QByteArray("body") << 0;
    QTest::newRow("close in the middle of the header block")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Ty") << QByteArray("Connection closed before end of line") << 200
        << QByteArray() << 0;
    QTest::newRow("close right after the status line")
        << QByteArray("HTTP/1.0 200 OK\r\n") << QByteArray("Connection closed before end of line") << 200
        << QByteArray() << 0;
    QTest::newRow("close before any byte")
        << QByteArray() << QByteArray("Connection closed before end of line") << -1 << QByteArray() << 0;
    QTest::newRow("bare LF line ends") << QByteArray("HTTP/1.0 200 OK\nContent-Length: 4\n\nbody") << QByteArray()
                                       << 200 << QByteArray("body") << 4;
}

void TestNMHTTP::badResponses()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, error);
    ScriptedServer server(Always(reply));
    TNMHTTP http;
    bool disconnected = false;
    http.OnDisconnect = [&](TPowersock*) { disconnected = true; };
    QCOMPARE(Failure([&] { http.Get(server.Address() + "/p"); }), error);
    QVERIFY(disconnected);
    QVERIFY(!http.Connected);
    QFETCH(int, code);
    if (code >= 0)
        QCOMPARE(int(http.ReplyCode), code);
    if (error.isEmpty()) {
        QTEST(http.Body, "body");
        QTEST(int(http.BytesTotal), "bytesTotal");
        QVERIFY(reply.startsWith(http.Header));
        QCOMPARE(http.Header.size() + http.Body.size(), reply.size());
    }
    // The client stays usable.
    ScriptedServer good(Always(Ok("fine")));
    http.Get(good.Address() + "/");
    QCOMPARE(http.Body, QByteArray("fine"));
}

void TestNMHTTP::interimAnswersSkipped_data()
{
    QTest::addColumn<QByteArray>("interim");
    QTest::newRow("100 Continue") << QByteArray("HTTP/1.1 100 Continue\r\n\r\n");
    QTest::newRow("103 with header lines, bare LF")
        << QByteArray("HTTP/1.1 103 Early Hints\nLink: </a.css>; rel=preload\n\n");
    QTest::newRow("two interim answers") << QByteArray(
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX-A: 1\r\n\r\n");
}

void TestNMHTTP::interimAnswersSkipped()
{
    QFETCH(QByteArray, interim);
    const QByteArray final = "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\n";
    ScriptedServer server(Always(interim + final + "body"));
    TNMHTTP http;
    bool succeeded = false;
    http.OnSuccess = [&](CmdType) { succeeded = true; };
    http.Get(server.Address() + "/p");
    QVERIFY(succeeded);
    QCOMPARE(int(http.ReplyCode), 200);
    QCOMPARE(http.Header, final);
    QCOMPARE(http.Body, QByteArray("body"));
}

void TestNMHTTP::bodyWithHeaderBlock()
{
    // The whole short response is in before the header block is read; the server has closed.
    const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    ScriptedServer server(Always(reply));
    server.SetRespondFirst();
    QTemporaryDir dir;
    int expectedAnswers = 0;
    for (bool fileMode : {false, true}) {
        TNMHTTP http;
        // Connected only once the whole response and the close are on their way in.
        ++expectedAnswers;
        http.OnConnect = [&](TPowersock*) {
            QDeadlineTimer deadline(10000);
            while (server.Answered() < expectedAnswers && !deadline.hasExpired())
                std::this_thread::yield();
        };
        // Bytes that came with the header block fire no packet event (a read step that only
        // finds the close may still report a packet of no bytes).
        QList<int64_t> packetCounts;
        http.OnPacketRecvd = [&](TPowersock* s) { packetCounts << s->BytesRecvd; };
        http.InputFileMode = fileMode;
        const QString bodyFile = dir.filePath("b.htm");
        if (fileMode)
            http.Body = QFile::encodeName(bodyFile);
        http.Get(server.Address() + "/short");
        QCOMPARE(fileMode ? ReadFile(bodyFile) : http.Body, QByteArray("hello"));
        for (int64_t count : packetCounts)
            QCOMPARE(count, int64_t(fileMode ? 5 : 0));
        // Bytes that came with the header block count only when written to a file.
        QCOMPARE(http.BytesRecvd, int64_t(fileMode ? 5 : 0));
        QCOMPARE(http.BytesTotal, int64_t(5));
        QCOMPARE(http.Header, reply.left(reply.size() - 5));
    }
    // A redirect of 1000-character Location is followed to its first 256 characters.
    ScriptedServer target(Always(Ok("cut")));
    const QByteArray longTarget = target.Address() + "/" + QByteArray(1000, 'c');
    ScriptedServer redirecting(Always(Redirect(longTarget)));
    TNMHTTP http;
    http.Get(redirecting.Address() + "/");
    QCOMPARE(http.Body, QByteArray("cut"));
    QCOMPARE(target.Requests().size(), 1);
    QVERIFY(
        target.Requests()[0].startsWith("GET " + longTarget.left(256).mid(longTarget.indexOf("/c")) + " HTTP/1.0\r\n"));
}

void TestNMHTTP::responseInPieces()
{
    // The same outcome wherever the reads split the status line, a header line or a line end.
    const QByteArray head = "HTTP/1.0 302 Found\r\nSet-Cookie: k=v\r\nContent-Length: 4\r\nLocation: /next\r\n\r\n";
    for (int pieceSize : {1, 2, 3, 7}) {
        ScriptedServer server([&](int index, const QByteArray&) {
            return index == 0 ? head + "body" : QByteArray("HTTP/1.0 200 OK\r\n\r\nfinal");
        });
        server.SetPieceSize(pieceSize);
        TNMHTTP http;
        QByteArray firstHeader;
        http.OnRedirect = [&](bool&) { firstHeader = http.Header; };
        http.Get(server.Address() + "/");
        QCOMPARE(firstHeader, head);
        QCOMPARE(http.HeaderInfo->Cookie, QByteArray("k=v"));
        QCOMPARE(http.Body, QByteArray("final"));
        QCOMPARE(server.Requests().size(), 2);
        QVERIFY(server.Requests()[1].startsWith("GET /next HTTP/1.0\r\n"));
    }
}

void TestNMHTTP::headerIntoFile()
{
    const QByteArray head = "HTTP/1.0 200 OK\r\nServer: s\r\n\r\n";
    ScriptedServer server(Always(head + "body"));
    QTemporaryDir dir;
    TNMHTTP http;
    http.OutputFileMode = true;
    const QString headFile = dir.filePath("Head.txt");
    http.Header = QFile::encodeName(headFile);
    http.Get(server.Address() + "/");
    QCOMPARE(ReadFile(headFile), head);
    QCOMPARE(http.Body, QByteArray("body"));
    // A header file that cannot be created ends the request with the file error, disconnected.
    http.Header = QFile::encodeName(dir.filePath("no/such/dir/Head.txt"));
    QVERIFY(Failure([&] { http.Get(server.Address() + "/"); }).startsWith("Cannot create file"));
    QVERIFY(!http.Connected);
}

// The body file is never written through a symbolic link, dangling or not: the request fails
// and the places the links point to stay as they were.
void TestNMHTTP::bodyFileNeverThroughALink()
{
    ScriptedServer server(Always(Ok("payload")));
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim.txt");
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the user's own");
    }
    QVERIFY(QFile::link(victim, dir.filePath("link.htm")));
    QVERIFY(QFile::link(dir.filePath("planted.txt"), dir.filePath("dangling.htm")));
    TNMHTTP http;
    http.InputFileMode = true;
    for (const char* name : {"link.htm", "dangling.htm"}) {
        http.Body = QFile::encodeName(dir.filePath(name));
        QVERIFY(Failure([&] { http.Get(server.Address() + "/"); }).startsWith("Cannot create file"));
        QVERIFY(QFileInfo(dir.filePath(name)).isSymLink());
    }
    QCOMPARE(ReadFile(victim), QByteArray("the user's own"));
    QVERIFY(!QFile::exists(dir.filePath("planted.txt")));
    // A plain file is still replaced, as before.
    http.Body = QFile::encodeName(dir.filePath("page.htm"));
    http.Get(server.Address() + "/");
    QCOMPARE(ReadFile(dir.filePath("page.htm")), QByteArray("payload"));

    // A body file that must be new: an existing file stays as it was; a new one is made, and a
    // redirect's next pass empties the file this request made.
    http.BodyFileMustBeNew = true;
    QVERIFY(Failure([&] { http.Get(server.Address() + "/"); }).startsWith("Cannot create file"));
    QCOMPARE(ReadFile(dir.filePath("page.htm")), QByteArray("payload"));
    ScriptedServer redirecting(
        [](int index, const QByteArray&) { return index == 0 ? Redirect("/final") : Ok("final body"); });
    http.Body = QFile::encodeName(dir.filePath("new.htm"));
    http.Get(redirecting.Address() + "/");
    QCOMPARE(ReadFile(dir.filePath("new.htm")), QByteArray("final body"));
    QCOMPARE(redirecting.Requests().size(), 2);
}

void TestNMHTTP::refusedConnection()
{
    int port = 0;
    {
        ScriptedServer closed(Always({}));
        port = closed.Port();
    }
    TNMHTTP http;
    QStringList events;
    http.OnAboutToSend = [&](TPowersock*) { events << "about to send"; };
    http.OnConnectionFailed = [&](TPowersock*) { events << "connection failed"; };
    http.OnDisconnect = [&](TPowersock*) { events << "disconnect"; };
    QCOMPARE(Failure([&] { http.Get("http://127.0.0.1:" + QByteArray::number(port) + "/"); }),
             QByteArray("Connection Failed"));
    QCOMPARE(events, QStringList({"about to send", "connection failed"}));
    // An empty address fails before any event.
    events.clear();
    QCOMPARE(Failure([&] { http.Get(""); }), QByteArray("Empty URL"));
    QVERIFY(events.isEmpty());
    // A port that is no number fails before connecting.
    QVERIFY(Failure([&] { http.Get("http://127.0.0.1:x/"); }).contains("not a valid integer"));
    QVERIFY(events.isEmpty());
}

void TestNMHTTP::namesAndAbort()
{
    // Names are answered by the look-up seam: "web.test" is 127.0.0.1, "slow.test" blocks until
    // released.
    // Shared with the look-up workers, which may still be inside the hook after this test.
    const auto release = std::make_shared<std::atomic<bool>>(false);
    ws::SetLookupHookForTesting([release](const QByteArray& name, uint32_t& address) {
        if (name == "slow.test") {
            QDeadlineTimer deadline(20000);
            while (!*release && !deadline.hasExpired())
                std::this_thread::yield();
            return int(ws::WSAHOST_NOT_FOUND);
        }
        if (name != "web.test")
            return int(ws::WSAHOST_NOT_FOUND);
        address = htonl(INADDR_LOOPBACK);
        return 0;
    });
    struct Cleanup {
        std::shared_ptr<std::atomic<bool>> Release;
        ~Cleanup()
        {
            *Release = true;
            ws::SetLookupHookForTesting(nullptr);
        }
    } cleanup{release};

    const QByteArray body(2 << 20, 'b');
    ScriptedServer server(Always(Ok(body)));
    TNMHTTP http;
    QStringList events;
    http.OnAboutToSend = [&](TPowersock*) { events << "about to send"; };
    http.OnHostResolved = [&](TPowersock*) { events << "host resolved"; };
    http.OnConnect = [&](TPowersock*) { events << "connect"; };
    http.Get("http://web.test:" + server.PortText() + "/named");
    QCOMPARE(events, QStringList({"about to send", "host resolved", "connect"}));
    QCOMPARE(http.Host, QByteArray("web.test"));
    QVERIFY(server.Requests().value(0).contains("\r\nHost: web.test:" + server.PortText() + "\r\n"));

    // Abort during the body: the capture ends with its cancel error, after the disconnect.
    bool disconnected = false;
    http.OnDisconnect = [&](TPowersock*) { disconnected = true; };
    http.OnPacketRecvd = [&](TPowersock*) { http.Abort(); };
    QCOMPARE(Failure([&] { http.Get(server.Address() + "/abort"); }), QByteArray("Socket capture aborted"));
    QVERIFY(disconnected);
    QVERIFY(!http.Connected);
    http.OnPacketRecvd = nullptr;

    // Abort ends a look-up wait at once.
    events.clear();
    QTimer::singleShot(0, [&] { http.Abort(); });
    QCOMPARE(Failure([&] { http.Get("http://slow.test/"); }), QByteArray("Host Lookup Canceled"));
    QCOMPARE(events, QStringList({"about to send"}));
    // The time-out aborts a look-up the same way.
    http.TimeOut = 100;
    QCOMPARE(Failure([&] { http.Get("http://slow.test/"); }), QByteArray("Host Lookup Timed Out"));
    // A name that is not found, with no retry handler.
    QCOMPARE(Failure([&] { http.Get("http://missing.test/"); }), QByteArray("Null Remote Address"));
}

void TestNMHTTP::realServer()
{
    QTemporaryDir root;
    QByteArray data(3 << 20, Qt::Uninitialized);
    for (uint32_t i = 0; i < uint32_t(data.size()); ++i)
        data[i] = char((i * 7919u) >> 3);
    QFile file(root.filePath("data.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    QVERIFY(QDir(root.path()).mkdir("sub"));
    QFile index(root.filePath("sub/index.html"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("<html>sub</html>");
    index.close();
    PyHttpServer server(root.path());
    QVERIFY(server.Start());

    TNMHTTP http;
    http.TimeOut = 10000;
    http.Get(server.Url("/data.bin"));
    QCOMPARE(http.ReplyCode, int16_t(200));
    QCOMPARE(http.BytesTotal, int64_t(data.size()));
    QVERIFY(http.Body == data);

    QTemporaryDir out;
    http.InputFileMode = true;
    http.Body = QFile::encodeName(out.filePath("copy.bin"));
    http.Get(server.Url("/data.bin"));
    QVERIFY(ReadFile(out.filePath("copy.bin")) == data);
    QCOMPARE(http.BytesRecvd, int64_t(data.size()));

    // A directory without its slash is redirected to it.
    http.InputFileMode = false;
    http.Get(server.Url("/sub"));
    QCOMPARE(http.ReplyCode, int16_t(200));
    QCOMPARE(http.Body, QByteArray("<html>sub</html>"));

    bool failed = false;
    http.OnFailure = [&](CmdType) { failed = true; };
    http.Get(server.Url("/missing.bin"));
    QVERIFY(failed);
    QCOMPARE(http.ReplyCode, int16_t(404));
}

QTEST_GUILESS_MAIN(TestNMHTTP)
#include "test_nmhttp.moc"
