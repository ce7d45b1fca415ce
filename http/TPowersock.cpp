#include "http/TPowersock.h"

#include <QScopeGuard>

#include "http/TThreadTimer.h"
#include "platform/MessageWindow.h"
#include "platform/OwnerLink.h"
#include "platform/PartFiles.h"

#include <QAbstractEventDispatcher>
#include <algorithm>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

const QByteArray SockWindowClass = "PsockWindowClass";

// Received file data is collected up to this size before it is written, to keep the number of
// write calls of a large download small.
constexpr qsizetype CaptureStageSize = 256 * 1024;

// Components that have started the socket layer; shared by every thread.
std::mutex WinsockUsersLock;
int WinsockUsers = 0;

struct ErrorText {
    int Number;
    const char* Text;
};

const ErrorText ErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};
static_assert(std::size(ErrorTable) == 50);

QByteArray VersionText(uint16_t version)
{
    return QByteArray::number(version >> 8) + '.' + QByteArray::number(version & 0xFF);
}

}  // namespace

QByteArray WinsockErrorText(int number)
{
    if (number == 0)
        return {};
    for (const ErrorText& e : ErrorTable) {
        if (e.Number == number)
            return QByteArray::number(number) + ':' + e.Text;
    }
    return "Unknown Error No. " + QByteArray::number(number);
}

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TPowersock::TPowersock(QObject* owner) : OwnerThread(QThread::currentThread())
{
    if (RegisterWindowClass(SockWindowClass))
        Window = TMessageWindow::Create(SockWindowClass);
    if (Window) {
        Window->Bind([this](unsigned message, uintptr_t wParam, intptr_t lParam) {
            if (message >= SocketEventMessage && message <= ReadMoreMessage)
                Dispatch(message, wParam, lParam);
        });
    }
    Proxy.clear();
    HostEntry = std::make_unique<char[]>(HostEntrySize);
    SendText = std::make_unique<char[]>(MaxWriteLength + 1);
    try {
        Timer = new TThreadTimer;
        Timer->SetEnabled(false);
        Timer->SetOnTimer([this](TThreadTimer*) { TimerTriggered(); });
        WinsockInfo.clear();
        FCancelRequested = false;
        Capturing = false;
        ClosingForGood = false;
        Connected = false;
        InitializeWinsock();
    } catch (...) {
        delete Timer;
        delete Window;
        throw;
    }
    OwnerLink = std::make_unique<TOwnerLink>(owner, [this] { delete this; });
}

TPowersock::~TPowersock()
{
    Destroying = true;
    OwnerLink.reset();
    try {
        Abort();
        Cancel();
    } catch (...) {
    }
    if (LookupHandle != 0) {
        ws::WSACancelAsyncRequest(LookupHandle);
        LookupHandle = 0;
    }
    WinsockInfo.clear();
    delete Timer;
    Timer = nullptr;
    HostEntry.reset();
    SendText.reset();
    delete Window;
    Window = nullptr;
    CaptureTarget.reset();
    SendSource.reset();
    ReceiveBuffer.clear();
    SpareReceiveBuffer.clear();
    SendQueue.clear();
    SpareSendQueue.clear();
    ClosingForGood = true;
    try {
        RequestCloseSocket();
    } catch (...) {
    }
    std::lock_guard guard(WinsockUsersLock);
    if (--WinsockUsers == 0)
        ws::WSACleanup();
}

