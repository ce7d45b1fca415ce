#include "download/UnitDownloadThreads.h"

#include "download/FinalName.h"
#include "download/TReportReceiver.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <limits>

#include "http/HttpRules.h"
#include "http/SockExceptions.h"
#include "http/TNMHTTP.h"
#include "platform/Guarded.h"
#include "rules/FailureReasons.h"
#include "rules/ModernNaming.h"
#include "rules/ReferrerPolicy.h"
#include "rules/TransferRules.h"

namespace {
constexpr int StopPollInterval = 500;  // how soon a running engine notices Stop
std::atomic<int> IdleInterval{60000};
std::atomic<int> RunningEngines{0};

void ProcessOwnEvents() { QCoreApplication::processEvents(); }

// The value of the first "NAME:" line (`name` in lower case, with its colon) of a response's
// header block, empty when none.
QByteArray HeaderValueOf(const QByteArray& headerBlock, const QByteArray& name)
{
    for (const QByteArray& line : headerBlock.split('\n')) {
        if (line.size() >= name.size() && line.left(name.size()).toLower() == name)
            return line.mid(name.size()).trimmed();
    }
    return {};
}

QByteArray FirstLine(const QByteArray& block) { return block.left(block.indexOf('\n') + 1); }

// Where finished engine threads are handed back for deletion: made on the starting (window's)
// thread by the first engine, and kept for the program's life.
TReportReceiver* FinishedThreads()
{
    static TReportReceiver* const receiver = new TReportReceiver;
    return receiver;
}
}  // namespace

