#include "platform/Winsock.h"

#include "platform/MessageWindow.h"

#include <QAbstractEventDispatcher>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace ws {
namespace {

thread_local int LastError = 0;
std::atomic<int> StartedCount{0};

int Fail(int error)
{
    LastError = error;
    return SOCKET_ERROR;
}

// ---------------------------------------------------------------------------------------------
// Sockets and their notifications

enum class SockState { Fresh, Connecting, Connected, Listening };

struct SockRecord {
    int Fd = -1;
    SOCKET Handle = INVALID_SOCKET;
    SockState State = SockState::Fresh;
    bool CloseSeen = false;  // FD_CLOSE has been posted; nothing more is read for it
    int ResetError = 0;      // a reset already taken from the socket, for the coming FD_CLOSE
    QPointer<TMessageWindow> Window;
    unsigned Message = 0;
    long Events = 0;
    std::unique_ptr<QSocketNotifier> ReadNotifier;
    std::unique_ptr<QSocketNotifier> WriteNotifier;
};

// The table is touched by every thread that uses sockets; a record itself only by its owner.
struct SockTable {
    std::mutex Lock;
    std::unordered_map<SOCKET, std::unique_ptr<SockRecord>> Records;
    // Handles are never reused, unlike descriptors: a notification still queued for a closed
    // socket must not be taken for a later socket that got the same descriptor.
    SOCKET LastHandle = 0;
};
SockTable& Sockets()
{
    static SockTable* table = new SockTable;  // never freed: see MessageWindow.cpp
    return *table;
}

SockRecord* Find(SOCKET s)
{
    std::lock_guard guard(Sockets().Lock);
    const auto it = Sockets().Records.find(s);
    return it == Sockets().Records.end() ? nullptr : it->second.get();
}

SOCKET Adopt(int fd, SockState state)
{
    auto record = std::make_unique<SockRecord>();
    record->Fd = fd;
    record->State = state;
    std::lock_guard guard(Sockets().Lock);
    const SOCKET handle = ++Sockets().LastHandle;
    record->Handle = handle;
    Sockets().Records[handle] = std::move(record);
    return handle;
}

void Post(SockRecord& r, int event, int error)
{
    if (r.Window && (r.Events & event))
        PostWindowMessage(r.Window, r.Message, uintptr_t(r.Handle), MakeSelectReply(event, error));
}

void ArmRead(SockRecord& r)
{
    if (!r.ReadNotifier)
        return;
    const bool wanted = r.State == SockState::Listening || (r.State == SockState::Connected && !r.CloseSeen);
    r.ReadNotifier->setEnabled(wanted);
}

void ArmWrite(SockRecord& r, bool on)
{
    if (r.WriteNotifier)
        r.WriteNotifier->setEnabled(on);
}

void PostClose(SockRecord& r, int error)
{
    if (r.CloseSeen)
        return;
    r.CloseSeen = true;
    if (error == 0)
        error = r.ResetError;
    ArmRead(r);
    Post(r, FD_CLOSE, error);
}

void OnReadable(SockRecord& r)
{
    r.ReadNotifier->setEnabled(false);  // re-armed by recv / accept, as Winsock does
    if (r.State == SockState::Listening) {
        Post(r, FD_ACCEPT, 0);
        return;
    }
    if (r.State != SockState::Connected || r.CloseSeen)
        return;
    if (r.Events & FD_READ) {
        // A close is noticed by the recv that this read event leads to (it returns 0).
        Post(r, FD_READ, 0);
        return;
    }
    char probe;
    const ssize_t n = ::recv(r.Fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0)
        PostClose(r, 0);
    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        PostClose(r, ErrnoToWinsock(errno));
}

void OnWritable(SockRecord& r)
{
    r.WriteNotifier->setEnabled(false);
    if (r.State == SockState::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(r.Fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error == ECONNRESET || error == ECONNABORTED || error == EPIPE) {
            // Connected, then reset before we looked: the connect succeeded, and the reset is
            // reported by the close notification that the next recv leads to.
            r.ResetError = ErrnoToWinsock(error);
            error = 0;
        }
        if (error != 0) {
            r.State = SockState::Fresh;
            Post(r, FD_CONNECT, ErrnoToWinsock(error));
            return;
        }
        r.State = SockState::Connected;
        Post(r, FD_CONNECT, 0);
        Post(r, FD_WRITE, 0);
        ArmRead(r);
        return;
    }
    if (r.State == SockState::Connected)
        Post(r, FD_WRITE, 0);
}

void StopNotifications(SockRecord& r)
{
    r.ReadNotifier.reset();
    r.WriteNotifier.reset();
    r.Window = nullptr;
    r.Message = 0;
    r.Events = 0;
}

void StartNotifications(SockRecord& r, TMessageWindow* window, unsigned message, long events)
{
    StopNotifications(r);
    r.Window = window;
    r.Message = message;
    r.Events = events;
    r.ReadNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Read);
    r.ReadNotifier->setSocket(r.Fd);
    QObject::connect(r.ReadNotifier.get(), &QSocketNotifier::activated, [rec = &r] { OnReadable(*rec); });
    r.WriteNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
    r.WriteNotifier->setSocket(r.Fd);
    QObject::connect(r.WriteNotifier.get(), &QSocketNotifier::activated, [rec = &r] { OnWritable(*rec); });
    switch (r.State) {
    case SockState::Connecting: ArmWrite(r, true); break;
    case SockState::Connected:
        ArmRead(r);
        Post(r, FD_WRITE, 0);
        break;
    case SockState::Listening: ArmRead(r); break;
    case SockState::Fresh: break;
    }
}

