#pragma once
// A TCP stream socket component whose operations look blocking to the caller: each starts socket
// work, then waits (2 ms sleep + processing the calling thread's events) until a notification,
// Cancel or the time-out ends the wait. Belongs to the thread that created it.
#include <QByteArray>
#include <QStringList>
#include <QString>
#include <cstdint>
#include <functional>

#include "http/SockExceptions.h"

class TThreadTimer;
class QObject;

class TPowersock {
public:
    explicit TPowersock(QObject* owner = nullptr);
    virtual ~TPowersock();
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // Published properties.
    QByteArray Host;
    int Port = 0;
    int TimeOut = 0;      // ms, for look-up and connect only; 0 = no limit
    int ReportLevel = 0;
    QByteArray Proxy;
    int ProxyPort = 0;

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
    int32_t BytesTotal = 0;
    int32_t BytesRecvd = 0;
    int32_t BytesSent = 0;
    int16_t ReplyCode = 0;
    int32_t LastSocketError = 0;
    QStringList WinsockInfo;

    // Virtual operations, in slot order.
    virtual intptr_t Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual QByteArray Transaction(const QByteArray& command);
    virtual void Abort();

    void Cancel();
    void Write(const QByteArray& text);
    void Writeln(const QByteArray& text);
    void SendBuffer(const char* data, uint16_t length);
    void SendFile(const QString& fileName);
    QByteArray ReadLn();
    void CaptureString(QByteArray& text, int count);
    void CaptureFile(const QString& fileName);
    void ReportStatus(int level, const QByteArray& text);
    QByteArray LookupErrorMessage(int number);

    bool CancelRequested() const { return FCancelRequested; }

protected:
    // Internals a derived protocol component relies on (the socket layer owns the rest).
    bool FCancelRequested = false;
    bool LookupDone = false;

    // Further internal state and steps (buffers, flags, notification window, timer, socket
    // handle, ReadToStream, WriteFromStream, RequestCloseSocket, ResolveHost, ...) follow.
};

// Pure rule: the error text for a Winsock error number ("10061:Connection refused",
// "Unknown Error No. 10101", empty for 0).
QByteArray WinsockErrorText(int number);