void TPowersock::InitializeWinsock()
{
    ReportStatus(8, QByteArrayLiteral("Initializing Winsock"));
    try {
        {
            std::lock_guard guard(WinsockUsersLock);
            if (++WinsockUsers == 1) {
                ws::WSAStartup(0x0101, &StartupData);
                WinsockInfo << QString::fromLatin1("Version= " + VersionText(StartupData.wVersion))
                            << QString::fromLatin1("High Version= " + VersionText(StartupData.wHighVersion))
                            << QString::fromLatin1(QByteArray("Description= ") + StartupData.szDescription)
                            << QString::fromLatin1(QByteArray("System= ") + StartupData.szSystemStatus)
                            << QString::fromLatin1("Max Sockets= " + QByteArray::number(StartupData.iMaxSockets))
                            << QString::fromLatin1("Max Udp pack size= " + QByteArray::number(StartupData.iMaxUdpDg));
            }
        }
        try {
            ThisSocket = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, ws::WS_IPPROTO_TCP);
            if (ThisSocket == ws::INVALID_SOCKET)
                CheckSocketError(ws::WSAEWOULDBLOCK);
            // Closing this first socket resets the connection instead of closing it gracefully.
            const ws::Linger linger{1, 0};
            ws::setsockopt(ThisSocket, ws::WS_SOL_SOCKET, ws::WS_SO_LINGER, reinterpret_cast<const char*>(&linger),
                           sizeof linger);
            if (ws::WSAAsyncSelect(ThisSocket, Window, SocketEventMessage, ws::FD_ALL_EVENTS) == ws::SOCKET_ERROR)
                CheckSocketError(0);
        } catch (...) {
            if (ThisSocket != ws::INVALID_SOCKET) {
                ws::closesocket(ThisSocket);
                ThisSocket = ws::INVALID_SOCKET;
            }
            std::lock_guard guard(WinsockUsersLock);
            if (--WinsockUsers == 0)
                ws::WSACleanup();
            throw;
        }
    } catch (...) {
        throw ESockError("Initializaton of windows sockets failed");
    }
}

void TPowersock::MakeSocket(int protocol)
{
    ThisSocket = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, protocol);
    if (ThisSocket == ws::INVALID_SOCKET)
        CheckSocketError(0);
    if (ws::WSAAsyncSelect(ThisSocket, Window, SocketEventMessage, ws::FD_ALL_EVENTS) == ws::SOCKET_ERROR)
        CheckSocketError(0);
}

// ---------------------------------------------------------------------------------------------
// Status and errors

void TPowersock::ReportStatus(int level, const QByteArray& text)
{
    if (level > ReportLevel)
        return;
    Status = text;
    if (!Destroying && OnStatus)
        OnStatus(this, QByteArray(Status));
}

void TPowersock::CheckSocketError(int toleratedError)
{
    // Taken before reporting: a status handler must not change the number being checked.
    const int error = ws::WSAGetLastError();
    ReportStatus(16, QByteArrayLiteral("Checking Error In Error Manager"));
    LastSocketError = error;
    if (error == toleratedError)
        return;
    const QByteArray message = LookupErrorMessage(error);
    if (OnSocketError)
        OnSocketError(this, int16_t(error), message);
    throw ESockError(message);
}

QByteArray TPowersock::LookupErrorMessage(int number)
{
    ReportStatus(8, QByteArrayLiteral("Looking Up Error Message"));
    return WinsockErrorText(number);
}

// ---------------------------------------------------------------------------------------------
// Notifications

void TPowersock::PostStep(unsigned message)
{
    // The socket rides along so that a step posted for a socket since closed is ignored.
    PostWindowMessage(Window, message, uintptr_t(ThisSocket), intptr_t(this));
}

void TPowersock::Dispatch(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    try {
        switch (message) {
        case SocketEventMessage:
            if (ws::SOCKET(wParam) != ThisSocket)
                return;  // left over from a socket closed since
            LastEventOk = ws::SelectError(lParam) == 0;
            switch (ws::SelectEvent(lParam)) {
            case ws::FD_READ:
                if (TlsHandshaking())
                    TlsHandshakeStep();
                else
                    ReadToStream();
                break;
            case ws::FD_WRITE:
                if (TlsHandshaking())
                    TlsHandshakeStep();
                else
                    WriteFromStream();
                break;
            case ws::FD_ACCEPT:
                Connected = true;
                if (OnAccepted)
                    OnAccepted(this);
                break;
            case ws::FD_CONNECT:
                if (LastEventOk) {
                    Connected = true;
                    if (OnConnect)
                        OnConnect(this);
                } else {
                    LastSocketError = ws::SelectError(lParam);  // why: refused, unreachable, ...
                }
                break;
            case ws::FD_CLOSE: {
                if (const int error = ws::SelectError(lParam); error != 0)
                    NoteBrokenEnd(WinsockErrorText(error));
                // Bytes still to send can no longer go out: the waiting send ends with the reason.
                const bool unsent =
                    SendFromFile ? (SendSource && SendPosition < SendSource->size()) : !SendQueue.isEmpty();
                if (unsent && SendFailure.isEmpty()) {
                    const int error = ws::SelectError(lParam);
                    SendFailure = WinsockErrorText(error != 0 ? error : ws::WSAESHUTDOWN);
                }
                if (TlsHandshaking())
                    TlsHandshakeStep();  // it sees the end and fails with its reason
                else
                    DrainOnClose();
                // A session that ends with the socket but without close_notify may have been cut
                // anywhere: only a reader that knows the length can tell.
                if (Tls && TlsState == TTlsChannel::THandshake::Done && !Tls->CloseNotified())
                    NoteBrokenEnd("TLS session ended without close_notify");
                Connected = false;
                RequestCloseSocket();
                break;
            }
            default: break;
            }
            break;
        case LookupDoneMessage:
            // Only the look-up being waited for counts; an earlier one that completes late is
            // ignored (withdrawn requests are not even delivered).
            if (LookupHandle == 0 || ws::HANDLE(wParam) != LookupHandle)
                return;
            LookupHandle = 0;
            LastEventOk = ws::SelectError(lParam) == 0;
            LookupDone = true;
            break;
        case WriteMoreMessage:
            if (ws::SOCKET(wParam) == ThisSocket)
                WriteFromStream();
            break;
        case ReadMoreMessage:
            if (ws::SOCKET(wParam) == ThisSocket)
                ReadToStream();
            break;
        default: break;
        }
    } catch (...) {
        // Nothing escapes a notification: handlers' errors end here.
    }
}

