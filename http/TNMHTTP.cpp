#include "http/TNMHTTP.h"

#include <QFile>
#include <QFileInfo>
#include <memory>

#include "http/HttpRules.h"
#include "platform/LocalFiles.h"
#include "http/TExStringList.h"
#include "http/TNMURL.h"

namespace {
// Largest piece handed to one buffer send (its length is 16 bits, and 0 means "up to a zero").
constexpr qsizetype SendPieceSize = 32 * 1024;

bool AsksToRepeat(int16_t code) { return code >= 299 && code <= 399; }
}  // namespace

TNMHTTP::TNMHTTP(QObject* owner) : TPowersock(owner), HeaderInfo(new THeaderInfo), HeaderList(new TExStringList) {}

TNMHTTP::~TNMHTTP()
{
    delete HeaderInfo;
    delete HeaderList;
}

void TNMHTTP::Abort()
{
    // Also ends a host look-up wait at once: the time-out calls this.
    LookupDone = true;
    Cancel();
}

void TNMHTTP::StartRequest(CmdType kind, const QByteArray& url, const QByteArray& data, const QByteArray& target)
{
    Url = url;
    PostData = data;
    TargetUri = target;
    CommandKind = kind;
    LastFailure.clear();
    try {
        ExecuteRequest();
    } catch (const ESilentAbort&) {
        throw;  // a handler's way to end the request: the layer's reason, if any, stays
    } catch (const Exception& e) {
        if (LastFailure.isEmpty())
            LastFailure = e.Message;
        throw;
    } catch (const std::exception& e) {
        if (LastFailure.isEmpty())
            LastFailure = e.what();
        throw;
    }
}

void TNMHTTP::Get(const QByteArray& url) { StartRequest(cmdGet, url, {}, {}); }
void TNMHTTP::Head(const QByteArray& url) { StartRequest(cmdHead, url, {}, {}); }
void TNMHTTP::Options(const QByteArray& url) { StartRequest(cmdOptions, url, {}, {}); }
void TNMHTTP::Delete(const QByteArray& url) { StartRequest(cmdDelete, url, {}, {}); }
void TNMHTTP::Put(const QByteArray& url, const QByteArray& data) { StartRequest(cmdPut, url, data, {}); }
void TNMHTTP::Patch(const QByteArray& url, const QByteArray& data) { StartRequest(cmdPatch, url, data, {}); }
void TNMHTTP::Trace(const QByteArray& url, const QByteArray& data) { StartRequest(cmdTrace, url, data, {}); }
void TNMHTTP::Raw(const QByteArray& url, const QByteArray& data) { StartRequest(cmdRaw, url, data, {}); }
void TNMHTTP::Copy(const QByteArray& url, const QByteArray& target) { StartRequest(cmdCopy, url, {}, target); }
void TNMHTTP::Move(const QByteArray& url, const QByteArray& target) { StartRequest(cmdMove, url, {}, target); }
void TNMHTTP::Link(const QByteArray& url, const QByteArray& value) { StartRequest(cmdLink, url, "Send.dat", value); }
void TNMHTTP::Unlink(const QByteArray& url, const QByteArray& value)
{
    StartRequest(cmdUnlink, url, "Send.dat", value);
}

void TNMHTTP::Post(const QByteArray& url, const QByteArray& data)
{
    QByteArray body = data;
    if (!OutputFileMode && DecodePostData) {
        // A decoding failure leaves the data as given.
        TNMURL decoder;
        decoder.InputString = data;
        body = decoder.Decode();
    }
    StartRequest(cmdPost, url, body, {});
}

