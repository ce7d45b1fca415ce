#pragma once
// A TLS client session over one of the socket layer's non-blocking sockets. It offers the same
// calls with the same results as the plain socket (Receive like recv, Send like send: a count,
// 0 for the peer's close, SOCKET_ERROR with WSAEWOULDBLOCK when it must wait for the next
// notification), so the socket component's read and write steps work unchanged over it.
//
// Reads go straight from the socket into OpenSSL (each read re-arms the read notification, as a
// plain recv does); what OpenSSL writes is collected in memory and pushed out with send, the rest
// waiting for the next write notification. The certificate is checked against the system's
// trust store (OpenSSL's default paths, so SSL_CERT_FILE and SSL_CERT_DIR apply) and the host
// name or address; TLS 1.2 is the oldest version spoken. Belongs to the socket's thread.
#include <QByteArray>

#include "platform/Winsock.h"

struct ssl_st;
struct bio_st;

class TTlsChannel {
public:
    // Plaintext taken by one Receive at most: several records' worth, so that one read step
    // moves as much as a plain read step does.
    static constexpr int ReadSize = 64 * 1024;

    enum class THandshake { Pending, Done, Failed };

    // Prepares a session for `host` (a name, which is also sent as the server name, or a dotted
    // address). Throws ETlsError when OpenSSL cannot be set up.
    TTlsChannel(ws::SOCKET socket, const QByteArray& host);
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    // One step of the handshake; run it first and then on every read or write notification
    // until it is no longer Pending. After Failed, FailureText() says why.
    THandshake Handshake();
    THandshake HandshakeState() const { return FState; }
    const QByteArray& FailureText() const { return FFailure; }

    // Up to `length` bytes of plaintext (at most ReadSize are worth asking for).
    int Receive(char* buffer, int length);
    // Takes all `length` bytes or none (SOCKET_ERROR with WSAEWOULDBLOCK while earlier bytes
    // still wait to go out).
    int Send(const char* data, int length);
    // Pushes out what waits to be sent; false while some still waits (or the socket failed).
    bool Flush();
    // Plaintext, or received bytes not yet decrypted, that no socket notification will announce.
    bool HasPending() const;
    // The peer ended the session (close_notify) or it failed: no more plaintext will come.
    bool Finished() const { return FFinished; }
    // The peer ended the session with close_notify: the data it sent is known to be whole.
    bool CloseNotified() const { return FCloseNotified; }
    // Sends close_notify when the session is still up (best effort, never waits).
    void Close();

    // Reads for OpenSSL (the socket read method's callbacks).
    int RawRead(char* buffer, int length);
    bool RawEnded() const { return FRawClosed; }

private:
    QByteArray HandshakeFailure(bool sendBroken) const;

    ws::SOCKET FSocket;
    QByteArray FHost;
    ssl_st* FSsl = nullptr;
    bio_st* FWriteBio = nullptr;  // owned by FSsl
    QByteArray FOut;              // encrypted bytes taken from FWriteBio, not yet sent
    qsizetype FOutSent = 0;
    THandshake FState = THandshake::Pending;
    QByteArray FFailure;
    bool FRawClosed = false;  // the socket read its end (or failed)
    int FRawError = 0;        // the socket's error when it failed, 0 for an orderly end
    bool FFinished = false;
    bool FCloseNotified = false;
};

// Why a server's certificate was refused, in the user's words, from OpenSSL's verification
// result ("Certificate not trusted", "Certificate expired", "Certificate does not match host
// NAME"); empty when it was accepted. Every TLS client of the program says it the same way.
QByteArray CertificateFailure(long verifyResult, const QByteArray& host);