bool ToPosix(const SockAddrIn* name, int namelen, sockaddr_in& out)
{
    if (!name || namelen < int(sizeof(SockAddrIn))) {
        LastError = WSAEFAULT;
        return false;
    }
    if (name->sin_family != WS_AF_INET) {
        LastError = WSAEAFNOSUPPORT;
        return false;
    }
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = name->sin_port;
    out.sin_addr.s_addr = name->sin_addr;
    return true;
}

void FromPosix(const sockaddr_in& in, SockAddrIn* out)
{
    *out = SockAddrIn{};
    out->sin_family = WS_AF_INET;
    out->sin_port = in.sin_port;
    out->sin_addr = in.sin_addr.s_addr;
}

// ---------------------------------------------------------------------------------------------
// Asynchronous look-ups

struct LookupRequest {
    quint64 WindowId = 0;
    unsigned Message = 0;
    char* Buffer = nullptr;
    int BufferLength = 0;
    int Error = 0;
    QByteArray Name;
    std::vector<uint32_t> Addresses;
};

struct LookupTable {
    std::mutex Lock;
    std::unordered_map<HANDLE, LookupRequest> Requests;
    HANDLE LastHandle = 0;
    LookupHook Hook;
};
LookupTable& Lookups()
{
    static LookupTable* table = new LookupTable;  // never freed: workers may outlive statics
    return *table;
}

constexpr size_t MaxAddresses = 16;

size_t HostEntrySize(const LookupRequest& r)
{
    return sizeof(HostEnt) + (r.Addresses.size() + 1) * sizeof(char*) + sizeof(char*) + r.Addresses.size() * 4
        + size_t(r.Name.size()) + 1;
}

void WriteHostEntry(const LookupRequest& r)
{
    char* base = r.Buffer;
    auto* entry = reinterpret_cast<HostEnt*>(base);
    auto** list = reinterpret_cast<char**>(base + sizeof(HostEnt));
    auto** aliases = list + r.Addresses.size() + 1;
    char* addresses = reinterpret_cast<char*>(aliases + 1);
    char* name = addresses + r.Addresses.size() * 4;
    for (size_t i = 0; i < r.Addresses.size(); ++i) {
        std::memcpy(addresses + i * 4, &r.Addresses[i], 4);
        list[i] = addresses + i * 4;
    }
    list[r.Addresses.size()] = nullptr;
    aliases[0] = nullptr;
    std::memcpy(name, r.Name.constData(), size_t(r.Name.size()) + 1);
    entry->h_name = name;
    entry->h_aliases = aliases;
    entry->h_addrtype = WS_AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = list;
}