void TPowersock::DrainOnClose()
{
    int n;
    do {
        n = ReceiveChunk();
    } while (n > 0 && !FCancelRequested);
}

int TPowersock::ReceiveChunk()
{
    QByteArray& target = CaptureTarget ? CaptureStage : ReceiveBuffer;
    const int size = Tls ? TTlsChannel::ReadSize : ChunkSize;
    if (!CaptureTarget && target.size() > MaxReceiveBufferSize - size) {
        // The bytes stay in the socket; the waiting operation reports the overflow.
        ReceiveOverflow = true;
        ws::WSASetLastError(ws::WSAENOBUFS);
        return ws::SOCKET_ERROR;
    }
    // Received straight into the buffer's free end: no copy, no allocation once it has grown.
    const qsizetype old = target.size();
    target.resize(old + size);
    const int n = Receive(target.data() + old, size);
    target.resize(old + (n > 0 ? n : 0));
    if (n == ws::SOCKET_ERROR) {
        const int error = ws::WSAGetLastError();
        if (error != ws::WSAEWOULDBLOCK) {
            NoteBrokenEnd(Tls && !Tls->FailureText().isEmpty() ? "TLS record error: " + Tls->FailureText()
                                                               : WinsockErrorText(error));
            ws::WSASetLastError(error);
        }
    }
    if (CaptureTarget && CaptureStage.size() >= CaptureStageSize)
        FlushCapture();
    return n;
}

void TPowersock::NoteBrokenEnd(const QByteArray& cause)
{
    // The first cause is the one that tells what happened; later ones follow from it. The
    // table's number ("10054:") means nothing to the user.
    if (!BrokenEnd.isEmpty())
        return;
    const qsizetype colon = cause.indexOf(':');
    const bool numbered =
        colon > 0 && std::all_of(cause.cbegin(), cause.cbegin() + colon, [](char c) { return c >= '0' && c <= '9'; });
    BrokenEnd = numbered ? cause.mid(colon + 1) : cause;
}

void TPowersock::FlushCapture()
{
    if (!CaptureTarget || CaptureStage.isEmpty())
        return;
    if (CaptureError.isEmpty() && CaptureTarget->write(CaptureStage) != CaptureStage.size())
        CaptureError =
            "Cannot write file " + CaptureName.toLocal8Bit() + ": " + CaptureTarget->errorString().toLocal8Bit();
    CaptureStage.truncate(0);
}

