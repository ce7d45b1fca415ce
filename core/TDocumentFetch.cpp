#include "core/TDocumentFetch.h"

#include <QTimer>

#include "http/SockExceptions.h"
#include "rules/DocumentFailure.h"
#include "http/TNMHTTP.h"
#include "rules/ScanLimits.h"

namespace {
// The host a path-only address goes to, as the window's document client has it.
constexpr const char* DocClientHost = "intranet";
}  // namespace

TDocumentFetch::TDocumentFetch() : FClient(std::make_unique<TNMHTTP>()), FIdle(std::make_unique<QTimer>())
{
    TNMHTTP& client = *FClient;
    client.Host = DocClientHost;
    client.Port = 80;
    client.TimeOut = 10000;
    client.ReportLevel = 4;
    client.InputFileMode = false;
    client.OutputFileMode = false;
    client.ProxyPort = 0;
    // These handlers run inside the client's own operations; the silent abort ends the Get.
    client.OnPacketRecvd = [this](TPowersock*) {
        if (FStop) {
            FClient->Cancel();
            return;
        }
        if (FTimeLimitMs > 0 && FClock.elapsed() > FTimeLimitMs) {
            FFacts.ErrorText = FetchTooLongReason().toLatin1();
            FClient->Cancel();
            FClient->Disconnect();
            FIdle->stop();
            return;
        }
        FIdle->start(FTimeOutMs);  // every packet gives the fetch its full time again
    };
    client.OnFailure = [](CmdType) { throw ESilentAbort(); };
    client.OnConnectionFailed = [this](TPowersock*) {
        FFacts.ErrorText = FClient->LastFailure.isEmpty() ? QByteArray("Connection Failed") : FClient->LastFailure;
        FFacts.SocketError = FClient->LastSocketError;
        throw ESilentAbort();
    };
    client.OnInvalidHost = [](bool& handled) { handled = false; };
    client.OnAuthenticationNeeded = [](TPowersock*) { throw ESilentAbort(); };
    FIdle->setSingleShot(true);
    QObject::connect(FIdle.get(), &QTimer::timeout, FIdle.get(), [this] {
        FFacts.IdleSeconds = (FTimeOutMs + 999) / 1000;
        FClient->Cancel();
        FClient->Disconnect();
    });
}

TDocumentFetch::~TDocumentFetch()
{
    TNMHTTP& client = *FClient;
    client.OnPacketRecvd = nullptr;
    client.OnFailure = nullptr;
    client.OnConnectionFailed = nullptr;
    client.OnInvalidHost = nullptr;
    client.OnAuthenticationNeeded = nullptr;
}

TFetchedDocument TDocumentFetch::Get(const QByteArray& address, const TDocumentRequest& request)
{
    TFetchedDocument result;
    result.Url = address;
    FFacts = FailureFacts();
    TNMHTTP& client = *FClient;
    client.Header.clear();  // a status line left from the last fetch says nothing of this one
    client.Body.clear();
    FTimeLimitMs = request.TimeLimitMs;
    FClock.start();
    FIdle->start(FTimeOutMs);
    try {
        if (FStop)
            throw ESilentAbort();
        client.Disconnect();
        client.HeaderInfo->LocalProgram = request.UserAgent;
        client.HeaderInfo->Referer = request.Referer;
        client.Get(address);
        if (FStop)
            throw ESilentAbort();
        result.Ok = true;
        result.Body = client.Body;
        result.Url = client.Url;
    } catch (const std::exception& e) {
        FFacts.Stopped = FFacts.Stopped || FStop;
        result.Reason = DocumentFailureReason(FFacts, client.Header, client.LastFailure, e.what());
        if (result.Reason.isEmpty())
            result.Reason = QString::fromLatin1(e.what());
    }
    FIdle->stop();
    return result;
}
