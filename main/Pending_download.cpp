// TEMPORARY until the owners land: stand-ins for the main window's shared steps and for the
// HTTP client, so that the download branch links and its tests run. Delete when merging.
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "http/TNMHTTP.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

// ---- main window (temporary until the main window lands) --------------------------------------
void TFormMain::ButtonStopClick()
{
    StopRequested = true;
    if (ListViewFile)
        ListViewFile->Tag = 0;
    if (ComboBoxDownload)
        ComboBoxDownload->setEnabled(true);
}
void TFormMain::UpdateScreen(TLed*) {}
void TFormMain::ProcessMessages() { QCoreApplication::processEvents(); }
void TFormMain::SetStatusText(const QString& text) { setProperty("statusText", text); }
QString TFormMain::StatusText() const { return property("statusText").toString(); }
void TFormMain::Beep()
{
    if (BeepHook)
        BeepHook();
    else
        QApplication::beep();
}
// temporary until the preview lands
void TFormMain::ListViewFileClick()
{
    if (CurrentFileIndex >= 0 && ListViewFile->ImageIndex(CurrentFileIndex) >= 0)
        ListViewFile->SetStateImage(CurrentFileIndex, 3);
}

// ---- HTTP client (temporary until the HTTP client lands) ---------------------------------------
TPowersock::TPowersock(QObject*) {}
TPowersock::~TPowersock() = default;
intptr_t TPowersock::Accept() { throw ESockError("not available"); }
void TPowersock::Connect() { throw ESockError("not available"); }
void TPowersock::Disconnect() {}
QByteArray TPowersock::Transaction(const QByteArray&) { throw ESockError("not available"); }
void TPowersock::Abort() { Cancel(); }
void TPowersock::Cancel() { FCancelRequested = true; }

TNMHTTP::TNMHTTP(QObject* owner) : TPowersock(owner), HeaderInfo(new THeaderInfo) {}
TNMHTTP::~TNMHTTP() { delete HeaderInfo; }
void TNMHTTP::Abort()
{
    LookupDone = true;
    Cancel();
}

namespace {
struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Waits for the socket while the calling thread keeps processing its events.
void WaitFor(int fd, short events, const bool& cancel, const char* abortText)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, 2);
        QCoreApplication::processEvents();
        if (cancel)
            throw EAbortError(abortText);
        if (n > 0)
            return;
    }
}
}  // namespace

void TNMHTTP::Get(const QByteArray& url)
{
    FCancelRequested = false;
    BytesTotal = BytesRecvd = 0;
    ReplyCode = 0;
    QByteArray rest = url;
    if (rest.startsWith("http://"))
        rest = rest.mid(7);
    const int slash = rest.indexOf('/');
    QByteArray hostPort = slash < 0 ? rest : rest.left(slash);
    const QByteArray path = slash < 0 ? QByteArray("/") : rest.mid(slash);
    int port = 80;
    if (const int colon = hostPort.indexOf(':'); colon >= 0) {
        port = hostPort.mid(colon + 1).toInt();
        hostPort = hostPort.left(colon);
    }
    if (!hostPort.isEmpty())
        Host = hostPort;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    const QByteArray ip = Host == "localhost" ? QByteArray("127.0.0.1") : Host;
    if (inet_pton(AF_INET, ip.constData(), &addr.sin_addr) != 1) {
        bool handled = false;
        if (OnInvalidHost)
            OnInvalidHost(handled);
        throw ESockError("Null Remote Address");
    }
    FdCloser sock{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0)
        throw ESockError("Connection Failed");
    if (::connect(sock.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS)
        throw ESockError("Connection Failed");
    WaitFor(sock.fd, POLLOUT, FCancelRequested, "Connection Canceled");
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err)
        throw ESockError("Connection Failed");
    const QByteArray request = "GET " + path + " HTTP/1.0\r\nHost: " + Host + "\r\n\r\n";
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::send(sock.fd, request.constData() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN)
            throw ESockError("Socket send failed");
        if (n > 0)
            sent += n;
        else
            WaitFor(sock.fd, POLLOUT, FCancelRequested, "Socket send aborted");
    }
    QByteArray head;
    QFile file;
    bool inBody = false;
    QByteArray chunk(65536, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::recv(sock.fd, chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EAGAIN) {
            WaitFor(sock.fd, POLLIN, FCancelRequested, "Socket capture aborted");
            continue;
        }
        if (n < 0)
            throw ESockError("Socket error");
        if (n == 0)
            break;
        QByteArray data = chunk.left(n);
        if (!inBody) {
            head += data;
            const int end = head.indexOf("\r\n\r\n");
            if (end < 0) {
                if (head.size() > 65536)
                    throw ESockError("Header too long");
                continue;
            }
            const QList<QByteArray> lines = head.left(end).split('\n');
            ReplyCode = int16_t(lines.value(0).split(' ').value(1).toInt());
            for (const QByteArray& line : lines)
                if (line.toLower().startsWith("content-length:"))
                    BytesTotal = line.mid(15).trimmed().toInt();
            data = head.mid(end + 4);
            inBody = true;
            file.setFileName(QFile::decodeName(Body));
            if (InputFileMode && !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                throw EFileError("Cannot create file");
            if (!InputFileMode)
                Body.clear();
        }
        if (data.isEmpty())
            continue;
        if (InputFileMode)
            file.write(data);
        else
            Body += data;
        BytesRecvd += int32_t(data.size());
        try {
            if (OnPacketRecvd)
                OnPacketRecvd(this);
        } catch (...) {
        }
        QCoreApplication::processEvents();
        if (FCancelRequested)
            throw EAbortError("Socket capture aborted");
    }
    file.close();
    if (ReplyCode > 399 && OnFailure)
        OnFailure(cmdGet);
}
void TNMHTTP::Head(const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Options(const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Delete(const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Post(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Put(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Patch(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Trace(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Copy(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Move(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Link(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
void TNMHTTP::Unlink(const QByteArray&, const QByteArray&) { throw Exception("not available"); }