void TPowersock::ReadToStream()
{
    if (FCancelRequested) {
        ws::WSAAsyncSelect(ThisSocket, Window, 0, 0);
        if (OnReadCanceled)
            OnReadCanceled(this);
    }
    if (IoBusy) {
        // Dropped here, but not lost: the running step posts it again when it ends, so data
        // that waits is never left unread.
        ReadStepPending = true;
        return;
    }
    IoBusy = true;
    bool received = false;
    const auto done = qScopeGuard([this, &received] {
        IoBusy = false;
        if (ReadStepPending) {
            ReadStepPending = false;
            PostStep(ReadMoreMessage);
        }
        if (received && OnAfterRead) {
            try {
                OnAfterRead(this);
            } catch (...) {
            }
        }
    });
    ReportStatus(8, QByteArrayLiteral("ReadToStream"));
    const int n = ReceiveChunk();
    if (Tls && Tls->Finished() && !Tls->RawEnded() && !TlsClosePosted) {
        // The session ended (close_notify, or broken) while the socket is still open: that is
        // the end of this connection's data, announced as the socket's close would be.
        TlsClosePosted = true;
        const int error = Tls->FailureText().isEmpty() ? 0 : ws::WSAECONNABORTED;
        if (error != 0)
            NoteBrokenEnd("TLS record error: " + Tls->FailureText());
        PostWindowMessage(Window, SocketEventMessage, uintptr_t(ThisSocket), ws::MakeSelectReply(ws::FD_CLOSE, error));
    }
    if (n == ws::SOCKET_ERROR) {
        LastSocketError = ws::WSAGetLastError();
        const QByteArray message = LookupErrorMessage(LastSocketError);
        if (OnSocketError)
            OnSocketError(this, int16_t(LastSocketError), message);
        return;
    }
    received = true;
    // More is likely waiting: read on without a new notification. A TLS session may also hold
    // data already taken from the socket, which no notification would announce.
    if (n == ChunkSize || (Tls && Tls->HasPending()))
        PostStep(ReadMoreMessage);
    if (Capturing) {
        BytesRecvd += n;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

void TPowersock::WriteFromStream()
{
    if (IoBusy) {
        WriteStepPending = true;
        return;
    }
    IoBusy = true;
    const auto done = qScopeGuard([this] {
        IoBusy = false;
        if (WriteStepPending) {
            WriteStepPending = false;
            PostStep(WriteMoreMessage);
        }
    });
    ReportStatus(8, QByteArrayLiteral("WriteFromStream"));
    const bool hasData = SendFromFile ? (SendSource && SendPosition < SendSource->size()) : !SendQueue.isEmpty();
    if (!hasData || FCancelRequested) {
        if (Tls && !FCancelRequested)
            Tls->Flush();  // the end of what was sent may still wait inside the session
        return;
    }

    const char* data;
    int r;
    if (SendFromFile) {
        ChunkBuffer.resize(ChunkSize);
        if (!SendSource->seek(SendPosition) || (r = int(SendSource->read(ChunkBuffer.data(), ChunkSize))) <= 0) {
            SendFailure = "Cannot read file " + SendSource->fileName().toLocal8Bit();
            return;
        }
        data = ChunkBuffer.constData();
    } else {
        data = SendQueue.constData();
        r = int(std::min<qsizetype>(SendQueue.size(), ChunkSize));
    }
    const int s = Send(data, r);
    if (s < 0) {
        // Would block: the next write notification runs this step again. Anything else is a
        // broken connection, which ends the waiting send.
        LastSocketError = ws::WSAGetLastError();
        if (LastSocketError != ws::WSAEWOULDBLOCK)
            SendFailure = LookupErrorMessage(LastSocketError);
        return;
    }
    if (SendFromFile) {
        SendPosition += s;
        if (SendPosition < SendSource->size())
            PostStep(WriteMoreMessage);
        else
            SendDone = true;
    } else if (s < SendQueue.size()) {
        // The unsent rest moves to the spare queue and the two swap: the queue is never shifted.
        SpareSendQueue.truncate(0);
        SpareSendQueue.append(SendQueue.constData() + s, SendQueue.size() - s);
        SendQueue.truncate(0);
        SendQueue.swap(SpareSendQueue);
        PostStep(WriteMoreMessage);
    } else {
        SendQueue.truncate(0);
        SendDone = true;
    }
    BytesSent += s;
    if (Capturing && OnPacketSent)
        OnPacketSent(this);
}

// ---------------------------------------------------------------------------------------------
// Waiting

void TPowersock::WaitPass(bool& busy)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) {
        QThread::msleep(2);
        busy = false;
        return;
    }
    if (busy) {
        busy = dispatcher->processEvents(QEventLoop::AllEvents);
        return;
    }
    // Asleep until the thread has an event. Everything a wait ends on arrives as one: socket
    // notifications, posted steps and look-up completions, the time-out and the caller's timers
    // (the nearest of them bounds the sleep), and Cancel's wake-up. Polling instead would cost
    // every idle wait hundreds of wake-ups a second.
    busy = dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
}

