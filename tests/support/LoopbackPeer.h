#pragma once
// A scripted TCP peer on 127.0.0.1 for socket tests: it listens on a free port and runs a script
// on its own thread against the first connection it accepts. Plain POSIX with blocking calls
// bounded by time limits, so a failing test ends instead of hanging.
#include <QByteArray>
#include <functional>
#include <thread>

class LoopbackPeer {
public:
    using Script = std::function<void(int fd)>;

    // Listens at once (backlog as given); the script runs on the first accepted connection.
    explicit LoopbackPeer(Script script = {}, int backlog = 16);
    ~LoopbackPeer();  // closes everything and joins the script's thread
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int Port() const { return FPort; }
    int ListenFd() const { return FListenFd; }
    // Stops listening (a later connect to the port is refused).
    void CloseListener();

    // Helpers for scripts.
    static bool SendAll(int fd, const QByteArray& data);
    // Reads until `count` bytes arrived, the peer closed, or 20 s passed.
    static QByteArray ReadCount(int fd, qsizetype count);
    // Reads until the peer closes the connection (or 20 s passed).
    static QByteArray ReadAll(int fd);
    // The connection will be reset, not closed gracefully, when the script ends.
    static void Reset(int fd);
    // Waits (up to 20 s) until the other side closed the connection.
    static bool WaitForClose(int fd);

private:
    int FListenFd = -1;
    int FPort = 0;
    std::thread FThread;
};

// Bytes 0..n-1 of a recognisable pattern (so lost, doubled or reordered bytes show).
QByteArray PatternBytes(qsizetype n);
