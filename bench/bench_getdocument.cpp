// Get document as the user meets it: the real window offscreen, an address typed into the
// document field and "Get document" pressed, against a local HTTP/1.0 server, timed from the
// press to the idle window. Beside it, in the same run and on the same address, two peers that
// fetch the page and list its links: curl | grep | sort -u, and curl with Python's html.parser.
//
//   bench_getdocument [rounds=3] [cases=page5,distinct25k,page10]
//
// Beside each case, ParseDocument in mode 2 (the scan Parse links runs) over the same page.
// Cases: page5 is the 5 MB page with 50,000 markers (the scanner benchmark's page), page10 the
// same kind of page at twice the size, distinct25k a page of 25,000 distinct document links
// (distinctNk: N thousand), modernN a page like page5 of N MB fetched with "modern pages" on. Run
// alone, a case's peak memory is the process's, printed at the end beside the peers' largest.
// While the command runs, a second thread posts a timestamped event to the window's thread every
// 2 ms; how long each waited for delivery while the page was scanned and listed is the event-loop
// latency the user would feel (reported as p50, p90 and maximum). Meanwhile a third thread reads
// the process's resident memory every millisecond and keeps the largest per stage of the command
// (the fetch, the scan before the first item is listed, the fill, the idle window after it), so
// a case run alone says where its peak comes from.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "bench/BenchSupport.h"
#include "main/TParseList.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

using namespace bench;

namespace {
qint64 SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

double Percentile(QList<double> values, double share)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(share * values.size())));
}

// The process's resident memory, read from /proc: the peak of a stage, not of the whole run.
long ResidentKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

enum TStage { StageBefore, StageFetch, StageScan, StageFill, StageAfter, StageCount };
const char* const StageNames[StageCount] = {"before", "fetch", "scan", "fill", "after"};

class TMemorySampler {
public:
    std::atomic<int> stage{StageBefore};
    std::array<std::atomic<long>, StageCount> peakKb{};

