#pragma once
// A TCP stream socket component whose operations look blocking to the caller: each starts socket
// work, then waits (processing the calling thread's events, asleep while none come) until a
// notification, Cancel or the time-out ends the wait. Belongs to the thread that created it;
// only Cancel may also be called from another thread.
#include <QByteArray>
#include <QStringList>
#include <QThread>
#include <QString>
#include <cstdint>
#include <functional>

#include "http/SockExceptions.h"
#include "http/TTlsChannel.h"
#include "platform/Winsock.h"

#include <atomic>
#include <memory>

class TThreadTimer;
class TMessageWindow;
class TOwnerLink;
class QFile;
class QObject;

class TPowersock {
public:
    // An owner, when given, destroys the component with itself (unless the component went first).
    explicit TPowersock(QObject* owner = nullptr);
    virtual ~TPowersock();
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // Published properties.
    QByteArray Host;
    int Port = 0;
    int TimeOut = 0;  // ms, for look-up and connect only; 0 = no limit
    int ReportLevel = 0;
    QByteArray Proxy;
    int ProxyPort = 0;
    // The connection to Host speaks TLS (the HTTP client sets it from the address's scheme).
    // A connection through Proxy stays plain: the proxy fetches the address itself.
    bool UseTls = false;

    // Published events.
    std::function<void(TPowersock* sender)> OnDisconnect;
    std::function<void(TPowersock* sender)> OnConnect;
    std::function<void(bool& handled)> OnInvalidHost;
    std::function<void(TPowersock* sender)> OnHostResolved;
    std::function<void(TPowersock* sender, const QByteArray& status)> OnStatus;
    std::function<void(TPowersock* sender)> OnConnectionFailed;
    std::function<void(TPowersock* sender)> OnPacketRecvd;
    std::function<void(TPowersock* sender)> OnPacketSent;

    // Public state.
    QByteArray Status;
    bool Connected = false;
    int64_t BytesTotal = 0;
    int64_t BytesRecvd = 0;
    int64_t BytesSent = 0;
    int16_t ReplyCode = 0;
    int32_t LastSocketError = 0;
    QStringList WinsockInfo;
    // Why the last operation failed, taken before any event handler can replace the failure
    // with its own (a TLS handshake's reason, a connect's outcome); the HTTP client adds the
    // rest. Empty after success.
    QByteArray LastFailure;
    // Why the connection's data ended other than in order: a reset or receive error, a TLS
    // session that failed or ended without close_notify. Empty while the end was orderly (or has
    // not come); a new connection clears it. A reader that knows how much should have come uses
    // it to tell a whole stream from a cut one.
    QByteArray BrokenEnd;

    // Virtual operations, in slot order.
    virtual intptr_t Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual QByteArray Transaction(const QByteArray& command);
    virtual void Abort();

    // Sets the cancel flag and wakes the owning thread's wait, from any thread.
    void Cancel();
    void Write(const QByteArray& text);
    void Writeln(const QByteArray& text);
    void SendBuffer(const char* data, uint16_t length);
    void SendFile(const QString& fileName);
    QByteArray ReadLn();
    void CaptureString(QByteArray& text, int count);
    // A symbolic link at the path is never followed: the capture fails instead.
    void CaptureFile(const QString& fileName);
    void ReportStatus(int level, const QByteArray& text);
    QByteArray LookupErrorMessage(int number);

    bool CancelRequested() const { return FCancelRequested; }

protected:
    // Internals a derived protocol component relies on (the socket layer owns the rest).
    std::atomic<bool> FCancelRequested{false};
    bool LookupDone = false;

    // Unpublished hooks for protocol components (HTTP sets none of them).
    std::function<void(TPowersock* sender, int16_t error, const QByteArray& message)> OnSocketError;
    std::function<void(TPowersock* sender)> OnAfterRead;     // a read step received data
    std::function<void(TPowersock* sender)> OnAccepted;      // an incoming connection arrived
    std::function<void(TPowersock* sender)> OnReadCanceled;  // a read step found a cancel request

