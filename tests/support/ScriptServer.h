#pragma once
// A small HTTP server on 127.0.0.1 whose replies the test controls (held, stalled, paced, no
// length), in threads of its own, and deterministic file contents for it to serve.
#include <QByteArray>
#include <QList>
#include <QSet>
#include <arpa/inet.h>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Deterministic file contents, different for every path.
inline QByteArray Content(const QByteArray& seed, int size)
{
    QByteArray out;
    out.reserve(size);
    for (int i = 0; out.size() < size; ++i)
        out += seed + ':' + QByteArray::number(i) + '\n';
    out.truncate(size);
    return out;
}

// A listening socket on a free port of 127.0.0.1.
inline int ListenOnLoopback(int backlog, quint16* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, backlog);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

// Hands each connection on `listen` to `accepted` until `stopping` (guarded by `mutex`) is set;
// looks at the flag at least every 20 ms.
inline void AcceptUntilStopped(int listen, std::mutex& mutex, const bool& stopping,
                               const std::function<void(int fd)>& accepted)
{
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
        }
        pollfd p{listen, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            accepted(fd);
    }
}

class ScriptServer {
public:
    // Runs on the connection's own thread with the request's path; the socket closes after it.
    using Handler = std::function<void(ScriptServer& server, int fd, const QByteArray& path)>;

    explicit ScriptServer(Handler handler) : FHandler(std::move(handler))
    {
        FListen = ListenOnLoopback(64, &FPort);
        FAccept = std::thread([this] { AcceptLoop(); });
    }

    ~ScriptServer()
    {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FChanged.notify_all();
        FAccept.join();
        for (std::thread& t : FConnections)
            t.join();
        ::close(FListen);
    }

    QByteArray Url(const QByteArray& path) const { return "http://127.0.0.1:" + QByteArray::number(FPort) + path; }
    quint16 Port() const { return FPort; }

    void Release(const QByteArray& path)
    {
        {
            std::lock_guard lock(FMutex);
            FReleased.insert(path);
        }
        FChanged.notify_all();
    }
    void ReleaseAll()
    {
        {
            std::lock_guard lock(FMutex);
            FAll = true;
        }
        FChanged.notify_all();
    }
    // Blocks the connection until the test releases its path; false when the server shuts down.
    bool WaitReleased(const QByteArray& path)
    {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return FStopping || FAll || FReleased.contains(path); });
        return !FStopping;
    }
    // Blocks the connection until the server shuts down (a silent peer).
    void Stall() { WaitReleased(QByteArray("\x01never", 6)); }
    int Requests() const
    {
        std::lock_guard lock(FMutex);
        return FRequests.size();
    }
    QList<QByteArray> RequestPaths() const
    {
        std::lock_guard lock(FMutex);
        return FRequests;
    }
    // The whole request (line and header block) of every connection, in arrival order.
    QList<QByteArray> RequestTexts() const
    {
        std::lock_guard lock(FMutex);
        return FRequestTexts;
    }

    static bool SendAll(int fd, const QByteArray& data)
    {
        for (qsizetype sent = 0; sent < data.size();) {
            const ssize_t n = ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
    static QByteArray Head(int status, qint64 length)
    {
        QByteArray head = "HTTP/1.0 " + QByteArray::number(status) + " X\r\nContent-Type: application/octet-stream\r\n";
        if (length >= 0)
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        return head + "\r\n";
    }

private:
    void AcceptLoop()
    {
        AcceptUntilStopped(FListen, FMutex, FStopping,
                           [this](int fd) { FConnections.emplace_back([this, fd] { Serve(fd); }); });
    }
    void Serve(int fd)
    {
        QByteArray request;
        char buf[4096];
        while (!request.contains("\r\n\r\n") && request.size() < 65536) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) == 0) {
                std::lock_guard lock(FMutex);
                if (FStopping)
                    break;
                continue;
            }
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, n);
        }
        const QByteArray path = request.split(' ').value(1);
        {
            std::lock_guard lock(FMutex);
            FRequests.append(path);
            FRequestTexts.append(request);
        }
        if (!path.isEmpty())
            FHandler(*this, fd, path);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }

    Handler FHandler;
    int FListen = -1;
    quint16 FPort = 0;
    std::thread FAccept;
    std::vector<std::thread> FConnections;  // touched by the accept thread only until the join
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    bool FStopping = false;
    bool FAll = false;
    QSet<QByteArray> FReleased;
    QList<QByteArray> FRequests;
    QList<QByteArray> FRequestTexts;
};

// A handler serving Content(path, size) after the path is released; size from the path's tail
// "...-N" (N bytes), 5000 when absent.
inline void ServeHeldFile(ScriptServer& server, int fd, const QByteArray& path)
{
    if (!server.WaitReleased(path))
        return;
    const int dash = path.lastIndexOf('-');
    const int size = dash >= 0 ? path.mid(dash + 1).toInt() : 5000;
    ScriptServer::SendAll(fd, ScriptServer::Head(200, size) + Content(path, size));
}

// A handler announcing 100000 bytes that sends the first 5000 of them and then stays silent
// until the server shuts down.
inline void ServePartThenStall(ScriptServer& server, int fd, const QByteArray& path)
{
    ScriptServer::SendAll(fd, ScriptServer::Head(200, 100000) + Content(path, 5000));
    server.Stall();
}