    void Start()
    {
        for (auto& peak : peakKb)
            peak = 0;
        stage = StageBefore;
        Sample();
        FRunning = true;
        FThread = std::thread([this] {
            while (FRunning.load()) {
                Sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void Stop()
    {
        Sample();
        FRunning = false;
        FThread.join();
    }
    long PeakKb(int from, int to) const
    {
        long most = 0;
        for (int s = from; s <= to; ++s)
            most = std::max(most, peakKb[size_t(s)].load());
        return most;
    }

private:
    void Sample()
    {
        std::atomic<long>& peak = peakKb[size_t(stage.load())];
        peak = std::max(peak.load(), ResidentKb());
    }
    std::atomic<bool> FRunning{false};
    std::thread FThread;
};

// Receives the probes on the window's thread; counts only those delivered while the page is
// scanned and listed (from the status "Status: Parsing ..." on), which is the part this
// benchmark is about; the fetch before it waits in the client and is measured elsewhere.
class TLatencyProbe : public QObject {
public:
    static constexpr QEvent::Type ProbeType = QEvent::Type(QEvent::User + 417);
    struct TProbe : QEvent {
        explicit TProbe(qint64 at) : QEvent(ProbeType), postedNs(at) {}
        qint64 postedNs;
    };

    explicit TLatencyProbe(TFormMain& form) : FForm(form) {}
    QList<double> samplesMs;
    TMemorySampler memory;
    bool recording = false;

    void Start()
    {
        samplesMs.clear();
        FScanning = false;
        recording = true;
        memory.Start();
        memory.stage = StageFetch;
        FRunning = true;
        FThread = std::thread([this] {
            while (FRunning.load()) {
                QCoreApplication::postEvent(this, new TProbe(SteadyNs()));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    void Stop()
    {
        FRunning = false;
        FThread.join();
        QCoreApplication::processEvents();  // probes still queued are delivered, not counted
        recording = false;
        memory.Stop();
    }

    bool event(QEvent* e) override
    {
        if (e->type() != ProbeType)
            return QObject::event(e);
        if (!recording)
            return true;
        if (!FScanning && FForm.StatusText().startsWith(QLatin1String("Status: Parsing"))) {
            FScanning = true;
            memory.stage = StageScan;
        }
        if (FScanning && memory.stage == StageScan && FForm.ListViewFile->Count() + FForm.ListBoxParse1->Count() > 0)
            memory.stage = StageFill;
        if (FScanning)
            samplesMs.append((SteadyNs() - static_cast<TProbe*>(e)->postedNs) / 1e6);
        return true;
    }

private:
    TFormMain& FForm;
    std::atomic<bool> FRunning{false};
    std::thread FThread;
    bool FScanning = false;
};

struct TRun {
    double wall = 0;
    double cpu = 0;
};

// One shell pipeline; its processor time is what its finished processes used.
TRun RunPipeline(const QString& script, QByteArray* output = nullptr)
{
    QProcess shell;
    const double cpu = CpuSecondsOfChildren();
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
    shell.waitForFinished(-1);
    TRun run{clock.nsecsElapsed() / 1e9, CpuSecondsOfChildren() - cpu};
    const QByteArray out = shell.readAllStandardOutput();
    if (output)
        *output = out;
    if (shell.exitCode() != 0)
        std::fprintf(stderr, "peer failed: %s\n", qPrintable(script));
    return run;
}

struct TGetDocument {
    TRun run;
    int documents = 0;
    int files = 0;
    double p50 = 0;
    double p90 = 0;
    double worst = 0;
    std::array<long, StageCount> peakKb{};
};

TGetDocument RunGetDocument(TFormMain& form, TLatencyProbe& probe, const QByteArray& url)
{
    // Every round starts from empty lists, as the first Get document of a session does.
    form.ListViewDoc->Clear();
    form.ListViewFile->Clear();
    form.ListBoxParse1->Clear();
    QCoreApplication::processEvents();
    form.ComboBoxBookmark->SetText(QString::fromLatin1(url));
    QCoreApplication::processEvents();

    TGetDocument result;
    probe.Start();
    const double cpu = CpuSecondsOfProcess();
    QElapsedTimer clock;
    clock.start();
    form.ButtonStart->click();  // runs the whole command, processing events inside
    probe.memory.stage = StageAfter;
    QCoreApplication::processEvents();  // the idle window's first layout and paint
    result.run = {clock.nsecsElapsed() / 1e9, CpuSecondsOfProcess() - cpu};
    probe.Stop();
    for (int s = 0; s < StageCount; ++s)
        result.peakKb[size_t(s)] = probe.memory.peakKb[size_t(s)];
    result.documents = form.ListViewDoc->Count();
    result.files = form.ListViewFile->Count();
    result.p50 = Percentile(probe.samplesMs, 0.5);
    result.p90 = Percentile(probe.samplesMs, 0.9);
    result.worst = Percentile(probe.samplesMs, 1.0);
    return result;
}

// The scan alone in mode 2 (as Parse links runs it on a linked page) over the same page, with
// its document and file items, for comparison with the Get document path (mode 1 and the fill).
TRun RunParseLinked(TFormMain& form, const QByteArray& base, const QByteArray& page)
{
    form.ListViewDoc->Clear();
    form.ListViewFile->Clear();
    form.ListBoxParse1->Clear();
    form.ListViewDoc->SetSorted(false);
    QCoreApplication::processEvents();
    const double cpu = CpuSecondsOfProcess();
    QElapsedTimer clock;
    clock.start();
    form.ParseDocument(base, page, 2);
    QCoreApplication::processEvents();
    const TRun run{clock.nsecsElapsed() / 1e9, CpuSecondsOfProcess() - cpu};
    form.ListViewDoc->SetSorted(true);
    return run;
}

struct TCase {
    QByteArray name;
    QByteArray page;      // until it is written to the server's folder: the process holds no copy then
    bool modern = false;  // fetched and scanned with "modern pages" on
    QString file = {};
    qsizetype bytes = 0;
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

long Megabytes(long kilobytes) { return kilobytes / 1024; }

struct TCaseResult {
    QList<double> ours, oursCpu, grep, grepCpu, python, pythonCpu, p50, p90, worst, linked, linkedCpu;
    long peakKb = 0;  // Get document's, over all rounds
    int documents = 0, files = 0, grepLinks = 0;
};
}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Never read or write the user's settings or lists: the window's stores go into a scratch folder.
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", (scratch.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (scratch.path() + QStringLiteral("/data")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    const QByteArrayList wanted = (argc > 2 ? QByteArray(argv[2]) : QByteArray("page5,distinct25k,page10")).split(',');

    QList<TCase> cases;
    for (const QByteArray& name : wanted) {
        if (name == "page5")
            cases.append({"page5", MakePage(5'000'000, 50'000, 1)});
        else if (name == "page10")
            cases.append({"page10", MakePage(10'000'000, 100'000, 2)});
        else if (name.startsWith("distinct") && name.endsWith("k") && name.mid(8).chopped(1).toInt() > 0)
            cases.append({name, MakeDistinctDocumentsPage(name.mid(8).chopped(1).toInt() * 1000)});
        else if (const int megabytes = name.mid(6).toInt(); name.startsWith("modern") && megabytes > 0)
            cases.append({name, MakePage(qsizetype(megabytes) * 1'000'000, megabytes * 10'000, 3), true});
        else
            std::fprintf(stderr, "unknown case %s\n", name.constData());
    }
    const QString root = scratch.path() + QStringLiteral("/www");
    QDir().mkpath(root);
    for (TCase& c : cases) {
        c.file = root + QLatin1Char('/') + QString::fromLatin1(c.name) + QLatin1String(".html");
        QFile file(c.file);
        if (!file.open(QIODevice::WriteOnly) || file.write(c.page) != c.page.size())
            return 1;
        c.bytes = c.page.size();
        c.page = QByteArray();
    }

    // The download benchmarks' server: HTTP/1.0, one request per connection, files by sendfile.
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(QStringLiteral("python3"),
                 {QStringLiteral(KELVORN_BENCH_DIR "/throttled_server.py"), QStringLiteral("--dir"), root});
    if (!server.waitForStarted(10000) || !server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const QByteArray port = server.readLine().trimmed();
    const QString extractor = QStringLiteral(KELVORN_BENCH_DIR "/extract_links.py");

    TFormMain form;
    form.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    form.BeepHook = [] {};
    form.Addnewfilestoexcistinglistwhenparsing1->setChecked(false);
    form.Includelinksonelevelupwhenparsingmaindocument1->setChecked(false);
    form.Addembeddedimageswhenparsing1->setChecked(true);
    form.Addnewlinksfoundwhenparsingtoexistinglist1->setChecked(true);
    form.Autoselectfirstfilefromeachlink1->setChecked(false);
    form.Letpreviewjumptolatestfiledownloaded1->setChecked(false);
    form.Beepwhendoneworking1->setChecked(false);
    form.show();
    QCoreApplication::processEvents();
    TLatencyProbe probe(form);

    std::printf("Get document, %d round(s) per case, medians (peers: same address, same run)\n", rounds);
    QList<TCaseResult> results;
    for (const TCase& c : cases) {
        const QByteArray url = "http://127.0.0.1:" + port + "/" + c.name + ".html";
        const QString grep = QStringLiteral("curl -s %1 | LC_ALL=C grep -oiE 'href *= *\"[^\"]*\"|src *= *\"[^\"]*\"'"
                                            " | LC_ALL=C sort -u")
                                 .arg(QString::fromLatin1(url));
        const QString python = QStringLiteral("curl -s %1 | python3 %2").arg(QString::fromLatin1(url), extractor);
        TCaseResult r;
        for (int round = 0; round < rounds; ++round) {
            QByteArray links;
            const TRun g = RunPipeline(grep, &links);
            r.grepLinks = int(links.count('\n'));
            const TRun p = RunPipeline(python);
            form.Findlinksasabrowserdoesmodernpages1->setChecked(c.modern);
            const TGetDocument ours = RunGetDocument(form, probe, url);
            r.grep << g.wall;
            r.grepCpu << g.cpu;
            r.python << p.wall;
            r.pythonCpu << p.cpu;
            r.ours << ours.run.wall;
            r.oursCpu << ours.run.cpu;
            r.p50 << ours.p50;
            r.p90 << ours.p90;
            r.peakKb = std::max(r.peakKb, *std::max_element(ours.peakKb.begin() + StageFetch, ours.peakKb.end()));
            r.worst << ours.worst;
            r.documents = ours.documents;
            r.files = ours.files;
            const TRun linked = RunParseLinked(form, "http://127.0.0.1:" + port + "/", ReadAll(c.file));
            r.linked << linked.wall;
            r.linkedCpu << linked.cpu;
            std::printf("  %-11s round %d: %7.3f s wall, %7.3f s processor, latency p50 %5.1f ms, p90 %6.1f ms,"
                        " max %6.1f ms  (%d documents, %d files)\n",
                        c.name.constData(), round + 1, ours.run.wall, ours.run.cpu, ours.p50, ours.p90, ours.worst,
                        ours.documents, ours.files);
            std::printf("  %-11s          peak resident memory by stage:", c.name.constData());
            for (int s = 0; s < StageCount; ++s)
                std::printf(" %s %ld MB%s", StageNames[s], Megabytes(ours.peakKb[size_t(s)]),
                            s + 1 < StageCount ? "," : "\n");
        }
        std::printf("%-11s %5.1f MB: Get document %7.3f s (%6.3f s processor) | curl|grep|sort -u %6.3f s (%6.3f)"
                    " | curl+html.parser %6.3f s (%6.3f) | ratio to grep %5.2f, to html.parser %5.2f"
                    " | latency p50 %4.1f ms, p90 %5.1f ms, max %5.1f ms\n",
                    c.name.constData(), c.bytes / 1e6, Median(r.ours), Median(r.oursCpu), Median(r.grep),
                    Median(r.grepCpu), Median(r.python), Median(r.pythonCpu), Median(r.ours) / Median(r.grep),
                    Median(r.ours) / Median(r.python), Median(r.p50), Median(r.p90), Median(r.worst));
        std::printf("%-11s           ParseDocument mode 2 alone (Parse links' scan): %7.3f s (%6.3f s processor)\n",
                    c.name.constData(), Median(r.linked), Median(r.linkedCpu));
        results.append(r);
    }

    std::printf("\ntargets:\n");
    for (int i = 0; i < cases.size(); ++i) {
        const TCaseResult& r = results.at(i);
        const QByteArray name = cases.at(i).name;
        if (name == "page5")
            std::printf("  page5: Get document / curl|grep|sort -u = %.2f (target <= 5)\n",
                        Median(r.ours) / Median(r.grep));
        if (name == "distinct25k")
            std::printf("  distinct25k: Get document %.3f s (target < 1 s), %d documents listed\n", Median(r.ours),
                        r.documents);
        std::printf("  %s: event-loop latency during the scan and fill p90 %.1f ms (target < 20 ms)\n",
                    name.constData(), Median(r.p90));
        if (cases.at(i).modern && cases.at(i).bytes >= 20'000'000)
            std::printf("  %s: whole-process peak of Get document %ld MB (target < 300 MB)\n", name.constData(),
                        Megabytes(r.peakKb));
    }
    const auto at = [&](const char* name) -> const TCaseResult* {
        for (int i = 0; i < cases.size(); ++i)
            if (cases.at(i).name == name)
                return &results.at(i);
        return nullptr;
    };
    if (const TCaseResult* five = at("page5"), *ten = at("page10"); five && ten)
        std::printf("  growth 10 MB / 5 MB: %.2f wall, %.2f processor (target <= 2.2)\n",
                    Median(ten->ours) / Median(five->ours), Median(ten->oursCpu) / Median(five->oursCpu));

    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("  peak memory: this process %ld MB (Parse links' scan included), the largest peer process %ld MB\n",
                self.ru_maxrss / 1024, children.ru_maxrss / 1024);

    server.kill();
    server.waitForFinished(5000);
    std::fflush(stdout);
    std::_Exit(0);  // skip tearing down the list items
}