// Runs on the window's thread when the completion message is about to be handled.
bool DeliverLookup(HANDLE handle)
{
    std::lock_guard guard(Lookups().Lock);
    const auto it = Lookups().Requests.find(handle);
    if (it == Lookups().Requests.end())
        return false;  // withdrawn meanwhile
    if (it->second.Error == 0)
        WriteHostEntry(it->second);
    Lookups().Requests.erase(it);
    return true;
}

void RunLookup(HANDLE handle, const QByteArray& name)
{
    LookupHook hook;
    {
        std::lock_guard guard(Lookups().Lock);
        if (!Lookups().Requests.count(handle))
            return;  // withdrawn before it started
        hook = Lookups().Hook;
    }
    std::vector<uint32_t> addresses;
    uint32_t address = 0;
    int error = hook ? hook(name, address) : LookupUseSystem;
    if (error == 0) {
        addresses.push_back(address);
    } else if (error == LookupUseSystem) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &result);
        error = rc == 0 ? 0 : LookupErrorToWinsock(rc);
        for (addrinfo* a = result; a && addresses.size() < MaxAddresses; a = a->ai_next) {
            if (a->ai_family == AF_INET)
                addresses.push_back(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
        }
        if (result)
            ::freeaddrinfo(result);
        if (error == 0 && addresses.empty())
            error = WSANO_DATA;
    }

    std::lock_guard guard(Lookups().Lock);
    const auto it = Lookups().Requests.find(handle);
    if (it == Lookups().Requests.end())
        return;
    LookupRequest& request = it->second;
    request.Error = error;
    if (error == 0) {
        request.Addresses = std::move(addresses);
        if (HostEntrySize(request) > size_t(request.BufferLength))
            request.Error = WSAENOBUFS;
    }
    const size_t needed = request.Error == 0 ? HostEntrySize(request) : 0;
    const intptr_t lParam = MakeSelectReply(int(needed), request.Error);
    if (!PostWindowMessageById(request.WindowId, request.Message, uintptr_t(handle), lParam,
                               [handle] { return DeliverLookup(handle); }))
        Lookups().Requests.erase(it);  // the window is gone
}

// A few worker threads for look-ups, started on demand and joined at process end.
class LookupPool {
public:
    static LookupPool& Instance()
    {
        Lookups();  // the table must outlive the pool
        static LookupPool pool;
        return pool;
    }

    void Start(HANDLE handle, QByteArray name)
    {
        std::lock_guard guard(FLock);
        FQueue.push_back({handle, std::move(name)});
        if (FIdle == 0 && FThreads.size() < MaxThreads)
            FThreads.emplace_back([this] { Work(); });
        FWake.notify_one();
    }

    ~LookupPool()
    {
        {
            std::lock_guard guard(FLock);
            FStop = true;
        }
        FWake.notify_all();
        for (auto& t : FThreads)
            t.join();
    }

private:
    static constexpr size_t MaxThreads = 8;  // one per download engine is plenty
    struct Task {
        HANDLE Handle;
        QByteArray Name;
    };

    void Work()
    {
        std::unique_lock lock(FLock);
        for (;;) {
            ++FIdle;
            FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
            --FIdle;
            if (FStop)
                return;
            Task task = std::move(FQueue.front());
            FQueue.pop_front();
            lock.unlock();
            RunLookup(task.Handle, task.Name);
            lock.lock();
        }
    }

    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<Task> FQueue;
    std::vector<std::thread> FThreads;
    size_t FIdle = 0;
    bool FStop = false;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

int ErrnoToWinsock(int error)
{
    switch (error) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return UnmappedErrorBase + error;
    }
}

int LookupErrorToWinsock(int gaiError)
{
    switch (gaiError) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return errno ? ErrnoToWinsock(errno) : WSANO_RECOVERY;
    default: return WSANO_RECOVERY;
    }
}

int WSAStartup(uint16_t versionRequested, WSADATA* data)
{
    // Version bytes: low = major, high = minor; 1.1 is all this layer offers.
    if ((versionRequested & 0xFF) < 1 || (versionRequested == 0x0001))
        return WSAVERNOTSUPPORTED;
    if (!data)
        return WSAEFAULT;
    *data = WSADATA{};
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strncpy(data->szDescription, "Kelvorn sockets 1.1 over POSIX IPv4", sizeof data->szDescription - 1);
    std::strncpy(data->szSystemStatus, "Running", sizeof data->szSystemStatus - 1);
    rlimit limit{};
    const rlim_t files = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
    data->iMaxSockets = uint16_t(files > 0xFFFF ? 0xFFFF : files);
    data->iMaxUdpDg = 65507;  // largest IPv4 datagram payload
    StartedCount.fetch_add(1);
    return 0;
}

