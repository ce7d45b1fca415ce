#include "UnrulyServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <QDateTime>
#include <QFile>
#include <chrono>

#include "ScriptServer.h"

namespace {
qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QByteArray HeaderValue(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}
}  // namespace

// One connection, plain or over TLS, on its own thread.
class UnrulyServer::Link {
public:
    Link(int fd, ssl_ctx_st* tls) : Fd(fd)
    {
        if (!tls)
            return;
        Tls = SSL_new(tls);
        SSL_set_fd(Tls, fd);
    }
    ~Link()
    {
        SSL_free(Tls);  // no close_notify: only CloseNotify sends one
        ::close(Fd);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The server's side of the handshake; false when it fails or the server stops first.
    bool Handshake(const UnrulyServer& server)
    {
        if (!Tls)
            return true;
        // Reads give up now and then, so that a client that never speaks holds up no stop.
        const timeval wait{0, 20000};
        ::setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        for (;;) {
            const int done = SSL_accept(Tls);
            if (done == 1)
                return true;
            if (SSL_get_error(Tls, done) != SSL_ERROR_WANT_READ || server.Stopping())
                return false;
        }
    }
    // Some bytes of the request; 0 when the client closed, -1 when none came within 20 ms.
    qsizetype Receive(char* data, int size)
    {
        if (!Tls || SSL_pending(Tls) == 0) {
            pollfd p{Fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                return -1;
        }
        if (!Tls) {
            const ssize_t n = ::recv(Fd, data, size_t(size), 0);
            return n > 0 ? n : 0;
        }
        const int n = SSL_read(Tls, data, size);
        if (n > 0)
            return n;
        return SSL_get_error(Tls, n) == SSL_ERROR_WANT_READ ? -1 : 0;
    }
    bool Send(const char* data, qsizetype size)
    {
        for (qsizetype sent = 0; sent < size;) {
            const qsizetype n = Tls ? SSL_write(Tls, data + sent, int(size - sent))
                                    : ::send(Fd, data + sent, size_t(size - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
    bool Send(const QByteArray& bytes) { return Send(bytes.constData(), bytes.size()); }
    void CloseNotify()
    {
        if (Tls)
            SSL_shutdown(Tls);
    }
    // An application data record whose bytes do not decrypt, straight onto the connection.
    void SendBrokenRecord()
    {
        const QByteArray record = QByteArray("\x17\x03\x03\x00\x20", 5) + QByteArray(32, '\x55');
        ::send(Fd, record.constData(), size_t(record.size()), MSG_NOSIGNAL);
    }
    void Reset()
    {
        const linger value{1, 0};
        ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
    }

private:
    int Fd;
    SSL* Tls = nullptr;
};

UnrulyServer::UnrulyServer(const QString& certificate, const QString& key)
{
    if (!certificate.isEmpty()) {
        FTls = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_chain_file(FTls, QFile::encodeName(certificate).constData()) != 1
            || SSL_CTX_use_PrivateKey_file(FTls, QFile::encodeName(key).constData(), SSL_FILETYPE_PEM) != 1)
            qFatal("the test server's certificate or key cannot be read");
    }
    FStartMs = NowMs();
    FListen = ListenOnLoopback(128, &FPort);
    FAccept = std::thread([this] { AcceptLoop(); });
}

UnrulyServer::~UnrulyServer()
{
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FStopped.notify_all();
    FAccept.join();
    for (std::thread& t : FThreads)
        t.join();
    ::close(FListen);
    SSL_CTX_free(FTls);
}

bool UnrulyServer::Stopping() const
{
    std::lock_guard lock(FMutex);
    return FStopping;
}

QByteArray UnrulyServer::Url(const QByteArray& path) const
{
    return (FTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + QByteArray::number(FPort) + path;
}

QList<UnrulyServer::Request> UnrulyServer::Requests() const
{
    std::lock_guard lock(FMutex);
    return FRequests;
}

QByteArray UnrulyServer::Body(const QByteArray& name, qint64 size, int version)
{
    return Content(version == 1 ? name : name + "/v" + QByteArray::number(version), int(size));
}

void UnrulyServer::AcceptLoop()
{
    int connection = 0;
    AcceptUntilStopped(FListen, FMutex, FStopping, [&](int fd) {
        ++FOpened;
        const int open = ++FOpen;
        for (int most = FMost.load(); open > most && !FMost.compare_exchange_weak(most, open);) {}
        FThreads.emplace_back([this, fd, id = ++connection] {
            {
                Link link(fd, FTls);
                if (link.Handshake(*this))
                    Serve(link, id);
            }
            --FOpen;
        });
    });
}

void UnrulyServer::Serve(Link& link, int connection)
{
    QByteArray buffer;
    for (;;) {
        qsizetype end;
        while ((end = buffer.indexOf("\r\n\r\n")) < 0) {
            if (Stopping())
                return;
            char chunk[4096];
            const qsizetype n = link.Receive(chunk, sizeof chunk);
            if (n == 0)
                return;  // the client closed its connection
            if (n > 0)
                buffer.append(chunk, n);
        }
        const QByteArray head = buffer.left(end + 4);
        buffer.remove(0, end + 4);
        if (!Answer(link, connection, head))
            return;
    }
}

bool UnrulyServer::Answer(Link& link, int connection, const QByteArray& head)
{
    const QByteArray target = head.split(' ').value(1);
    const QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    const QList<QByteArray> faults =
        target.contains('?') ? target.mid(target.indexOf('?') + 1).split(',') : QList<QByteArray>();
    Request request;
    request.Path = target;
    request.Range = HeaderValue(head, "range");
    request.IfRange = HeaderValue(head, "if-range");
    request.Connection = connection;
    request.AtMs = NowMs() - FStartMs;
    int seen;
    {
        std::lock_guard lock(FMutex);
        seen = FSeen[path]++;
    }
    const bool first = seen == 0;
    const QByteArray name = path.mid(1, path.lastIndexOf('-') - 1);
    const qint64 size = path.mid(path.lastIndexOf('-') + 1).split('.').value(0).toLongLong();
    const int version = faults.contains("changed") && !first ? 2 : 1;
    const QByteArray etag = "\"" + name + "-v" + QByteArray::number(version) + "\"";
    const bool validators = !faults.contains("noetag");

    QByteArray status = "200 OK";
    QByteArray extra;
    qint64 from = 0;
    bool refuse = false;
    for (const char* code : {"429", "503"}) {
        if ((first && faults.contains(code)) || faults.contains(QByteArray(code) + "all")) {
            status = QByteArray(code) + (code[0] == '4' ? " Too Many Requests" : " Service Unavailable");
            extra = "Retry-After: 1\r\n";
            refuse = true;
        }
    }
    if (!path.endsWith(".bin")) {
        status = "404 Not Found";
        refuse = true;
    }
    if (!refuse && request.Range.startsWith("bytes=") && validators
        && (request.IfRange.isEmpty() || request.IfRange == etag)) {
        from = request.Range.mid(6, request.Range.indexOf('-') - 6).toLongLong();
        if (from >= size || faults.contains("416")) {
            status = "416 Range Not Satisfiable";
            extra = "Content-Range: bytes */" + QByteArray::number(size) + "\r\n";
            refuse = true;
        } else {
            status = "206 Partial Content";
            extra = "Content-Range: bytes " + QByteArray::number(from) + '-' + QByteArray::number(size - 1) + '/'
                + QByteArray::number(size) + "\r\n";
        }
    }
    request.Status = status.left(3).toInt();
    {
        std::lock_guard lock(FMutex);
        FRequests.append(request);
    }
    if (refuse) {
        const QByteArray page = "<html>" + status + "</html>";
        const QByteArray reply = "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nContent-Length: "
            + QByteArray::number(page.size()) + "\r\n" + extra + "\r\n" + page;
        return link.Send(reply);
    }
    const QByteArray body = Body(name, size, version).mid(from);
    QByteArray reply = "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extra;
    if (validators)
        reply += "ETag: " + etag + "\r\n";
    reply += "\r\n";
    if (!link.Send(reply))
        return false;
    qint64 count = body.size();
    for (const char* fault : {"cut", "reset", "tlsend", "badrecord"})
        if (first && faults.contains(fault))
            count = body.size() / 2;
    if (first && faults.contains("stall"))
        count = qMin<qint64>(1000, body.size());
    const qint64 piece = first && faults.contains("trickle") ? 2000 : count;
    for (qint64 sent = 0; sent < count; sent += piece) {
        if (sent > 0) {
            std::unique_lock lock(FMutex);
            if (FStopped.wait_for(lock, std::chrono::milliseconds(100), [this] { return FStopping; }))
                return false;
        }
        const qint64 n = qMin(piece, count - sent);
        if (!link.Send(body.constData() + sent, n))
            return false;
        FBodyBytes += n;
    }
    if (count == body.size())
        return true;
    if (first && faults.contains("reset")) {
        link.Reset();
    } else if (first && faults.contains("stall")) {
        std::unique_lock lock(FMutex);
        FStopped.wait(lock, [this] { return FStopping; });
    } else if (first && faults.contains("badrecord")) {
        link.SendBrokenRecord();
    } else if (first && faults.contains("cut")) {
        link.CloseNotify();
    }
    return false;
}
