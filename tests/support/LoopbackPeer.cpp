#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <limits>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int LimitMs = 20000;

bool WaitFor(int fd, short events, int ms = LimitMs)
{
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, ms) > 0;
}
}  // namespace

LoopbackPeer::LoopbackPeer(Script script, int backlog)
{
    FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(FListenFd, backlog) != 0
        || ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    FPort = ntohs(address.sin_port);
    if (!script)
        return;
    const int listenFd = FListenFd;
    FThread = std::thread([this, listenFd, script = std::move(script)] {
        // A connection already queued is served even when the peer is being destroyed; only
        // waiting for one that never comes ends early.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
        while (!WaitFor(listenFd, POLLIN, 20)) {
            if (FStopping || std::chrono::steady_clock::now() > end)
                return;
        }
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        script(fd);
        ::close(fd);
    });
}

LoopbackPeer::~LoopbackPeer()
{
    FStopping = true;
    if (FThread.joinable())
        FThread.join();
    CloseListener();
}

void LoopbackPeer::CloseListener()
{
    if (FListenFd >= 0)
        ::close(FListenFd);
    FListenFd = -1;
}

bool LoopbackPeer::SendAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        if (!WaitFor(fd, POLLOUT))
            return false;
        const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray LoopbackPeer::ReadCount(int fd, qsizetype count)
{
    QByteArray data;
    char buffer[65536];
    while (data.size() < count) {
        if (!WaitFor(fd, POLLIN))
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(buffer, n);
    }
    return data;
}

QByteArray LoopbackPeer::ReadAll(int fd) { return ReadCount(fd, std::numeric_limits<qsizetype>::max()); }

void LoopbackPeer::Reset(int fd)
{
    const linger value{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

bool LoopbackPeer::WaitForClose(int fd)
{
    char buffer[4096];
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
    while (std::chrono::steady_clock::now() < end) {
        if (!WaitFor(fd, POLLIN, 100))
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            return true;
    }
    return false;
}

QByteArray PatternBytes(qsizetype n)
{
    QByteArray data(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    return data;
}

SilentListener::SilentListener()
{
    for (int i = 0; i < 16 && !FFull; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(FPeer.Port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        FFillers.push_back(fd);
        // One that does not complete at once shows the queue is full.
        FFull = !WaitFor(fd, POLLOUT, 300);
    }
}

SilentListener::~SilentListener()
{
    for (int fd : FFillers)
        ::close(fd);
}