int WSACleanup()
{
    int count = StartedCount.load();
    while (count > 0 && !StartedCount.compare_exchange_weak(count, count - 1)) {}
    if (count <= 0)
        return Fail(WSANOTINITIALISED);
    return 0;
}

int WSAGetLastError() { return LastError; }
void WSASetLastError(int error) { LastError = error; }

SOCKET socket(int af, int type, int protocol)
{
    if (StartedCount.load() <= 0)
        return Fail(WSANOTINITIALISED);
    if (af != WS_AF_INET)
        return Fail(WSAEAFNOSUPPORT);
    if (type != WS_SOCK_STREAM)
        return Fail(WSAESOCKTNOSUPPORT);
    if (protocol != 0 && protocol != WS_IPPROTO_TCP)
        return Fail(WSAEPROTONOSUPPORT);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return Fail(ErrnoToWinsock(errno));
    return Adopt(fd, SockState::Fresh);
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (level != WS_SOL_SOCKET || optname != WS_SO_LINGER)
        return Fail(WSAENOPROTOOPT);
    if (!optval || optlen < int(sizeof(Linger)))
        return Fail(WSAEFAULT);
    Linger value;
    std::memcpy(&value, optval, sizeof value);
    const linger posix{value.l_onoff ? 1 : 0, int(value.l_linger)};
    if (::setsockopt(r->Fd, SOL_SOCKET, SO_LINGER, &posix, sizeof posix) != 0)
        return Fail(ErrnoToWinsock(errno));
    return 0;
}

int WSAAsyncSelect(SOCKET s, TMessageWindow* window, unsigned message, long events)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (message == 0 && events == 0) {
        StopNotifications(*r);
        return 0;
    }
    // Notifications need the calling thread's event dispatcher (a QThread, or the main thread).
    if (!window || !QAbstractEventDispatcher::instance())
        return Fail(WSAEINVAL);
    StartNotifications(*r, window, message, events);
    return 0;
}

int connect(SOCKET s, const SockAddrIn* name, int namelen)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    sockaddr_in address;
    if (!ToPosix(name, namelen, address))
        return SOCKET_ERROR;
    if (::connect(r->Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        // Done at once (possible on loopback); still reported through the notification.
        r->State = SockState::Connected;
        Post(*r, FD_CONNECT, 0);
        Post(*r, FD_WRITE, 0);
        ArmRead(*r);
        return Fail(WSAEWOULDBLOCK);
    }
    const int error = errno;
    switch (error) {
    case EINPROGRESS:
    case EINTR:
        r->State = SockState::Connecting;
        ArmWrite(*r, true);
        return Fail(WSAEWOULDBLOCK);
    case ECONNREFUSED:
    case ETIMEDOUT:
        // An outcome rather than a misuse: reported like an asynchronous one.
        r->State = SockState::Fresh;
        Post(*r, FD_CONNECT, ErrnoToWinsock(error));
        return Fail(WSAEWOULDBLOCK);
    default: return Fail(ErrnoToWinsock(error));
    }
}

int send(SOCKET s, const char* buf, int len, int /*flags*/)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    const ssize_t n = ::send(r->Fd, buf, size_t(len), MSG_NOSIGNAL);
    if (n >= 0)
        return int(n);
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        if (r->State == SockState::Connected)
            ArmWrite(*r, true);
        return Fail(WSAEWOULDBLOCK);
    }
    return Fail(ErrnoToWinsock(error));
}

int recv(SOCKET s, char* buf, int len, int /*flags*/)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    const ssize_t n = ::recv(r->Fd, buf, size_t(len), 0);
    if (n > 0) {
        ArmRead(*r);
        return int(n);
    }
    if (n == 0) {
        if (len > 0 && r->State == SockState::Connected)
            PostClose(*r, 0);
        return 0;
    }
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        ArmRead(*r);
        return Fail(WSAEWOULDBLOCK);
    }
    if (error == ECONNRESET || error == ETIMEDOUT || error == EPIPE || error == ECONNABORTED)
        PostClose(*r, ErrnoToWinsock(error));
    return Fail(ErrnoToWinsock(error));
}

