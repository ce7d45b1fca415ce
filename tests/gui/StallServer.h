#pragma once
// A tiny HTTP server on 127.0.0.1 for the retrieval tests, in threads of its own. Each path gets a
// scripted reply: a list of parts with a stall between each two, which lasts until the test
// releases it (the k-th stall of a connection passes after the (k+1)-th Release()) or until the
// client closes. It counts requests and notices when the client closes a stalled connection.
#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class StallServer {
public:
    using Reply = QList<QByteArray>;  // parts; the connection closes after the last

    StallServer()
    {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(FListen, 16);
        socklen_t length = sizeof address;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        FAcceptor = std::thread([this] { AcceptLoop(); });
    }

    ~StallServer()
    {
        FStop = true;
        FAcceptor.join();
        for (std::thread& t : FConnections)
            t.join();
        ::close(FListen);
    }

    StallServer(const StallServer&) = delete;
    StallServer& operator=(const StallServer&) = delete;

    quint16 Port() const { return FPort; }
    QByteArray Url(const QByteArray& path) const { return "http://127.0.0.1:" + QByteArray::number(FPort) + path; }

    void SetReply(const QByteArray& path, const Reply& reply)
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FReplies[path] = reply;
    }
    // A complete 200 reply with the given body (and its length, unless told otherwise).
    void SetPage(const QByteArray& path, const QByteArray& body, bool withLength = true)
    {
        QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
        if (withLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        SetReply(path, {head + "\r\n" + body});
    }

    void Release() { ++FReleases; }
    void ReleaseAll() { FReleasedAll = true; }  // every stall, now and later, passes
    int Requests() const { return FRequests; }
    // The request line and header lines of the last request for the path.
    QByteArray LastRequest(const QByteArray& path) const
    {
        std::lock_guard<std::mutex> lock(FMutex);
        const auto it = FLastRequest.find(path);
        return it == FLastRequest.end() ? QByteArray() : it->second;
    }
    int RequestsFor(const QByteArray& path) const
    {
        std::lock_guard<std::mutex> lock(FMutex);
        const auto it = FRequestCount.find(path);
        return it == FRequestCount.end() ? 0 : it->second;
    }
    int Stalled() const { return FStalled; }        // connections waiting in a stall now
    int PeerCloses() const { return FPeerCloses; }  // stalls ended by the client closing

private:
    void AcceptLoop()
    {
        while (!FStop) {
            pollfd p{FListen, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int fd = ::accept(FListen, nullptr, nullptr);
            if (fd >= 0)
                FConnections.emplace_back([this, fd] { Serve(fd); });
        }
    }

    // Reads the request up to its empty line; returns its path ("" when the client gave up).
    QByteArray ReadRequest(int fd, QByteArray* head = nullptr)
    {
        QByteArray request;
        char buffer[4096];
        while (!FStop && !request.contains("\r\n\r\n")) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return {};
            request.append(buffer, n);
        }
        if (head)
            *head = request;
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        return words.size() >= 2 ? words.at(1) : QByteArray();
    }

    void Send(int fd, const QByteArray& data)
    {
        qsizetype sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += n;
        }
    }

    void Serve(int fd)
    {
        QByteArray head;
        const QByteArray path = ReadRequest(fd, &head);
        if (path.isEmpty()) {
            ::close(fd);
            return;
        }
        ++FRequests;
        Reply reply{"HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\nNot here"};
        {
            std::lock_guard<std::mutex> lock(FMutex);
            ++FRequestCount[path];
            FLastRequest[path] = head;
            const auto it = FReplies.find(path);
            if (it != FReplies.end())
                reply = it->second;
        }
        for (int part = 0; part < reply.size(); ++part) {
            if (part > 0 && !Stall(fd, part - 1)) {
                ++FPeerCloses;
                ::close(fd);
                return;
            }
            Send(fd, reply.at(part));
        }
        ::shutdown(fd, SHUT_WR);
        // Let the client read to the end before the socket goes (a close with unread input
        // would reset the connection).
        char buffer[256];
        for (int i = 0; i < 250 && !FStop; ++i) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
                break;
        }
        ::close(fd);
    }

    // Waits until stall number k may pass; false when the client closed meanwhile.
    bool Stall(int fd, int k)
    {
        ++FStalled;
        bool peerClosed = false;
        while (!FStop && !FReleasedAll && FReleases <= k && !peerClosed) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char c;
                peerClosed = ::recv(fd, &c, 1, 0) <= 0;
            }
        }
        --FStalled;
        return !peerClosed;
    }

    int FListen = -1;
    quint16 FPort = 0;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FReleasedAll{false};
    std::atomic<int> FReleases{0};
    std::atomic<int> FRequests{0};
    std::atomic<int> FStalled{0};
    std::atomic<int> FPeerCloses{0};
    mutable std::mutex FMutex;
    std::map<QByteArray, Reply> FReplies;
    std::map<QByteArray, int> FRequestCount;
    std::map<QByteArray, QByteArray> FLastRequest;
    std::thread FAcceptor;
    std::vector<std::thread> FConnections;
};