// ---------------------------------------------------------------------------------------------
// Time-out

void TPowersock::TimerOn()
{
    ReportStatus(8, QByteArrayLiteral("Timer On"));
    TimedOut = false;
    if (TimeOut < 0)
        throw ERangeError("Range check error");
    Timer->SetInterval(unsigned(TimeOut));
    Timer->SetEnabled(true);
}

void TPowersock::TimerOff()
{
    ReportStatus(8, QByteArrayLiteral("Timer Off"));
    Timer->SetEnabled(false);
}

void TPowersock::TimerTriggered()
{
    ReportStatus(8, QByteArrayLiteral("Timer Triggered"));
    TimerOff();
    TimedOut = true;
    Abort();
}

// ---------------------------------------------------------------------------------------------
// Connecting and closing

void TPowersock::ResolveHost()
{
    ReportStatus(8, QByteArrayLiteral("Resolve Host"));
    const QByteArray name = Proxy.isEmpty() ? Host : Proxy;
    // A name that does not fit the look-up's buffer is not cut short (that would look up another
    // host): its look-up fails. So does a name with a zero byte inside.
    const bool usable = name.size() <= MaxHostNameLength && !name.contains('\0');
    if (usable) {
        const uint32_t address = ws::inet_addr(name.constData());
        if (address != ws::WS_INADDR_NONE) {
            RemoteAddress.sin_addr = address;
            return;
        }
    }
    RemoteAddress.sin_addr = 0;
    if (!usable) {
        LastEventOk = false;
        throw ESockError("Host Lookup Failed");
    }
    TimerOn();
    LookupDone = false;
    if (LookupHandle != 0)
        ws::WSACancelAsyncRequest(LookupHandle);
    LookupHandle =
        ws::WSAAsyncGetHostByName(Window, LookupDoneMessage, name.constData(), HostEntry.get(), HostEntrySize);
    // However the wait ends, a look-up still pending is withdrawn: it can never complete into a
    // later look-up's buffer.
    const auto withdraw = qScopeGuard([this] {
        if (LookupHandle != 0) {
            ws::WSACancelAsyncRequest(LookupHandle);
            LookupHandle = 0;
        }
    });
    const bool started = LookupHandle != 0;
    bool busy = false;
    if (started) {
        do {
            WaitPass(busy);
        } while (!LookupDone && !TimedOut && !FCancelRequested);
    }
    const bool completed = started && LookupHandle == 0;
    TimerOff();
    if (TimedOut)
        throw ESockError("Host Lookup Timed Out");
    if (FCancelRequested)
        throw ESockError("Host Lookup Canceled");
    if (!completed || !LastEventOk)
        throw ESockError("Host Lookup Failed");
    const auto* entry = reinterpret_cast<const ws::HostEnt*>(HostEntry.get());
    if (!entry->h_addr_list || !entry->h_addr_list[0])
        throw ESockError("Host Lookup Failed");
    std::memcpy(&RemoteAddress.sin_addr, entry->h_addr_list[0], 4);
    if (OnHostResolved)
        OnHostResolved(this);
}

void TPowersock::Connect()
{
    ReportStatus(8, QByteArrayLiteral("Connecting"));
    FCancelRequested = false;
    LastFailure.clear();
    if (Connected)
        throw ESockError("Already connected");
    int tries = 0;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            if (e.Message == "Host Lookup Timed Out" || e.Message == "Host Lookup Canceled")
                throw;
        }
        if (RemoteAddress.sin_addr != 0)
            break;
        if (tries > 0 || !OnInvalidHost)
            throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Null Remote Address");
        ++tries;
    }
    RemoteAddress.sin_family = ws::WS_AF_INET;
    RemoteAddress.sin_port = ws::htons(uint16_t(Proxy.isEmpty() ? Port : ProxyPort));
    LookupDone = false;
    LastEventOk = true;
    // A new conversation starts clean: nothing left over from an earlier connection is taken
    // for its first bytes.
    ReceiveBuffer.truncate(0);
    ReceiveOverflow = false;
    BrokenEnd.clear();
    if (ws::connect(ThisSocket, &RemoteAddress, sizeof RemoteAddress) == ws::SOCKET_ERROR)
        CheckSocketError(ws::WSAEWOULDBLOCK);
    TimerOn();
    bool busy = false;
    do {
        WaitPass(busy);
    } while (!Connected && !TimedOut && !FCancelRequested && LastEventOk);
    TimerOff();
    if (!TimedOut && !FCancelRequested && LastEventOk) {
        if (UseTls && Proxy.isEmpty())
            StartTls();
        return;
    }
    LastFailure = TimedOut ? "Connection Timed out" : FCancelRequested ? "Connection Canceled" : "Connection Failed";
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    throw ESockError(LastFailure);
}