TDownload::TDownload(const QByteArray& fileUrl, const QString& fileName, int slot, uint64_t itemId,
                     std::stop_token stop, const TDownloadRequest& request)
    : FileUrl(fileUrl), FileName(fileName), Slot(slot), ItemId(itemId), Stop(std::move(stop)), Extra(request)
{
    // Registered here, on the starting thread, so that no engine's first report has to take the
    // type registry's write lock while the window's thread reads it.
    qRegisterMetaType<TDownloadHint>();
    qRegisterMetaType<TDownloadOutcome>();
    // A finished thread is deleted on the starting thread. Qt would post its finished() there
    // itself, but through a lock the thread sanitizer cannot see: the request to delete goes over
    // under the hand-over lock instead, which the receiver takes too.
    TReportReceiver* const receiver = FinishedThreads();
    connect(
        this, &QThread::finished, this,
        [this, receiver] {
            const std::lock_guard handOver(ReportHandOver());
            QMetaObject::invokeMethod(
                receiver, [this] { delete this; }, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
}

// The absolute address a Location line leads to, from the server that answered.
QByteArray TDownload::RedirectTarget() const
{
    const QByteArray target = RedirectUrl(Http->Url, Http->Host, Http->Port, Http->UseTls);
    const QByteArray scheme = Http->UseTls ? "https:" : "http:";
    if (target.startsWith("//"))
        return scheme + target;
    if (target.startsWith('/'))
        return scheme + "//" + HostLineValue(Http->Host, Http->Port, Http->UseTls) + target;
    return target;
}

TDownload::~TDownload()
{
    wait();  // only reached after finished(): returns at once
}

int TDownload::Running() { return RunningEngines.load(); }

void TDownload::SetIdleIntervalForTests(int ms) { IdleInterval.store(ms); }

void TDownload::run()
{
    ++RunningEngines;
    // Nothing may leave a thread's run; Execute reports its outcome on every path.
    Guarded(lcDownload(), [this] { Execute(); });
    --RunningEngines;
}

void TDownload::Execute()
{
    {
        const std::lock_guard handOver(ReportHandOver());
        emit HintChanged({QStringLiteral("Downloading: ") + QString::fromLatin1(FileUrl)});
    }
    ProcessOwnEvents();

    TDownloadOutcome outcome;
    outcome.ItemId = ItemId;
    outcome.Slot = Slot;
    try {
        outcome = Request();
    } catch (...) {
        // The request step swallows every failure of the transfer; this is a fault of the set-up.
        LogUnexpectedException(lcDownload());
        outcome.Reason = QStringLiteral("Unexpected failure");
    }
    Guarded(lcDownload(), [this] { FinalStep(); });
    // The last value of the bar is never lost, and it arrives before the outcome.
    if (FProgressDue)
        SendProgress();
    qCDebug(lcDownload) << "slot" << Slot + 1 << FileUrl << (outcome.State == FileDownloaded ? "downloaded" : "failed")
                        << outcome.StatusCode << outcome.Check.Size << (outcome.Check.Delete ? "deleted" : "")
                        << outcome.Reason;
    {
        const std::lock_guard handOver(ReportHandOver());
        emit Finished(outcome);
    }
    // Released here, on the thread that created them.
    PartHold.reset();
    Http.reset();
    ProgressTimer.reset();
    StopTimer.reset();
    IdleTimer.reset();
}

TDownloadOutcome TDownload::Request()
{
    TDownloadOutcome outcome;
    outcome.ItemId = ItemId;
    outcome.Slot = Slot;

    // Timers and client belong to this thread: their ticks and socket notifications arrive only
    // while this thread processes its events.
    IdleTimer = std::make_unique<QTimer>();
    IdleTimer->setSingleShot(true);
    connect(IdleTimer.get(), &QTimer::timeout, IdleTimer.get(),
            [this] { Guarded(lcDownload(), [this] { IdleTimeout(); }); });
    FLastPacket.start();
    IdleTimer->start(IdleInterval.load());

    StopTimer = std::make_unique<QTimer>();
    StopTimer->setInterval(StopPollInterval);
    connect(StopTimer.get(), &QTimer::timeout, StopTimer.get(),
            [this] { Guarded(lcDownload(), [this] { StopPoll(); }); });
    StopTimer->start();

    ProgressTimer = std::make_unique<QTimer>();
    ProgressTimer->setSingleShot(true);
    ProgressTimer->setTimerType(Qt::PreciseTimer);  // a coarse one may tick early
    connect(ProgressTimer.get(), &QTimer::timeout, ProgressTimer.get(), [this] {
        Guarded(lcDownload(), [this] {
            if (FProgressDue)
                SendProgress();
        });
    });

    // The data goes into a part file of our own and takes the final name only when it is kept.
    // This engine never continues a part file: a leftover of ours for the address is replaced.
    QString why;
    TPartFile taken = TakePartFile(FileName, FileUrl, nullptr, &why);
    if (taken.Path.isEmpty()) {
        outcome.Reason = WriteFailureReason(FileName, why);
        return outcome;
    }
    const QString part = taken.Path;
    PartHold = std::move(taken.Hold);
    Http = std::make_unique<TNMHTTP>();
    Http->Host = "local";
    Http->Body = QFile::encodeName(part);
    Http->TimeOut = 60000;  // look-up and connect only; the transfer is bounded by the idle timer
    Http->InputFileMode = true;
    // The mark takes the validator of the answer that fills the file, before any of its bytes.
    bool bodyStarted = false;
    Http->OnBodyFile = [this, &bodyStarted](const QString& path) {
        bodyStarted = true;
        MarkPartFile(path, FileUrl,
                     ResumeValidator(HeaderValueOf(Http->Header, QByteArrayLiteral("etag:")),
                                     HeaderValueOf(Http->Header, QByteArrayLiteral("last-modified:"))));
    };
    Http->HeaderInfo->LocalProgram = Extra.UserAgent;
    Http->HeaderInfo->Referer = Extra.Referer;
    if (!Extra.RefererPage.isEmpty())
        Http->OnRedirect = [this](bool&) {
            Http->HeaderInfo->Referer = ReferrerFor(Extra.RefererPage, RedirectTarget());
        };
    Http->OnPacketRecvd = [this](TPowersock*) { HttpPacketRecvd(); };
    Http->OnInvalidHost = [this](bool&) {
        FFacts.ErrorText = "Host not found";
        throw ESilentAbort();
    };
    // An error reply's own status line tells why.
    Http->OnFailure = [](CmdType) { throw ESilentAbort(); };

    bool failed = true;
    try {
        Http->Disconnect();
        ProcessOwnEvents();
        Http->Get(FileUrl);
        failed = false;
    } catch (const std::exception& e) {
        // Any failure, our own aborts included, shows in the item's icon and its hint: in the
        // client's words when it has them (a TLS check's reason outlives the abort it causes).
        if (FFacts.ErrorText.isEmpty())
            FFacts.ErrorText = Http->LastFailure.isEmpty() ? QByteArray(e.what()) : Http->LastFailure;
    } catch (...) {
        LogUnexpectedException(lcDownload());
        FFacts.ErrorText = "Unexpected failure";
    }
    outcome.State = failed ? FileFailed : FileDownloaded;
    outcome.StatusCode = Http->ReplyCode;
    outcome.ContentType = HeaderValueOf(Http->Header, QByteArrayLiteral("content-type:"));
    outcome.ContentDisposition = HeaderValueOf(Http->Header, QByteArrayLiteral("content-disposition:"));
    FFacts.StatusLine = FirstLine(Http->Header);
    FFacts.SocketError = Http->LastSocketError;
    // The user knows the file by its final name, not by the part file's.
    FFacts.ErrorText.replace(QFile::encodeName(part), QFile::encodeName(FileName));

    // The finished-file check: measured here, off the window's thread; a part file too small to
    // keep or of a failed transfer is deleted, any other takes its final name. Only a part file
    // this request made is measured or deleted: an entry that was in the way stays.
    Http->OnBodyFile = nullptr;
    const QString unkept = SettlePartFile(part, FileName, bodyStarted ? FileSizeAt(part) : -1, failed, Extra, outcome);
    if (!unkept.isEmpty()) {
        outcome.State = FileFailed;
        FFacts.ErrorText.clear();
        outcome.Reason = unkept;
    } else if (outcome.Check.Delete && !failed) {
        FFacts.KeptSize = outcome.Check.Size;
    }
    if (outcome.State == FileFailed || outcome.Check.Delete) {
        if (outcome.Reason.isEmpty())
            outcome.Reason = FailureReason(FFacts);
        if (outcome.Reason.isEmpty())
            outcome.Reason = QString::fromLatin1(FFacts.ErrorText);
    }
    return outcome;
}

void TDownload::FinalStep()
{
    if (IdleTimer)
        IdleTimer->stop();
    if (ProgressTimer)
        ProgressTimer->stop();
    if (Http) {
        try {
            Http->Disconnect();
        } catch (...) {
        }
    }
    ProcessOwnEvents();
}

void TDownload::HttpPacketRecvd()
{
    // The idle count starts again from this packet. Re-arming a timer for every packet of a fast
    // stream costs more than the transfer's own work, so the packet only notes its time and the
    // timer, when it ticks, waits on for whatever is left.
    FLastPacket.start();
    FReceived = Http->BytesRecvd;
    FTotal = Http->BytesTotal;
    FProgressDue = true;
    const qint64 since = FLastProgress.isValid() ? FLastProgress.elapsed() : ProgressInterval;
    if (since >= ProgressInterval)
        SendProgress();
    else if (!ProgressTimer->isActive())
        ProgressTimer->start(int(ProgressInterval - since));
}

void TDownload::SendProgress()
{
    // A tick still armed for the previous frame would send again at once.
    if (ProgressTimer)
        ProgressTimer->stop();
    FProgressDue = false;
    FLastProgress.start();
    const std::lock_guard handOver(ReportHandOver());
    emit Progress(FReceived, FTotal);
}

void TDownload::IdleTimeout()
{
    const qint64 left = IdleInterval.load() - FLastPacket.elapsed();
    if (left > 0) {
        IdleTimer->start(int(left));
        return;
    }
    // Whole seconds, rounded up (tests shorten the time below one).
    FFacts.IdleSeconds = (IdleInterval.load() + 999) / 1000;
    Http->Cancel();
    Http->Disconnect();
}

void TDownload::StopPoll()
{
    if (!Stop.stop_requested())
        return;
    FFacts.Stopped = true;
    Http->Cancel();
    try {
        Http->Disconnect();
    } catch (...) {
    }
    IdleTimer->stop();
    StopTimer->stop();
}
