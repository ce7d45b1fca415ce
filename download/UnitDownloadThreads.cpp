#include "download/UnitDownloadThreads.h"

#include <QCoreApplication>
#include <QFile>
#include <QMultiHash>
#include <QTimer>
#include <limits>
#include <mutex>

#include "download/UiCall.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

namespace {
constexpr int StopPollInterval = 500;  // how soon a running engine notices Stop
std::atomic<int> IdleInterval{60000};
std::atomic<int> RunningEngines{0};

// Local paths handed to engines that have not finished: such a path is taken even while its
// file does not exist yet, so two items never share one file.
std::mutex PathsMutex;
QMultiHash<QString, int> PathsInUse;  // a multi-set, in case a caller hands one path twice

void ProcessOwnEvents() { QCoreApplication::processEvents(); }

uint64_t PackBar(int32_t maximum, int32_t progress)
{
    return (uint64_t(uint32_t(maximum)) << 32) | uint32_t(progress);
}
}  // namespace

TDownload::TDownload(const QByteArray& fileUrl, const QString& fileName, int itemIndex,
                     TCheckListView* fileList, TGauge* gauge, TLed* led)
    : FileUrl(fileUrl), FileName(fileName), ItemIndex(itemIndex), Gauge(gauge), Led(led),
      FileList(fileList), FLock(fileList ? &fileList->Tag : nullptr)
{
    ++RunningEngines;
    {
        std::lock_guard lock(PathsMutex);
        PathsInUse.insert(FileName, 0);
    }
    // The slot reads as busy from now on, so the scheduler never picks it twice.
    if (Led)
        Led->SetLedEnabled(true);
    connect(this, &QThread::finished, this, &QObject::deleteLater);
    start();
}

TDownload::~TDownload()
{
    wait();  // only reached after finished(): returns at once
}

int TDownload::Running() { return RunningEngines.load(); }

void TDownload::SetIdleIntervalForTests(int ms) { IdleInterval.store(ms); }

bool TDownload::PathInUse(const QString& path)
{
    std::lock_guard lock(PathsMutex);
    return PathsInUse.contains(path);
}

void TDownload::run()
{
    try {
        Execute();
    } catch (...) {
        // Nothing may leave a thread's run; Execute ends with the final step on every path.
    }
    --RunningEngines;
}

void TDownload::Execute()
{
    TFormMain* form = TFormMain::Instance();

    const QString hint = QStringLiteral("Downloading: ") + QString::fromLatin1(FileUrl);
    PostToUi([g = Gauge, hint] {
        if (g)
            g->SetHint(hint);
    });
    PostToUi([l = Led] {
        if (l)
            l->SetLedEnabled(true);
    });
    ProcessOwnEvents();

    // Whatever happens from here on, the run ends with the slot dark.
    struct Final {
        TDownload* engine;
        ~Final() { engine->FinalStep(); }
    } final{this};

    // Timers and client belong to this thread: their ticks and socket notifications arrive only
    // while this thread processes its events, and they are destroyed by the final step.
    IdleTimer = std::make_unique<QTimer>();
    IdleTimer->setSingleShot(true);
    connect(IdleTimer.get(), &QTimer::timeout, IdleTimer.get(), [this] { IdleTimeout(); });
    FLastPacket.start();
    IdleTimer->start(IdleInterval.load());

    StopTimer = std::make_unique<QTimer>();
    StopTimer->setInterval(StopPollInterval);
    connect(StopTimer.get(), &QTimer::timeout, StopTimer.get(), [this] { StopPoll(); });
    StopTimer->start();

    Http = std::make_unique<TNMHTTP>();
    Http->Host = "local";
    Http->Body = QFile::encodeName(FileName);
    Http->TimeOut = 60000;  // look-up and connect only; the transfer is bounded by the idle timer
    Http->InputFileMode = true;
    Http->OnPacketRecvd = [this](TPowersock*) { HttpPacketRecvd(); };
    Http->OnInvalidHost = [this](bool& handled) { HttpInvalidHost(handled); };
    Http->OnFailure = [this](CmdType cmd) { HttpFailure(cmd); };

    int outcome = FileFailed;
    try {
        Http->Disconnect();
        ProcessOwnEvents();
        Http->Get(FileUrl);
        outcome = FileDownloaded;
    } catch (...) {
        // Any failure, our own aborts included, only shows in the item's icon.
    }

    try {
        Record(form, outcome);
    } catch (...) {
    }
}