int closesocket(SOCKET s)
{
    std::unique_ptr<SockRecord> record;
    {
        std::lock_guard guard(Sockets().Lock);
        const auto it = Sockets().Records.find(s);
        if (it == Sockets().Records.end())
            return Fail(WSAENOTSOCK);
        record = std::move(it->second);
        Sockets().Records.erase(it);
    }
    const int fd = record->Fd;
    record.reset();  // notifiers go first: they must not watch a closed descriptor
    ::close(fd);
    return 0;
}

SOCKET accept(SOCKET s, SockAddrIn* addr, int* addrlen)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (r->State != SockState::Listening)
        return Fail(WSAEINVAL);
    if (addr && (!addrlen || *addrlen < int(sizeof(SockAddrIn))))
        return Fail(WSAEFAULT);
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(r->Fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int error = errno;
    ArmRead(*r);
    if (fd < 0)
        return Fail(ErrnoToWinsock(error));
    if (addr) {
        FromPosix(peer, addr);
        *addrlen = sizeof(SockAddrIn);
    }
    const SOCKET accepted = Adopt(fd, SockState::Connected);
    // The accepted socket inherits the listening socket's notifications.
    if (r->Window)
        StartNotifications(*Find(accepted), r->Window, r->Message, r->Events);
    return accepted;
}

int bind(SOCKET s, const SockAddrIn* name, int namelen)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    sockaddr_in address;
    if (!ToPosix(name, namelen, address))
        return SOCKET_ERROR;
    if (::bind(r->Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fail(ErrnoToWinsock(errno));
    return 0;
}

int listen(SOCKET s, int backlog)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (::listen(r->Fd, backlog) != 0)
        return Fail(ErrnoToWinsock(errno));
    r->State = SockState::Listening;
    ArmRead(*r);
    return 0;
}

int getsockname(SOCKET s, SockAddrIn* name, int* namelen)
{
    SockRecord* r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (!name || !namelen || *namelen < int(sizeof(SockAddrIn)))
        return Fail(WSAEFAULT);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(r->Fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return Fail(ErrnoToWinsock(errno));
    FromPosix(address, name);
    *namelen = sizeof(SockAddrIn);
    return 0;
}

int NativeDescriptor(SOCKET s)
{
    SockRecord* r = Find(s);
    return r ? r->Fd : -1;
}

uint32_t inet_addr(const char* text)
{
    in_addr address{};
    if (!text || ::inet_pton(AF_INET, text, &address) != 1)
        return WS_INADDR_NONE;
    return address.s_addr;
}

uint16_t htons(uint16_t value) { return ::htons(value); }
uint16_t ntohs(uint16_t value) { return ::ntohs(value); }

HANDLE WSAAsyncGetHostByName(TMessageWindow* window, unsigned message, const char* name, char* buffer, int bufferLength)
{
    if (StartedCount.load() <= 0) {
        Fail(WSANOTINITIALISED);
        return 0;
    }
    if (!window || !name || !buffer || bufferLength < int(sizeof(HostEnt))) {
        Fail(WSAEFAULT);
        return 0;
    }
    HANDLE handle;
    {
        std::lock_guard guard(Lookups().Lock);
        handle = ++Lookups().LastHandle;
        LookupRequest& request = Lookups().Requests[handle];
        request.WindowId = window->Id();
        request.Message = message;
        request.Buffer = buffer;
        request.BufferLength = bufferLength;
        request.Name = QByteArray(name);
    }
    LookupPool::Instance().Start(handle, QByteArray(name));
    return handle;
}

int WSACancelAsyncRequest(HANDLE handle)
{
    std::lock_guard guard(Lookups().Lock);
    if (Lookups().Requests.erase(handle) == 0)
        return Fail(WSAEINVAL);
    return 0;
}

void SetLookupHookForTesting(LookupHook hook)
{
    std::lock_guard guard(Lookups().Lock);
    Lookups().Hook = std::move(hook);
}

}  // namespace ws