void TPowersock::StartTls()
{
    TlsState = TTlsChannel::THandshake::Pending;
    TlsFailure.clear();
    TlsClosePosted = false;
    try {
        Tls = std::make_unique<TTlsChannel>(ThisSocket, Host);
    } catch (const ETlsError& e) {
        FailTls(e.Message);
    }
    // The handshake is part of connecting: the connect's time limit and Cancel end a stalled one.
    TimerOn();
    TlsHandshakeStep();
    bool busy = false;
    while (TlsHandshaking() && !TimedOut && !FCancelRequested)
        WaitPass(busy);
    TimerOff();
    if (Tls && TlsState == TTlsChannel::THandshake::Done)
        return;
    if (TlsState == TTlsChannel::THandshake::Failed)
        FailTls(TlsFailure);
    if (TimedOut)
        FailTls("TLS handshake failed: timed out");
    if (FCancelRequested)
        FailTls("TLS handshake failed: canceled");
    FailTls("Connection closed during TLS handshake");
}

void TPowersock::FailTls(const QByteArray& reason)
{
    LastFailure = reason;
    // A connection without its session must never carry the request in plain bytes.
    try {
        RequestCloseSocket();
    } catch (...) {
    }
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    throw ETlsError(reason);
}

void TPowersock::TlsHandshakeStep()
{
    if (!Tls || TlsState != TTlsChannel::THandshake::Pending)
        return;
    TlsState = Tls->Handshake();
    if (TlsState == TTlsChannel::THandshake::Failed)
        TlsFailure = Tls->FailureText();
}

int TPowersock::Receive(char* buffer, int length)
{
    if (!Tls)
        return ws::recv(ThisSocket, buffer, length, 0);
    if (TlsState != TTlsChannel::THandshake::Done) {
        ws::WSASetLastError(ws::WSAENOTCONN);
        return ws::SOCKET_ERROR;
    }
    return Tls->Receive(buffer, length);
}

int TPowersock::Send(const char* data, int length)
{
    if (!Tls)
        return ws::send(ThisSocket, data, length, 0);
    if (TlsState != TTlsChannel::THandshake::Done) {
        ws::WSASetLastError(ws::WSAENOTCONN);
        return ws::SOCKET_ERROR;
    }
    return Tls->Send(data, length);
}

void TPowersock::Disconnect()
{
    ReportStatus(8, QByteArrayLiteral("Disconnecting"));
    RequestCloseSocket();
}

void TPowersock::RequestCloseSocket()
{
    ReportStatus(4, QByteArrayLiteral("Request Close Socket"));
    Connected = false;
    if (Tls) {
        Tls->Close();
        Tls.reset();
    }
    if (ThisSocket == ws::INVALID_SOCKET)
        return;
    if (ws::closesocket(ThisSocket) == ws::SOCKET_ERROR) {
        CheckSocketError(ws::WSAEWOULDBLOCK);
        return;
    }
    ThisSocket = ws::INVALID_SOCKET;
    // Unsent bytes belonged to the closed connection; they must not open the next one.
    SendQueue.truncate(0);
    if (!Destroying && OnDisconnect) {
        try {
            OnDisconnect(this);
        } catch (...) {
            if (!ClosingForGood)
                MakeSocket(0);
            throw;
        }
    }
    if (!ClosingForGood)
        MakeSocket(0);
}

void TPowersock::Cancel()
{
    const bool ownThread = QThread::currentThread() == OwnerThread;
    if (ownThread)
        ReportStatus(8, QByteArrayLiteral("Canceling"));
    FCancelRequested = true;
    // A wait asleep on its thread's events sees the flag only when something wakes it; a flag set
    // from another thread comes with no event of its own. A wake-up that comes before the wait
    // sleeps is kept by the dispatcher and ends the next sleep at once, so none is lost.
    if (!ownThread && OwnerThread) {
        if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(OwnerThread))
            dispatcher->wakeUp();
    }
}