void TDownload::Record(TFormMain* form, int outcome)
{
    if (FLock) {
        // One compare-and-exchange reads the lock and takes it, so two engines never both hold it.
        int expected = 0;
        while (!FLock->compare_exchange_strong(expected, 1)) {
            expected = 0;
            QThread::msleep(10);
            ProcessOwnEvents();
        }
        struct Release {
            std::atomic<int>* lock;
            ~Release() { lock->store(0); }
        } release{FLock};
        ProcessOwnEvents();
        WaitOnUi([list = FileList, index = ItemIndex, outcome] {
            if (list && index >= 0 && index < list->Count()) {
                list->SetImageIndex(index, outcome);
                list->SetStateImage(index, NoBoxStateImage);
            }
        });
        ProcessOwnEvents();
    }
    ProcessOwnEvents();

    if (!form)
        return;
    form->CheckFile(ItemIndex);
    // Whatever became of the item, a failed download leaves no file under its final name.
    if (outcome == FileFailed && QFile::exists(FileName))
        QFile::remove(FileName);

    WaitOnUi([form, index = ItemIndex] {
        if (form->Letpreviewjumptolatestfiledownloaded1
            && form->Letpreviewjumptolatestfiledownloaded1->isChecked()) {
            form->CurrentFileIndex = index;
            form->ListViewFileClick();
        }
    });
}

void TDownload::FinalStep()
{
    if (IdleTimer)
        IdleTimer->stop();
    if (Http) {
        try {
            Http->Disconnect();
        } catch (...) {
        }
    }
    {
        std::lock_guard lock(PathsMutex);
        auto it = PathsInUse.find(FileName);
        if (it != PathsInUse.end())
            PathsInUse.erase(it);
    }
    // One change, so that the window never sees the slot dark with its bar still standing.
    PostToUi([l = Led, g = Gauge] {
        if (l)
            l->SetLedEnabled(false);
        if (g) {
            g->SetProgress(0);
            g->SetHint(QStringLiteral("Not active"));
        }
    });
    try {
        ProcessOwnEvents();
    } catch (...) {
    }
    // Released here, on the thread that created them.
    Http.reset();
    StopTimer.reset();
    IdleTimer.reset();
}

void TDownload::HttpPacketRecvd()
{
    try {
        // The idle count starts again from this packet. Re-arming a timer for every packet of a
        // fast stream costs more than the transfer's own work, so the packet only notes its time
        // and the timer, when it ticks, waits on for whatever is left.
        FLastPacket.start();
        const int32_t total = Http->BytesTotal;
        const int32_t received = Http->BytesRecvd;
        // Without an announced length the bar stands at half way; twice a large count is capped
        // so that it cannot overflow.
        const int32_t maximum = total != 0
            ? total
            : int32_t(qMin<int64_t>(int64_t(received) * 2, std::numeric_limits<int32_t>::max()));
        FGauge->State.store(PackBar(maximum, received));
        if (!FGauge->Posted.exchange(true)) {
            PostToUi([share = FGauge, g = Gauge] {
                share->Posted.store(false);
                const uint64_t state = share->State.load();
                if (g) {
                    g->SetMaxValue(int32_t(uint32_t(state >> 32)));
                    g->SetProgress(int32_t(uint32_t(state)));
                }
            });
        }
    } catch (...) {
    }
}

void TDownload::IdleTimeout()
{
    try {
        const qint64 left = IdleInterval.load() - FLastPacket.elapsed();
        if (left > 0) {
            IdleTimer->start(int(left));
            return;
        }
        Http->Cancel();
        Http->Disconnect();
    } catch (...) {
    }
}

void TDownload::StopPoll()
{
    try {
        TFormMain* form = TFormMain::Instance();
        if (!form || !form->StopRequested.load())
            return;
        Http->Cancel();
        try {
            Http->Disconnect();
        } catch (...) {
        }
        IdleTimer->stop();
        StopTimer->stop();
    } catch (...) {
    }
}

void TDownload::HttpInvalidHost(bool&) { throw ESilentAbort(); }

void TDownload::HttpFailure(CmdType) { throw ESilentAbort(); }
