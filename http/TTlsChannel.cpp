#include "http/TTlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

#include "http/SockExceptions.h"

namespace {

// The text of the most recent OpenSSL error of this thread, empty when there is none.
QByteArray LastErrorReason()
{
    const unsigned long error = ERR_peek_last_error();
    if (error == 0)
        return {};
    const char* reason = ERR_reason_error_string(error);
    return reason ? QByteArray(reason) : "error " + QByteArray::number(qulonglong(error), 16);
}

// One context for every client on every thread: the trust store is read once, on first use,
// and a context that is no longer changed may be shared (OpenSSL locks what it must).
SSL_CTX* SharedContext()
{
    static SSL_CTX* const context = []() -> SSL_CTX* {
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        if (!ctx)
            return nullptr;
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        // Without a usable store nothing verifies, so every connection fails as not trusted:
        // never an "accept anyway".
        SSL_CTX_set_default_verify_paths(ctx);
        ERR_clear_error();
        return ctx;
    }();
    return context;
}

// The read side of a session: OpenSSL reads the socket itself, through the socket layer's recv,
// so no received byte is copied twice and every read re-arms the read notification.
int SocketRead(BIO* bio, char* buffer, size_t length, size_t* readBytes)
{
    auto* channel = static_cast<TTlsChannel*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const int n = channel->RawRead(buffer, int(std::min<size_t>(length, INT_MAX)));
    *readBytes = n > 0 ? size_t(n) : 0;
    if (n < 0)
        BIO_set_retry_read(bio);
    return n > 0 ? 1 : 0;
}

long SocketControl(BIO* bio, int command, long, void*)
{
    switch (command) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return static_cast<TTlsChannel*>(BIO_get_data(bio))->RawEnded() ? 1 : 0;
    default: return 0;
    }
}

BIO_METHOD* SocketReadMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket layer read");
        if (m) {
            BIO_meth_set_read_ex(m, SocketRead);
            BIO_meth_set_ctrl(m, SocketControl);
        }
        return m;
    }();
    return method;
}

}  // namespace

TTlsChannel::TTlsChannel(ws::SOCKET socket, const QByteArray& host) : FSocket(socket), FHost(host)
{
    // Without a name to check any certificate would do.
    if (host.isEmpty() || host.contains('\0'))
        throw ETlsError("Certificate does not match host " + host);
    ERR_clear_error();
    SSL_CTX* context = SharedContext();
    BIO_METHOD* method = SocketReadMethod();
    FSsl = context && method ? SSL_new(context) : nullptr;
    BIO* readBio = FSsl ? BIO_new(method) : nullptr;
    FWriteBio = readBio ? BIO_new(BIO_s_mem()) : nullptr;
    if (!FWriteBio) {
        BIO_free(readBio);
        SSL_free(FSsl);
        throw ETlsError("TLS handshake failed: " + LastErrorReason());
    }
    BIO_set_data(readBio, this);
    BIO_set_init(readBio, 1);
    SSL_set_bio(FSsl, readBio, FWriteBio);
    SSL_set_connect_state(FSsl);

    X509_VERIFY_PARAM* param = SSL_get0_param(FSsl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    bool named;
    if (ws::inet_addr(host.constData()) != ws::WS_INADDR_NONE) {
        // An address is checked against the certificate's IP entries and is never sent as a
        // server name (names only, by the protocol's rules).
        named = X509_VERIFY_PARAM_set1_ip_asc(param, host.constData()) == 1;
    } else {
        named = X509_VERIFY_PARAM_set1_host(param, host.constData(), size_t(host.size())) == 1
            && SSL_set_tlsext_host_name(FSsl, host.constData()) == 1;
    }
    if (!named) {
        SSL_free(FSsl);
        throw ETlsError("TLS handshake failed: " + LastErrorReason());
    }
}

TTlsChannel::~TTlsChannel() { SSL_free(FSsl); }

int TTlsChannel::RawRead(char* buffer, int length)
{
    const int n = ws::recv(FSocket, buffer, length, 0);
    if (n > 0)
        return n;
    if (n == 0) {
        FRawClosed = true;
        return 0;
    }
    const int error = ws::WSAGetLastError();
    if (error == ws::WSAEWOULDBLOCK)
        return -1;
    FRawClosed = true;
    FRawError = error;
    return 0;
}

TTlsChannel::THandshake TTlsChannel::Handshake()
{
    if (FState != THandshake::Pending)
        return FState;
    ERR_clear_error();
    const int result = SSL_do_handshake(FSsl);
    const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(FSsl, result);
    const bool flushed = Flush();
    const bool sendBroken = !flushed && ws::WSAGetLastError() != ws::WSAEWOULDBLOCK;
    if (result == 1 && !sendBroken) {
        FState = THandshake::Done;
    } else if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) && !sendBroken) {
        return FState;
    } else {
        FFailure = HandshakeFailure(sendBroken);
        FState = THandshake::Failed;
        FFinished = true;
    }
    return FState;
}