void TPowersock::Abort() {}

// ---------------------------------------------------------------------------------------------
// Sending

void TPowersock::SendBuffer(const char* data, uint16_t length)
{
    ReportStatus(4, QByteArrayLiteral("Sending Buffer"));
    if (FCancelRequested)
        return;
    const qsizetype count = length == 0 ? qsizetype(data ? std::strlen(data) : 0) : qsizetype(length);
    SendQueue.append(data, count);
    // Nothing to send is done at once (waiting for a send that never comes would never end).
    if (SendQueue.isEmpty())
        return;
    SendDone = false;
    SendFailure.clear();
    PostStep(WriteMoreMessage);
    bool busy = false;
    while (!SendDone && !FCancelRequested && SendFailure.isEmpty())
        WaitPass(busy);
    if (FCancelRequested) {
        FCancelRequested = false;
        throw EAbortError("Socket send aborted");
    }
    if (!SendFailure.isEmpty()) {
        SendQueue.truncate(0);
        throw ESockError(SendFailure);
    }
}

void TPowersock::Write(const QByteArray& text)
{
    ReportStatus(8, QByteArrayLiteral("Write"));
    const qsizetype count = std::min<qsizetype>(text.size(), MaxWriteLength);
    std::memcpy(SendText.get(), text.constData(), size_t(count));
    SendText[count] = '\0';
    // Sent up to the first zero character, as the text buffer is a zero-terminated one.
    SendBuffer(SendText.get(), 0);
}

void TPowersock::Writeln(const QByteArray& text)
{
    ReportStatus(8, QByteArrayLiteral("Writeln"));
    Write(text + "\r\n");
}

void TPowersock::SendFile(const QString& fileName)
{
    ReportStatus(8, QByteArrayLiteral("SendFile"));
    QByteArray keptQueue;
    keptQueue.swap(SendQueue);
    Capturing = true;
    SendFromFile = true;
    const auto restore = qScopeGuard([this, &keptQueue] {
        SendSource.reset();
        SendQueue.swap(keptQueue);
        Capturing = false;
        SendFromFile = false;
    });
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::ReadOnly))
        throw EFileError("Cannot open file " + fileName.toLocal8Bit() + ": " + file->errorString().toLocal8Bit());
    SendSource = std::move(file);
    SendDone = false;
    SendFailure.clear();
    BytesSent = 0;
    SendPosition = 0;
    const qint64 size = SendSource->size();
    BytesTotal = size;
    PostStep(WriteMoreMessage);
    bool busy = false;
    while (!SendDone && !FCancelRequested && size > 0 && SendFailure.isEmpty())
        WaitPass(busy);
    if (FCancelRequested) {
        FCancelRequested = false;
        throw EAbortError("Socket send aborted");
    }
    if (!SendFailure.isEmpty())
        throw ESockError(SendFailure);
}

// ---------------------------------------------------------------------------------------------
// Receiving

QByteArray TPowersock::ReadLn()
{
    ReportStatus(8, QByteArrayLiteral("ReadLn"));
    bool busy = false;
    qsizetype searched = 0;
    qsizetype end = -1;
    for (;;) {
        end = ReceiveBuffer.indexOf('\n', searched);
        if (end >= 0 || FCancelRequested)
            break;
        searched = ReceiveBuffer.size();
        // Once the connection is gone no line end can come: end now instead of waiting for the
        // caller's watchdog.
        if (!Connected)
            throw ESockError("Connection closed before end of line");
        if (ReceiveOverflow || ReceiveBuffer.size() > MaxLineLength)
            throw ESockError("Line too long");
        WaitPass(busy);
    }
    if (end < 0)
        throw EAbortError("Socket readln aborted");  // CancelRequested stays set
    QByteArray line = ReceiveBuffer.left(end + 1);
    if (end + 1 == ReceiveBuffer.size()) {
        ReceiveBuffer.truncate(0);
    } else {
        SpareReceiveBuffer.truncate(0);
        SpareReceiveBuffer.append(ReceiveBuffer.constData() + end + 1, ReceiveBuffer.size() - end - 1);
        ReceiveBuffer.truncate(0);
        ReceiveBuffer.swap(SpareReceiveBuffer);
    }
    return line;
}

