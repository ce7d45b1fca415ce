#pragma once
// A small socket layer with the calls, numbers and notification meanings of Windows Sockets 1.1,
// over POSIX non-blocking IPv4 sockets. Notifications are posted as window messages (socket, event
// code | error << 16) to a TMessageWindow of the thread that called WSAAsyncSelect:
//   FD_CONNECT once, with the connect's outcome;
//   FD_WRITE after connecting and after a send that would block, once the socket can send again;
//   FD_READ while data waits, re-armed by each recv;
//   FD_ACCEPT while a connection waits on a listening socket, re-armed by each accept;
//   FD_CLOSE once, when the peer closes (error 0) or resets the connection.
// A socket belongs to one thread: the one that makes the calls on it.
//
// Names that POSIX headers define as macros carry a WS_ prefix here.
#include <QByteArray>
#include <cstdint>
#include <functional>

class TMessageWindow;

namespace ws {

using SOCKET = intptr_t;
using HANDLE = intptr_t;

inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr uint32_t WS_INADDR_NONE = 0xFFFFFFFFu;

inline constexpr int WS_AF_INET = 2;
inline constexpr int WS_SOCK_STREAM = 1;
inline constexpr int WS_IPPROTO_TCP = 6;
inline constexpr int WS_SOL_SOCKET = 0xFFFF;
inline constexpr int WS_SO_LINGER = 0x0080;
inline constexpr int WS_SOMAXCONN = 5;

inline constexpr int FD_READ = 1;
inline constexpr int FD_WRITE = 2;
inline constexpr int FD_OOB = 4;
inline constexpr int FD_ACCEPT = 8;
inline constexpr int FD_CONNECT = 16;
inline constexpr int FD_CLOSE = 32;
inline constexpr int FD_ALL_EVENTS = 63;

inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
// POSIX errors without a counterpart are reported as this base plus errno.
inline constexpr int UnmappedErrorBase = 20000;

struct WSADATA {
    uint16_t wVersion = 0;
    uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    uint16_t iMaxSockets = 0;
    uint16_t iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

struct Linger {
    uint16_t l_onoff;
    uint16_t l_linger;
};

// IPv4 socket address: family 2, port and address in network byte order, 8 zero bytes.
struct SockAddrIn {
    int16_t sin_family = 0;
    uint16_t sin_port = 0;
    uint32_t sin_addr = 0;
    char sin_zero[8] = {};
};
static_assert(sizeof(SockAddrIn) == 16);

// What the asynchronous look-up writes into the caller's buffer; the pointers point into it.
struct HostEnt {
    char* h_name;
    char** h_aliases;
    int16_t h_addrtype;
    int16_t h_length;
    char** h_addr_list;
};

constexpr intptr_t MakeSelectReply(int event, int error)
{
    return intptr_t((uint32_t(error & 0xFFFF) << 16) | uint32_t(event & 0xFFFF));
}
constexpr int SelectEvent(intptr_t lParam) { return int(uint32_t(lParam) & 0xFFFF); }
constexpr int SelectError(intptr_t lParam) { return int((uint32_t(lParam) >> 16) & 0xFFFF); }

int WSAStartup(uint16_t versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();  // per thread
void WSASetLastError(int error);

SOCKET socket(int af, int type, int protocol);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int WSAAsyncSelect(SOCKET s, TMessageWindow* window, unsigned message, long events);
int connect(SOCKET s, const SockAddrIn* name, int namelen);
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
int closesocket(SOCKET s);
SOCKET accept(SOCKET s, SockAddrIn* addr, int* addrlen);
// Beyond the calls the component makes: what a listening protocol component (and a test) needs.
int bind(SOCKET s, const SockAddrIn* name, int namelen);
int listen(SOCKET s, int backlog);
int getsockname(SOCKET s, SockAddrIn* name, int* namelen);
// The POSIX descriptor behind a socket (-1 for an unknown one), for socket options of tests.
int NativeDescriptor(SOCKET s);

uint32_t inet_addr(const char* text);  // strict dotted quad; WS_INADDR_NONE otherwise
uint16_t htons(uint16_t value);
uint16_t ntohs(uint16_t value);

// Starts a look-up of `name` (IPv4) on a worker thread. Its completion is posted to `window` as
// `message` with wParam = the returned handle and lParam = buffer length | error << 16; the host
// entry is written into `buffer` on the window's thread just before the message is handled, so a
// cancelled request never touches the buffer. Returns 0 on failure.
HANDLE WSAAsyncGetHostByName(TMessageWindow* window, unsigned message, const char* name, char* buffer,
                             int bufferLength);
// Withdraws a pending look-up: its completion is never delivered and its buffer never written.
int WSACancelAsyncRequest(HANDLE handle);

// Pure mappings from POSIX errno and getaddrinfo() results to the Winsock numbers.
int ErrnoToWinsock(int error);
int LookupErrorToWinsock(int gaiError);

// Test seam: when set, every look-up calls the hook on its worker thread instead of asking the
// system. The hook returns 0 with `address` (network byte order) filled for a found name, a
// Winsock error number for a failure, or LookupUseSystem to ask the system after all. It may block
// to make a look-up slow or late.
inline constexpr int LookupUseSystem = -1;
using LookupHook = std::function<int(const QByteArray& name, uint32_t& address)>;
void SetLookupHookForTesting(LookupHook hook);

}  // namespace ws
