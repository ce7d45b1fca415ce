#include "download/TCurlEngine.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/x509_vfy.h>
#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "download/FinalName.h"
#include "download/TReportReceiver.h"
#include "http/HttpRules.h"
#include "http/TTlsChannel.h"
#include "platform/Guarded.h"
#include "platform/Logging.h"
#include "rules/FailureReasons.h"
#include "rules/ModernNaming.h"
#include "rules/TransferRules.h"

namespace {
std::atomic<int> StallBytes{TCurlEngine::StallBytesPerSecond};
std::atomic<int> StallTime{TCurlEngine::StallSeconds};
// Progress reaches the window at most once per screen frame, as with the classic engine.
constexpr qint64 ProgressInterval = 16;  // ms
// How long the engine's thread sleeps when nothing happens; a new job or Stop wakes it at once.
constexpr int IdlePollMs = 1000;
// The library's largest receive buffer: a fast plain stream arrives in few, large reads.
constexpr long ReceiveBufferSize = 512 * 1024;
// Body bytes gather up to this much, and at most one progress interval, before they are
// written: a TLS stream arrives in records of 16 KB, and a write each would cost more than the
// copy. The rest is written before the try's end is decided.
constexpr size_t WriteBatch = 256 * 1024;

void InitCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The code of a well-formed status line, -1 for any other. The library writes the status of an
// HTTP/2 or HTTP/3 answer, which it has checked itself, as "HTTP/2 200".
int WellFormedStatus(const QByteArray& line)
{
    if (line.startsWith("HTTP/2 ") || line.startsWith("HTTP/3 "))
        return WellFormedStatusCode(line.left(6) + ".0" + line.mid(6));
    return WellFormedStatusCode(line);
}

bool HeaderIs(const QByteArray& line, const char* name, QByteArray* value)
{
    const qsizetype length = qsizetype(std::strlen(name));
    if (line.size() <= length || line.at(length) != ':' || qstrnicmp(line.constData(), name, length) != 0)
        return false;
    *value = line.mid(length + 1).trimmed();
    return true;
}
}  // namespace

// One job while it runs.
struct TCurlTransfer {
    TTransferJob Job;
    CURL* Easy = nullptr;
    curl_slist* Headers = nullptr;
    char Error[CURL_ERROR_SIZE] = {};
    QString Part;
    std::unique_ptr<TPartFileHold> Hold;  // while the job runs: no other window takes the part file
    int Fd = -1;
    qint64 Resume = 0;  // the part file's bytes that the request asked to continue after
    // The response being received; a new status line (a redirect) starts it again.
    bool AwaitStatus = true;      // the next header line is a status line
    bool StatusLineGood = false;  // the last status line was well-formed
    int Status = 0;
    QByteArray StatusLine, ContentType, ContentDisposition, ETag, LastModified, RetryAfter, ContentRange,
        ContentEncoding;
    qint64 ContentLength = -1;
    bool BodyStarted = false;
    bool Sink = true;        // the body goes into the part file (not an error page's)
    bool Discarded = false;  // the server would not continue the part file: the next try starts afresh
    bool Complete = false;   // the part file already held the whole file
    bool Stopped = false;
    QByteArray Validator;  // of the bytes now in the part file
    QString WriteError;
    qint64 Written = 0;       // bytes in the part file, the batch not yet written included
    std::vector<char> Batch;  // body bytes waiting to be written
    qint64 Moved = 0;         // body bytes received this try
    QElapsedTimer LastProgress;
    bool ProgressDue = false;

    ~TCurlTransfer()
    {
        if (Fd >= 0)
            ::close(Fd);
        curl_slist_free_all(Headers);
        if (Easy)
            curl_easy_cleanup(Easy);
    }
};

