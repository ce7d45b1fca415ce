#include "UnrulyServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <chrono>

#include "ScriptServer.h"

namespace {
qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SendAll(int fd, const char* data, qsizetype size)
{
    for (qsizetype sent = 0; sent < size;) {
        const ssize_t n = ::send(fd, data + sent, size_t(size - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
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

UnrulyServer::UnrulyServer()
{
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
}

QByteArray UnrulyServer::Url(const QByteArray& path) const
{
    return "http://127.0.0.1:" + QByteArray::number(FPort) + path;
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
            Serve(fd, id);
            --FOpen;
            ::close(fd);
        });
    });
}

void UnrulyServer::Serve(int fd, int connection)
{
    QByteArray buffer;
    for (;;) {
        qsizetype end;
        while ((end = buffer.indexOf("\r\n\r\n")) < 0) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 20);
            {
                std::lock_guard lock(FMutex);
                if (FStopping)
                    return;
            }
            if (ready <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return;  // the client closed its connection
            buffer.append(chunk, n);
        }
        const QByteArray head = buffer.left(end + 4);
        buffer.remove(0, end + 4);
        if (!Answer(fd, connection, head))
            return;
    }
}

bool UnrulyServer::Answer(int fd, int connection, const QByteArray& head)
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
        if (first && faults.contains(code)) {
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
        if (from >= size) {
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
        return SendAll(fd, reply.constData(), reply.size());
    }
    const QByteArray body = Body(name, size, version).mid(from);
    QByteArray reply = "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extra;
    if (validators)
        reply += "ETag: " + etag + "\r\n";
    reply += "\r\n";
    if (!SendAll(fd, reply.constData(), reply.size()))
        return false;
    qint64 count = body.size();
    if (first && (faults.contains("cut") || faults.contains("reset")))
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
        if (!SendAll(fd, body.constData() + sent, n))
            return false;
        FBodyBytes += n;
    }
    if (count == body.size())
        return true;
    if (first && faults.contains("reset")) {
        const linger value{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
    } else if (first && faults.contains("stall")) {
        std::unique_lock lock(FMutex);
        FStopped.wait(lock, [this] { return FStopping; });
    }
    return false;
}