    // Window messages of the notification window.
    static constexpr unsigned SocketEventMessage = 1125;
    static constexpr unsigned LookupDoneMessage = 1126;
    static constexpr unsigned WriteMoreMessage = 1127;
    static constexpr unsigned ReadMoreMessage = 1128;
    // Most bytes moved by one send or recv call.
    static constexpr int ChunkSize = 16383;
    // Characters of one Write (the send text buffer holds them and a terminating zero).
    static constexpr int MaxWriteLength = 16385;
    // The look-up's name buffer holds at most this many characters; longer names fail.
    static constexpr int MaxHostNameLength = 127;
    static constexpr int HostEntrySize = 1024;
    // A peer can grow the in-memory receive buffer: ReadLn gives up on a line longer than this,
    // and no capture into memory goes beyond the second limit.
    static constexpr int MaxLineLength = 1 << 20;
    static constexpr qsizetype MaxReceiveBufferSize = qsizetype(1) << 30;

    // Flags.
    bool Capturing = false;
    bool IoBusy = false;
    bool ClosingForGood = false;
    bool LastEventOk = false;
    bool TimedOut = false;
    bool SendDone = false;
    bool SendFromFile = false;
    bool Destroying = false;

    ws::SOCKET ThisSocket = ws::INVALID_SOCKET;
    ws::SockAddrIn RemoteAddress;
    QByteArray LastReply;  // of the last Transaction
    TThreadTimer* Timer = nullptr;

    void InitializeWinsock();
    void ReadToStream();
    void WriteFromStream();
    void RequestCloseSocket();
    void ResolveHost();
    void CheckSocketError(int toleratedError);
    void TimerOn();
    void TimerOff();
    void TimerTriggered();
    // Bytes waiting in the in-memory receive buffer.
    qsizetype ReceiveBufferSize() const { return ReceiveBuffer.size(); }

private:
    void Dispatch(unsigned message, uintptr_t wParam, intptr_t lParam);
    // TLS: the handshake after the connect (ETlsError when it fails), its steps on notifications,
    // and the reads and writes that go through the session while one is up.
    void StartTls();
    [[noreturn]] void FailTls(const QByteArray& reason);
    void TlsHandshakeStep();
    bool TlsHandshaking() const { return Tls && TlsState == TTlsChannel::THandshake::Pending; }
    int Receive(char* buffer, int length);
    int Send(const char* data, int length);
    void DrainOnClose();
    void NoteBrokenEnd(const QByteArray& cause);
    int ReceiveChunk();
    void FlushCapture();
    void MakeSocket(int protocol);
    void PostStep(unsigned message);
    // One pass of a wait: processes the calling thread's pending events; when the previous pass
    // found none, it first sleeps until an event arrives (so a stream is drained without pauses,
    // and an idle wait costs nothing).
    static void WaitPass(bool& busy);

    TMessageWindow* Window = nullptr;
    QThread* const OwnerThread;  // whose waits Cancel wakes (it outlives the component)
    std::unique_ptr<TOwnerLink> OwnerLink;
    std::unique_ptr<char[]> HostEntry;
    std::unique_ptr<char[]> SendText;
    ws::HANDLE LookupHandle = 0;  // the pending look-up, 0 when none
    ws::WSADATA StartupData;

    QByteArray ReceiveBuffer;
    QByteArray SpareReceiveBuffer;
    QByteArray SendQueue;
    QByteArray SpareSendQueue;
    // While CaptureFile runs, received bytes go to this file (through a small staging buffer).
    std::unique_ptr<QFile> CaptureTarget;
    QString CaptureName;  // its path, for messages (the file is opened on a descriptor)
    QByteArray CaptureStage;
    QByteArray CaptureError;  // set when writing the file failed
    // While SendFile runs, the file replaces the send queue.
    std::unique_ptr<QFile> SendSource;
    QByteArray ChunkBuffer;   // one send chunk read from SendSource
    qint64 SendPosition = 0;  // next byte of SendSource to send
    // A hard (not "would block") send error, or a file that cannot be read, ends the running
    // send with this text.
    QByteArray SendFailure;
    // A read or write step that arrived while another ran is run once that one is over.
    bool ReadStepPending = false;
    bool WriteStepPending = false;
    bool ReceiveOverflow = false;
    // The TLS session of the current connection; gone with the socket.
    std::unique_ptr<TTlsChannel> Tls;
    TTlsChannel::THandshake TlsState = TTlsChannel::THandshake::Pending;
    QByteArray TlsFailure;  // kept here: a close during the handshake takes the session away
    bool TlsClosePosted = false;
};

// Pure rule: the error text for a Winsock error number ("10061:Connection refused",
// "Unknown Error No. 10101", empty for 0).
QByteArray WinsockErrorText(int number);