class TCurlEngine::Worker {
public:
    Worker(TCurlEngine& owner, int hostConnections) : Owner(owner)
    {
        InitCurl();
        Multi = curl_multi_init();
        curl_multi_setopt(Multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(qMax(1, hostConnections)));
        curl_multi_setopt(Multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
    }
    ~Worker() { curl_multi_cleanup(Multi); }

    void Post(const TTransferJob& job)
    {
        {
            const std::lock_guard lock(Lock);
            Incoming.push_back(job);
        }
        curl_multi_wakeup(Multi);
    }
    void Stop(bool quit)
    {
        {
            const std::lock_guard lock(Lock);
            StopRequested = true;
            QuitRequested = QuitRequested || quit;
        }
        curl_multi_wakeup(Multi);
    }

    void Run()
    {
        for (;;) {
            std::vector<TTransferJob> incoming;
            bool stop = false;
            bool quit = false;
            {
                const std::lock_guard lock(Lock);
                incoming.swap(Incoming);
                stop = StopRequested;
                quit = QuitRequested;
                StopRequested = false;
            }
            if (stop) {
                // Jobs that had not begun end as stopped too: each still reports.
                for (const TTransferJob& job : incoming)
                    Begin(job, true);
                incoming.clear();
                while (!Active.empty())
                    StopTransfer(*Active.front());
            }
            if (quit)
                return;
            for (const TTransferJob& job : incoming)
                Begin(job, false);
            int running = 0;
            curl_multi_perform(Multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(Multi, &queued)) {
                if (message->msg != CURLMSG_DONE)
                    continue;
                TCurlTransfer* t = nullptr;
                curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
                const CURLcode result = message->data.result;
                if (t)
                    Finish(*t, result);
            }
            for (const auto& t : Active) {
                if (t->ProgressDue && t->LastProgress.elapsed() >= ProgressInterval)
                    SendProgress(*t);
            }
            curl_multi_poll(Multi, nullptr, 0, Active.empty() ? IdlePollMs : int(ProgressInterval), nullptr);
        }
    }

private:
    void Begin(const TTransferJob& job, bool stopped)
    {
        auto owned = std::make_unique<TCurlTransfer>();
        TCurlTransfer& t = *owned;
        t.Job = job;
        Active.push_back(std::move(owned));
        {
            const std::lock_guard handOver(ReportHandOver());
            emit Owner.HintChanged(job.Slot, {QStringLiteral("Downloading: ") + QString::fromLatin1(job.Address)});
        }
        if (stopped) {
            t.Stopped = true;
            Report(t, CURLE_OK);
            return;
        }
        if (!OpenPart(t)) {
            Report(t, CURLE_WRITE_ERROR);
            return;
        }
        t.Easy = curl_easy_init();
        CURL* e = t.Easy;
        // Addresses from pages may hold spaces and raw bytes: sent as browsers send them.
        const QByteArray url = RequestTarget(job.Address);
        curl_easy_setopt(e, CURLOPT_URL, url.constData());
        curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.Error);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, long(MaxRepeatedPasses));
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, ReceiveBufferSize);
        // Over TLS a server may offer HTTP/2: the host's other files wait for its first
        // connection and share it, rather than each opening one of its own (the host limit
        // counts transfers, not connections). Plain http never multiplexes here.
        if (url.startsWith("https:"))
            curl_easy_setopt(e, CURLOPT_PIPEWAIT, 1L);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, long(ConnectSeconds));
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, long(StallBytes.load()));
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(StallTime.load()));
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Worker::Write);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Worker::Header);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
        // The same trust store as every OpenSSL program of the user's: the variables that move
        // it apply here too.
        if (const QByteArray file = qgetenv("SSL_CERT_FILE"); !file.isEmpty())
            curl_easy_setopt(e, CURLOPT_CAINFO, file.constData());
        if (const QByteArray dir = qgetenv("SSL_CERT_DIR"); !dir.isEmpty())
            curl_easy_setopt(e, CURLOPT_CAPATH, dir.constData());
        if (!job.Request.UserAgent.isEmpty())
            curl_easy_setopt(e, CURLOPT_USERAGENT, job.Request.UserAgent.constData());
        if (!job.Request.Referer.isEmpty())
            curl_easy_setopt(e, CURLOPT_REFERER, job.Request.Referer.constData());
        if (t.Resume > 0) {
            // Compressed bytes cannot be counted against the file's: a resumed body comes plain.
            const QByteArray range = QByteArray::number(t.Resume) + '-';
            curl_easy_setopt(e, CURLOPT_RANGE, range.constData());
            t.Headers = curl_slist_append(t.Headers, ("If-Range: " + t.Validator).constData());
            curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.Headers);
        } else {
            curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
        }
        t.LastProgress.start();
        curl_multi_add_handle(Multi, e);
    }

    // Continues a part file of ours for the address whose bytes came with the validator the job
    // names (or, when it names none, with any validator: a later run knows only the file), or
    // takes a new one.
    bool OpenPart(TCurlTransfer& t)
    {
        const auto resumable = [&t](const TOwnPartFile& leftover) {
            const QByteArray wanted = t.Job.Validator.isEmpty() ? leftover.Validator : t.Job.Validator;
            return leftover.Bytes > 0 && !wanted.isEmpty() && wanted == leftover.Validator
                && (t.Job.ResumeFrom == 0 || t.Job.ResumeFrom == leftover.Bytes);
        };
        TPartFile taken = TakePartFile(t.Job.Path, t.Job.Address, resumable, &t.WriteError);
        if (taken.Path.isEmpty())
            return false;
        t.Part = taken.Path;
        t.Hold = std::move(taken.Hold);
        t.Fd = ::open(QFile::encodeName(t.Part).constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (t.Fd < 0) {
            t.WriteError = QString::fromLocal8Bit(std::strerror(errno));
            if (taken.Bytes == 0)
                QFile::remove(t.Part);  // made just now, empty
            return false;
        }
        t.Resume = taken.Bytes;
        t.Written = taken.Bytes;
        t.Validator = taken.Validator;
        return true;
    }

    static size_t Header(char* data, size_t size, size_t count, void* user)
    {
        auto& t = *static_cast<TCurlTransfer*>(user);
        const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
        QByteArray value;
        if (t.AwaitStatus) {
            t.AwaitStatus = false;
            const int code = WellFormedStatus(line);
            t.StatusLineGood = code >= 0;
            t.Status = t.StatusLineGood ? code : 0;
            t.StatusLine = line;
            t.ContentType.clear();
            t.ContentDisposition.clear();
            t.ETag.clear();
            t.LastModified.clear();
            t.RetryAfter.clear();
            t.ContentRange.clear();
            t.ContentEncoding.clear();
            t.ContentLength = -1;
        } else if (line.isEmpty()) {
            t.AwaitStatus = true;  // an interim answer or a redirect: another answer follows
        } else if (HeaderIs(line, "content-type", &value)) {
            t.ContentType = value;
        } else if (HeaderIs(line, "content-disposition", &value)) {
            t.ContentDisposition = value;
        } else if (HeaderIs(line, "etag", &value)) {
            t.ETag = value;
        } else if (HeaderIs(line, "last-modified", &value)) {
            t.LastModified = value;
        } else if (HeaderIs(line, "retry-after", &value)) {
            t.RetryAfter = value;
        } else if (HeaderIs(line, "content-range", &value)) {
            t.ContentRange = value;
        } else if (HeaderIs(line, "content-encoding", &value)) {
            t.ContentEncoding = value.toLower();
        } else if (HeaderIs(line, "content-length", &value)) {
            bool ok = false;
            t.ContentLength = value.toLongLong(&ok);
            if (!ok)
                t.ContentLength = -1;
        }
        return size * count;
    }

    // The first byte of the final response's body (or its end, for a body of none): what the
    // answer means for the part file.
    static bool StartBody(TCurlTransfer& t)
    {
        t.BodyStarted = true;
        if (t.Status == 416 && t.Resume > 0) {
            t.Sink = false;
            t.Complete = ResumeDecision(t.Status, t.Resume, t.ContentRange) == TResumeAction::Complete;
            t.Discarded = !t.Complete;
            return t.Complete;
        }
        if (t.Status < 200 || t.Status > 299) {
            t.Sink = false;  // an error page is not the file
            return true;
        }
        qint64 keep = 0;
        if (t.Resume > 0) {
            switch (ResumeDecision(t.Status, t.Resume, t.ContentRange)) {
            case TResumeAction::Append: keep = t.Resume; break;
            case TResumeAction::Restart: keep = 0; break;
            default: t.Discarded = true; return false;
            }
        }
        // Only a file longer than what is kept is cut: on ext4 any truncate to zero, even of an
        // empty file, makes the close write the whole file back at once, on this thread.
        if ((t.Written > keep && ::ftruncate(t.Fd, keep) != 0) || ::lseek(t.Fd, keep, SEEK_SET) != keep) {
            t.WriteError = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        t.Written = keep;
        // Decoded bytes cannot be continued with a range of the encoded ones.
        const bool plain = t.ContentEncoding.isEmpty() || t.ContentEncoding == "identity";
        if (keep == 0)
            t.Validator = plain ? ResumeValidator(t.ETag, t.LastModified) : QByteArray();
        // Beside the bytes, the part file keeps the validator they came with, so that a later
        // run (after Stop, or after the program ended) can ask for exactly the missing rest.
        MarkPartFile(t.Part, t.Job.Address, t.Validator);
        return true;
    }

    // Writes `size` bytes at the part file's end; false, with the system's words kept, when it
    // cannot.
    static bool WriteOut(TCurlTransfer& t, const char* data, size_t size)
    {
        for (size_t done = 0; done < size;) {
            const ssize_t w = ::write(t.Fd, data + done, size - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                t.WriteError = QString::fromLocal8Bit(std::strerror(errno));
                return false;
            }
            done += size_t(w);
        }
        return true;
    }

    static bool Flush(TCurlTransfer& t)
    {
        const bool ok = t.Batch.empty() || WriteOut(t, t.Batch.data(), t.Batch.size());
        t.Batch.clear();
        return ok;
    }

    static size_t Write(char* data, size_t size, size_t count, void* user)
    {
        auto& t = *static_cast<TCurlTransfer*>(user);
        const size_t n = size * count;
        if (!t.WriteError.isEmpty() || (!t.BodyStarted && !StartBody(t)))
            return 0;  // ends the transfer with a write error
        t.Moved += qint64(n);
        if (!t.Sink)
            return n;
        if (t.Batch.size() + n > WriteBatch && !Flush(t))
            return 0;
        if (n >= WriteBatch) {
            if (!WriteOut(t, data, n))
                return 0;
        } else {
            if (t.Batch.capacity() == 0)
                t.Batch.reserve(WriteBatch);
            t.Batch.insert(t.Batch.end(), data, data + n);
        }
        t.Written += qint64(n);
        t.ProgressDue = true;
        return n;
    }

    // Whatever the bar shows is in the part file too.
    void SendProgress(TCurlTransfer& t)
    {
        Flush(t);
        t.ProgressDue = false;
        t.LastProgress.start();
        qint64 total = 0;
        if (t.ContentLength >= 0)
            total = t.ContentLength + (t.Status == 206 ? t.Resume : 0);
        const std::lock_guard handOver(ReportHandOver());
        emit Owner.Progress(t.Job.Slot, t.Written, total);
    }

    void StopTransfer(TCurlTransfer& t)
    {
        if (t.Easy)
            curl_multi_remove_handle(Multi, t.Easy);
        t.Stopped = true;
        Report(t, CURLE_OK);
    }

    void Finish(TCurlTransfer& t, CURLcode result)
    {
        curl_multi_remove_handle(Multi, t.Easy);
        if (!t.BodyStarted && result == CURLE_OK && t.Status > 0)
            StartBody(t);  // a body of no bytes
        Report(t, result);
    }

    // The end of a job: its part file settled or kept for another try, and its outcome sent.
    void Report(TCurlTransfer& t, CURLcode result)
    {
        TDownloadOutcome o;
        o.ItemId = t.Job.ItemId;
        o.Slot = t.Job.Slot;
        o.StatusCode = t.Status;
        o.ContentType = t.ContentType;
        o.ContentDisposition = t.ContentDisposition;
        o.BytesMoved = t.Moved;
        o.RetryAfterMs = RetryAfterMs(t.RetryAfter, QDateTime::currentDateTimeUtc());
        if (t.Fd >= 0 && !Flush(t))
            t.Written = FileSizeAt(t.Part);  // what did reach the part file
        TTryEnd end = Classify(t, result, &o.Reason);
        const bool whole = end == TTryEnd::Done;
        o.TryEnd = int(end);
        o.Retryable = IsRetryable(end, t.Status);
        if (t.Fd >= 0) {
            ::close(t.Fd);
            t.Fd = -1;
        }
        // Bytes of a try that may continue stay for it, with what identifies them.
        const bool keepPart =
            !whole && !t.Discarded && t.Written > 0 && !t.Validator.isEmpty() && (o.Retryable || t.Stopped);
        if (keepPart) {
            o.PartBytes = t.Written;
            o.Validator = t.Validator;
        } else if (t.Easy) {
            // Only a part file this job opened is measured, kept or deleted.
            const QString unkept = SettlePartFile(t.Part, t.Job.Path, FileSizeAt(t.Part), !whole, t.Job.Request, o);
            if (!unkept.isEmpty()) {
                end = TTryEnd::Fatal;
                o.TryEnd = int(end);
                o.Retryable = false;
                o.Reason = unkept;
            } else if (whole && o.Check.Delete) {
                FailureFacts facts;
                facts.KeptSize = o.Check.Size;
                o.Reason = FailureReason(facts);
            }
        }
        o.State = end == TTryEnd::Done ? FileDownloaded : FileFailed;
        if (t.ProgressDue)
            SendProgress(t);
        {
            const std::lock_guard handOver(ReportHandOver());
            emit Owner.Finished(o);
        }
        --Owner.FRunning;
        for (auto it = Active.begin(); it != Active.end(); ++it) {
            if (it->get() == &t) {
                Active.erase(it);
                break;
            }
        }
    }

    // How the try ended, and why in the user's words when it failed.
    TTryEnd Classify(const TCurlTransfer& t, CURLcode result, QString* reason) const
    {
        if (t.Stopped) {
            *reason = StoppedReason();
            return TTryEnd::Fatal;
        }
        if (!t.WriteError.isEmpty()) {
            *reason = WriteFailureReason(t.Job.Path, t.WriteError);
            return TTryEnd::Fatal;
        }
        if (t.Discarded) {
            *reason = QStringLiteral("The server would not continue the part file");
            return TTryEnd::Cut;
        }
        const qint64 announced = t.ContentLength < 0 ? 0 : t.ContentLength + (t.Status == 206 ? t.Resume : 0);
        const QByteArray words = QByteArray(t.Error).trimmed();
        long osError = 0;
        if (t.Easy)
            curl_easy_getinfo(t.Easy, CURLINFO_OS_ERRNO, &osError);
        // Answers the library refuses before its status line was read whole.
        if (result == CURLE_WEIRD_SERVER_REPLY || result == CURLE_UNSUPPORTED_PROTOCOL) {
            if (!t.StatusLineGood) {
                *reason = QString::fromLatin1(BadStatusLine);
                return TTryEnd::Fatal;
            }
        }
        switch (result) {
        case CURLE_OK:
            if (!t.StatusLineGood) {
                *reason = QString::fromLatin1(BadStatusLine);
                return TTryEnd::Fatal;
            }
            if (t.Complete || (t.Status >= 200 && t.Status <= 299))
                return TTryEnd::Done;
            *reason = HttpStatusReason(t.StatusLine);
            return TTryEnd::HttpError;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: *reason = QStringLiteral("Host not found"); return TTryEnd::Fatal;
        case CURLE_COULDNT_CONNECT:
            *reason = osError == ECONNREFUSED ? QStringLiteral("Connection refused") : QString::fromLatin1(words);
            return TTryEnd::Refused;
        case CURLE_OPERATION_TIMEDOUT:
            if (t.BodyStarted) {
                *reason =
                    QStringLiteral("Less than %1 bytes a second for %2 s").arg(StallBytes.load()).arg(StallTime.load());
                return TTryEnd::Stalled;
            }
            *reason = QStringLiteral("Connection timed out");
            return TTryEnd::TimedOut;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM: {
            const QByteArray cut = CutBodyReason(
                t.Written, announced, osError == ECONNRESET ? "Connection reset by peer" : "Connection broken");
            *reason = QString::fromLatin1(cut.isEmpty() ? words : cut);
            return t.BodyStarted ? TTryEnd::Cut : TTryEnd::Reset;
        }
        case CURLE_PEER_FAILED_VERIFICATION: {
            long verify = 0;
            curl_easy_getinfo(t.Easy, CURLINFO_SSL_VERIFYRESULT, &verify);
            const QByteArray host = QUrl(QString::fromLatin1(t.Job.Address)).host().toLatin1();
            // The library checks the name itself and leaves the chain's result "unspecified".
            const QByteArray why = CertificateFailure(verify == X509_V_ERR_UNSPECIFIED ? X509_V_OK : verify, host);
            *reason = QString::fromLatin1(why.isEmpty() ? "Certificate does not match host " + host : why);
            return TTryEnd::Fatal;
        }
        case CURLE_SSL_CONNECT_ERROR:
            *reason = QStringLiteral("TLS handshake failed: ") + QString::fromLatin1(words);
            return TTryEnd::Fatal;
        case CURLE_TOO_MANY_REDIRECTS: *reason = QStringLiteral("Too many redirects"); return TTryEnd::Fatal;
        default:
            *reason = QString::fromLatin1(words.isEmpty() ? QByteArray(curl_easy_strerror(result)) : words);
            return TTryEnd::Fatal;
        }
    }

    TCurlEngine& Owner;
    CURLM* Multi = nullptr;
    std::mutex Lock;
    std::vector<TTransferJob> Incoming;
    bool StopRequested = false;
    bool QuitRequested = false;
    std::vector<std::unique_ptr<TCurlTransfer>> Active;  // the engine's thread only
};

TCurlEngine::TCurlEngine(int hostConnections, QObject* parent)
    : TTransferEngine(parent), FWorker(std::make_unique<Worker>(*this, hostConnections))
{
    qRegisterMetaType<TDownloadHint>();
    qRegisterMetaType<TDownloadOutcome>();
    FThread = std::thread([this] { Guarded(lcDownload(), [this] { FWorker->Run(); }); });
}

TCurlEngine::~TCurlEngine()
{
    FWorker->Stop(true);
    FThread.join();
}

void TCurlEngine::Start(const TTransferJob& job)
{
    ++FRunning;
    FWorker->Post(job);
}

void TCurlEngine::StopAll() { FWorker->Stop(false); }

void TCurlEngine::SetStallRuleForTests(int bytesPerSecond, int seconds)
{
    StallBytes.store(bytesPerSecond);
    StallTime.store(seconds);
}