void TNMHTTP::ExecuteRequest()
{
    int repeatedPasses = 0;
    FBodyFileMade = false;
    for (;;) {
        ParseUrl();
        BuildHeaders();
        if (OnAboutToSend)
            OnAboutToSend(this);
        Connect();                                 // a failure leaves at once, without a Disconnect
        const bool head = CommandKind == cmdHead;  // SendRequest resets the kind
        try {
            SendRequest();
            ReadHeaders();
            ReceiveBody(head);
            ReportOutcome();
        } catch (...) {
            // The first failure is the one the caller hears about.
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }
        Disconnect();

        const int16_t code = ReplyCode;
        if (code > 299 && code < 399) {
            if (!ReceivedCookie.isEmpty()) {
                HeaderInfo->Cookie = ReceivedCookie;
                ScopedCookie = ReceivedCookie;
                CookieHost = Host;
                CookieSecure = SpeaksTls();
            }
            bool handled = false;
            if (OnRedirect)
                OnRedirect(handled);
            if (handled)
                return;
            Url = RedirectUrl(Url, Host, Port, UseTls);
        }
        if (code == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (!AsksToRepeat(code))
            return;
        // A redirect cycle would otherwise run until the caller cancels; a cycle whose passes
        // keep delivering packets is not ended by the callers' watchdogs either.
        if (++repeatedPasses >= MaxRepeatedPasses)
            throw ESockError("Too many redirects");
    }
}

void TNMHTTP::ParseUrl()
{
    UrlTarget target{Url, Host, Port, RequestPath, UseTls};
    ParseUrlRule(target);
    Url = target.Url;
    Host = target.Host;
    Port = target.Port;
    RequestPath = target.RequestPath;
    UseTls = target.Tls;
}

bool TNMHTTP::CookieInScope() const
{
    // A cookie taken over at a redirect goes back only to the host that set it, and one set
    // over TLS never travels in plain bytes. One the caller set itself goes everywhere.
    if (ScopedCookie.isEmpty() || HeaderInfo->Cookie != ScopedCookie)
        return true;
    return Host.toLower() == CookieHost.toLower() && (SpeaksTls() || !CookieSecure);
}

void TNMHTTP::BuildHeaders()
{
    RequestShape shape;
    shape.Kind = CommandKind;
    shape.Url = Url;
    shape.RequestPath = RequestPath;
    shape.Host = Host;
    shape.Proxy = Proxy;
    shape.TargetUri = TargetUri;
    shape.Info = *HeaderInfo;
    if (!CookieInScope())
        shape.Info.Cookie.clear();
    shape.Port = Port;
    shape.Tls = UseTls;
    if (SendsContentLength(CommandKind)) {
        if (OutputFileMode) {
            QFile file(QFile::decodeName(PostData));
            if (!file.open(QIODevice::ReadOnly))
                throw EFileError("Cannot open file \"" + PostData + "\": " + file.errorString().toLocal8Bit());
            shape.ContentLength = file.size();
        } else {
            shape.ContentLength = PostData.size();
        }
    }
    *HeaderList = BuildHeaderLines(shape);
}

void TNMHTTP::SendBytes(const QByteArray& bytes)
{
    for (qsizetype start = 0; start < bytes.size(); start += SendPieceSize) {
        const qsizetype n = qMin(SendPieceSize, bytes.size() - start);
        SendBuffer(bytes.constData() + start, uint16_t(n));
    }
}

void TNMHTTP::SendRequest()
{
    // Sent whole: a long proxy address or a body beyond one Write, or one holding a zero byte,
    // would otherwise be cut while its Content-Length announces all of it.
    SendBytes(JoinHeaderBlock(*HeaderList));
    if (SendsRequestBody(CommandKind)) {
        if (OutputFileMode)
            SendFile(QFile::decodeName(PostData));
        else
            SendBytes(PostData);
    }
    CommandKind = cmdGet;
}

void TNMHTTP::ReadHeaders()
{
    BytesTotal = 0;
    ReceivedCookie.clear();
    std::unique_ptr<QFile> headerFile;  // closed on every way out
    if (OutputFileMode) {
        headerFile = std::make_unique<QFile>(QFile::decodeName(Header));
        if (!headerFile->open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw EFileError("Cannot create file \"" + Header + "\": " + headerFile->errorString().toLocal8Bit());
    } else {
        Header.clear();
    }

    qsizetype blockSize = 0;
    const auto nextLine = [&] {
        QByteArray line = ReadLn();
        if (line.size() > MaxHeaderLineLength)
            throw ESockError("Header line too long");
        blockSize += line.size();
        if (blockSize > MaxHeaderBlockSize)
            throw ESockError("Header block too large");
        return line;
    };
    const auto store = [&](const QByteArray& line) {
        if (!headerFile) {
            Header += line;
        } else if (headerFile->write(line) != line.size()) {
            throw EFileError("Cannot write file \"" + Header + "\": " + headerFile->errorString().toLocal8Bit());
        }
    };

    QByteArray statusLine = nextLine();
    // Interim answers (100 Continue, 103 Early Hints) come before the real one: their header
    // blocks are read past, within the one block size limit.
    while (IsInterimStatus(WellFormedStatusCode(statusLine))) {
        while (!IsHeaderBlockEnd(nextLine())) {}
        statusLine = nextLine();
    }
    const int code = WellFormedStatusCode(statusLine);
    FStatusLineGood = code >= 0;
    ReplyCode = FStatusLineGood ? int16_t(code) : StatusCode(statusLine);
    store(statusLine);
    if (statusLine.isEmpty())
        return;  // the connection closed before any line
    for (;;) {
        const QByteArray line = nextLine();
        switch (ClassifyHeaderLine(line)) {
        case HeaderLineKind::SetCookie: ReceivedCookie = HeaderLineValue(line, HeaderLineKind::SetCookie); break;
        case HeaderLineKind::Location: Url = HeaderLineValue(line, HeaderLineKind::Location); break;
        case HeaderLineKind::ContentLength: BytesTotal = ContentLengthValue(line); break;
        case HeaderLineKind::Other: break;
        }
        store(line);
        if (IsHeaderBlockEnd(line))
            break;
    }
}

void TNMHTTP::ReceiveBody(bool head)
{
    // The body always ends with the server's close; Content-Length only announces its size.
    if (InputFileMode) {
        const QString name = QFile::decodeName(Body);
        if (BodyFileMustBeNew && !FBodyFileMade) {
            QFile created;
            QString reason;
            if (!CreateNewFile(created, name, &reason))
                throw EFileError("Cannot create file " + Body + ": " + reason.toLocal8Bit());
            FBodyFileMade = true;
        }
        if (OnBodyFile)
            OnBodyFile(name);
        CaptureFile(name);
    } else {
        CaptureString(Body, -1);
    }
    // A body shorter than announced, or one whose connection broke, is a failed transfer, never
    // a document or a file that looks whole.
    if (!BodyIsChecked(ReplyCode, head))
        return;
    const qint64 received = InputFileMode ? BytesRecvd : Body.size();
    const QByteArray cut = CutBodyReason(received, BytesTotal, BrokenEnd);
    if (!cut.isEmpty())
        throw ESockError(cut);
}

void TNMHTTP::ReportOutcome()
{
    // An answer without a well-formed status line is no success, whatever its number says.
    if (!FStatusLineGood)
        throw ESockError(BadStatusLine);
    if (IsSuccessStatus(ReplyCode)) {
        if (OnSuccess)
            OnSuccess(CommandKind);
        ReportStatus(2, "Transaction Completed");
    } else if (ReplyCode > 399) {
        if (OnFailure)
            OnFailure(CommandKind);
    }
}