QByteArray CertificateFailure(long verifyResult, const QByteArray& host)
{
    switch (verifyResult) {
    case X509_V_OK: return {};
    case X509_V_ERR_CERT_HAS_EXPIRED: return "Certificate expired";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return "Certificate does not match host " + host;
    default: return "Certificate not trusted";
    }
}

QByteArray TTlsChannel::HandshakeFailure(bool sendBroken) const
{
    if (const QByteArray certificate = CertificateFailure(SSL_get_verify_result(FSsl), FHost); !certificate.isEmpty())
        return certificate;
    if (FRawClosed || sendBroken)
        return "Connection closed during TLS handshake";
    const QByteArray reason = LastErrorReason();
    return "TLS handshake failed: " + (reason.isEmpty() ? QByteArray("no reason given") : reason);
}

int TTlsChannel::Receive(char* buffer, int length)
{
    if (FFinished) {
        // Whatever still comes is no longer part of the session; only the socket's own end,
        // which the plain read reports, matters now.
        char scratch[4096];
        const int n = ws::recv(FSocket, scratch, sizeof scratch, 0);
        if (n > 0) {
            ws::WSASetLastError(ws::WSAEWOULDBLOCK);
            return ws::SOCKET_ERROR;
        }
        return n;
    }
    int total = 0;
    bool failed = false;
    while (total < length) {
        size_t got = 0;
        ERR_clear_error();
        if (SSL_read_ex(FSsl, buffer + total, size_t(length - total), &got) == 1) {
            total += int(got);
            continue;
        }
        const int error = SSL_get_error(FSsl, 0);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            break;
        FFinished = true;
        if (error == SSL_ERROR_ZERO_RETURN) {
            FCloseNotified = true;
            SSL_shutdown(FSsl);  // answers the peer's close_notify
        } else if (!FRawClosed || FRawError != 0) {
            // A peer that closes without close_notify ends the stream as a plain close does;
            // anything else is a broken session.
            FFailure = LastErrorReason();
            failed = true;
        }
        break;
    }
    Flush();
    if (total > 0)
        return total;
    if (!FFinished) {
        ws::WSASetLastError(ws::WSAEWOULDBLOCK);
        return ws::SOCKET_ERROR;
    }
    if (failed) {
        ws::WSASetLastError(FRawError != 0 ? FRawError : ws::WSAECONNABORTED);
        return ws::SOCKET_ERROR;
    }
    return 0;
}

int TTlsChannel::Send(const char* data, int length)
{
    if (!Flush())
        return ws::SOCKET_ERROR;  // the socket's own error: would block, or broken
    if (FFinished) {
        ws::WSASetLastError(ws::WSAESHUTDOWN);
        return ws::SOCKET_ERROR;
    }
    if (length <= 0)
        return 0;
    size_t written = 0;
    ERR_clear_error();
    // The write side is a memory buffer: a record is always taken whole.
    if (SSL_write_ex(FSsl, data, size_t(length), &written) != 1) {
        FFinished = true;
        FFailure = LastErrorReason();
        ws::WSASetLastError(ws::WSAECONNABORTED);
        return ws::SOCKET_ERROR;
    }
    Flush();  // what does not go now goes on the next write notification
    return int(written);
}

bool TTlsChannel::Flush()
{
    for (;;) {
        if (FOutSent == FOut.size()) {
            const int pending = int(BIO_ctrl_pending(FWriteBio));
            FOut.truncate(0);
            FOutSent = 0;
            if (pending <= 0)
                return true;
            FOut.resize(pending);
            FOut.resize(std::max(0, BIO_read(FWriteBio, FOut.data(), pending)));
            continue;
        }
        const int n = ws::send(FSocket, FOut.constData() + FOutSent, int(FOut.size() - FOutSent), 0);
        if (n < 0)
            return false;  // the socket layer has armed the write notification, or failed
        FOutSent += n;
    }
}

bool TTlsChannel::HasPending() const { return !FFinished && SSL_has_pending(FSsl) == 1; }

void TTlsChannel::Close()
{
    if (FState != THandshake::Done || FFinished)
        return;
    FFinished = true;
    ERR_clear_error();
    SSL_shutdown(FSsl);
    Flush();
}