void TPowersock::CaptureString(QByteArray& text, int count)
{
    text.clear();
    Capturing = true;
    const auto stop = qScopeGuard([this] { Capturing = false; });
    ReportStatus(8, QByteArrayLiteral("Capture String"));
    BytesRecvd = 0;
    bool busy = false;
    for (;;) {
        if (FCancelRequested)
            break;
        if (count == -1 ? !(Connected || !ReceiveBuffer.isEmpty()) : text.size() >= count)
            break;
        // A closed connection can bring no more: a count that was not reached ends here too.
        if (count >= 0 && !Connected && ReceiveBuffer.isEmpty())
            break;
        if (!ReceiveBuffer.isEmpty()) {
            if (text.size() > MaxReceiveBufferSize - ReceiveBuffer.size())
                throw ESockError("Receive buffer full");
            if (text.isEmpty())
                text.swap(ReceiveBuffer);
            else
                text.append(ReceiveBuffer);
            ReceiveBuffer.truncate(0);
        } else {
            if (ReceiveOverflow)
                throw ESockError("Receive buffer full");
            WaitPass(busy);
        }
    }
    Capturing = false;
    if (FCancelRequested) {
        FCancelRequested = false;
        throw EAbortError("Socket capture aborted");
    }
}

void TPowersock::CaptureFile(const QString& fileName)
{
    Capturing = true;
    const auto stop = qScopeGuard([this] {
        FlushCapture();
        if (CaptureTarget)
            CaptureTarget->close();
        CaptureTarget.reset();
        CaptureStage.truncate(0);
        Capturing = false;
    });
    ReportStatus(8, QByteArrayLiteral("CaptureFile"));
    // Never through a symbolic link: a link planted where the file goes would carry the data
    // elsewhere.
    auto file = std::make_unique<QFile>();
    QString why;
    if (!OpenTransferFile(*file, fileName, &why))
        throw EFileError("Cannot create file " + fileName.toLocal8Bit() + ": " + why.toLocal8Bit());
    CaptureTarget = std::move(file);
    CaptureName = fileName;
    CaptureError.clear();
    CaptureStage.reserve(CaptureStageSize + TTlsChannel::ReadSize);
    BytesRecvd = 0;
    if (!ReceiveBuffer.isEmpty()) {
        CaptureStage.append(ReceiveBuffer);
        BytesRecvd = ReceiveBuffer.size();
        ReceiveBuffer.truncate(0);
        FlushCapture();
    }
    bool busy = false;
    while (Connected && !FCancelRequested && CaptureError.isEmpty())
        WaitPass(busy);
    FlushCapture();
    if (CaptureTarget->isOpen() && !CaptureTarget->flush() && CaptureError.isEmpty())
        CaptureError = "Cannot write file " + fileName.toLocal8Bit();
    if (FCancelRequested) {
        FCancelRequested = false;
        throw EAbortError("Socket capture aborted");
    }
    if (!CaptureError.isEmpty())
        throw EFileError(CaptureError);
}

// ---------------------------------------------------------------------------------------------
// Other protocol steps

QByteArray TPowersock::Transaction(const QByteArray& command)
{
    ReportStatus(8, QByteArrayLiteral("Transaction"));
    ReplyCode = 0;
    Writeln(command);
    const QByteArray reply = ReadLn();
    LastReply = reply;
    if (!reply.isEmpty()) {
        ReportStatus(1, reply);
        qint64 value = 0;
        int digits = 0;
        while (digits < reply.size() && digits < 10 && reply[digits] >= '0' && reply[digits] <= '9')
            value = value * 10 + (reply[digits++] - '0');
        if (digits > 0) {
            if (value > INT16_MAX)
                throw ERangeError("Range check error");
            ReplyCode = int16_t(value);
        }
    }
    return reply;
}

intptr_t TPowersock::Accept()
{
    bool busy = false;
    while (!LookupDone && !FCancelRequested)
        WaitPass(busy);
    if (FCancelRequested)
        throw ESockError("Accepting Canceled");
    if (!LastEventOk)
        throw ESockError("Error creating Data Connection");
    ReportStatus(4, QByteArrayLiteral("Accepting"));
    ws::SockAddrIn peer;
    int length = sizeof peer;
    const ws::SOCKET accepted = ws::accept(ThisSocket, &peer, &length);
    if (accepted != ws::INVALID_SOCKET)
        RemoteAddress = peer;
    return accepted;
}
