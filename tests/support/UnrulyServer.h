#pragma once
// An HTTP/1.1 server on 127.0.0.1 that behaves like a busy CDN: it keeps connections alive,
// answers Range and If-Range against a strong ETag, and misbehaves on request. It serves
// "/NAME-SIZE.bin" (SIZE bytes of Content(NAME, SIZE)), over TLS when given a certificate; a
// query names what goes wrong on the first request for that path, comma-separated:
//   cut      half the body, then a close (over TLS, a clean one: close_notify first)
//   reset    half the body, then a reset
//   tlsend   over TLS: half the body, then the connection closes without close_notify
//   badrecord over TLS: half the body, then a record that does not decrypt, and a close
//   429      "429 Too Many Requests", Retry-After: 1 (503 likewise)
//   stall    1000 bytes of the body, then silence until the server ends
//   trickle  the whole body, 2000 bytes every 100 ms
//   changed  every request after the first sees a new version of the file (another ETag)
//   noetag   no ETag nor Last-Modified (the file cannot be resumed)
// and on every request for it:
//   429all   "429 Too Many Requests", Retry-After: 1, whatever the try
//   416      a Range request is refused: "416 Range Not Satisfiable"
// It records every request (when it came, on which connection, its Range and If-Range), how many
// connections it opened and the most that were open at once, and the body bytes it sent.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

struct ssl_ctx_st;

class UnrulyServer {
public:
    struct Request {
        QByteArray Path;  // with its query
        QByteArray Range;
        QByteArray IfRange;
        int Connection = 0;
        qint64 AtMs = 0;  // since the server started
        int Status = 0;
    };

    // Plain http; or https with the certificate and key (PEM files) given.
    explicit UnrulyServer(const QString& certificate = {}, const QString& key = {});
    ~UnrulyServer();
    UnrulyServer(const UnrulyServer&) = delete;
    UnrulyServer& operator=(const UnrulyServer&) = delete;

    QByteArray Url(const QByteArray& path) const;
    QList<Request> Requests() const;
    int ConnectionsOpened() const { return FOpened.load(); }
    int MostConnectionsAtOnce() const { return FMost.load(); }
    qint64 BodyBytesSent() const { return FBodyBytes.load(); }
    // The body of "/NAME-SIZE.bin" (in its `version`: a changed file's later requests see 2).
    static QByteArray Body(const QByteArray& name, qint64 size, int version = 1);

    class Link;

private:
    void AcceptLoop();
    void Serve(Link& link, int connection);
    // False when the connection must end.
    bool Answer(Link& link, int connection, const QByteArray& head);
    bool Stopping() const;

    ssl_ctx_st* FTls = nullptr;  // null: plain http
    int FListen = -1;
    quint16 FPort = 0;
    std::thread FAccept;
    std::vector<std::thread> FThreads;
    mutable std::mutex FMutex;
    std::condition_variable FStopped;
    bool FStopping = false;
    QList<Request> FRequests;
    QMap<QByteArray, int> FSeen;  // requests per path, its query left out
    std::atomic<int> FOpened{0};
    std::atomic<int> FOpen{0};
    std::atomic<int> FMost{0};
    std::atomic<qint64> FBodyBytes{0};
    qint64 FStartMs = 0;
};
