// Fetches a list of addresses with the modern engine and prints what it cost:
//   bench_transfer LIST DIR [AT_ONCE [HOST_CONNECTIONS]]
// LIST holds one address per line; each file goes into DIR under its last path segment. At most
// AT_ONCE jobs run (default 8), at most HOST_CONNECTIONS connections to one host (default
// AT_ONCE). A try that fails and may be tried again starts again at once from what it kept (the
// bench measures bytes, not politeness).
// Output: one line "files=N failed=F bytes=B moved=M tries=T seconds=S cpu=C maxrss_mb=R".
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <map>
#include <sys/resource.h>

#include "bench/BenchSupport.h"
#include "download/TCurlEngine.h"
#include "rules/TransferRules.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIST DIR [AT_ONCE [HOST_CONNECTIONS]]\n", argv[0]);
        return 2;
    }
    QList<QByteArray> addresses;
    if (!bench::ReadAddressList(argv[1], &addresses)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[2]);
    const int atOnce = argc > 3 ? std::max(1, std::atoi(argv[3])) : 8;
    const int perHost = argc > 4 ? std::max(1, std::atoi(argv[4])) : atOnce;
    std::deque<TTransferJob> waiting;
    uint64_t id = 0;
    for (const QByteArray& url : addresses) {
        TTransferJob job;
        job.ItemId = ++id;
        job.Address = url;
        job.Path = bench::SavedPath(dir, url);
        waiting.push_back(job);
    }
    const int files = int(waiting.size());
    std::map<uint64_t, TTransferJob> jobs;
    for (const TTransferJob& job : waiting)
        jobs[job.ItemId] = job;

    const double cpuBefore = bench::CpuSecondsOfProcess();
    QElapsedTimer clock;
    clock.start();
    TCurlEngine engine(perHost);
    int running = 0;
    int done = 0;
    int failed = 0;
    int tries = 0;
    qint64 bytes = 0;
    qint64 moved = 0;
    std::vector<int> freeSlots;
    for (int s = atOnce - 1; s >= 0; --s)
        freeSlots.push_back(s);
    const auto startMore = [&] {
        while (running < atOnce && !waiting.empty()) {
            TTransferJob job = waiting.front();
            waiting.pop_front();
            job.Slot = freeSlots.back();
            freeSlots.pop_back();
            ++running;
            ++tries;
            engine.Start(job);
        }
    };
    std::map<uint64_t, int> triesOf;
    QObject::connect(&engine, &TTransferEngine::Finished, &app, [&](const TDownloadOutcome& o) {
        --running;
        freeSlots.push_back(o.Slot);
        moved += o.BytesMoved;
        if (o.State != FileDownloaded && o.Retryable && ++triesOf[o.ItemId] < MaxTries) {
            TTransferJob again = jobs[o.ItemId];
            again.ResumeFrom = o.PartBytes;
            again.Validator = o.Validator;
            waiting.push_front(again);
        } else {
            ++done;
            if (o.State == FileDownloaded)
                bytes += o.Check.Size;
            else
                ++failed;
        }
        if (done == files)
            app.quit();
        else
            startMore();
    });
    QTimer::singleShot(0, &app, startMore);
    app.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("files=%d failed=%d bytes=%lld moved=%lld tries=%d seconds=%.3f cpu=%.3f maxrss_mb=%.1f\n", files,
                failed, static_cast<long long>(bytes), static_cast<long long>(moved), tries, seconds,
                bench::CpuSecondsOfProcess() - cpuBefore, double(after.ru_maxrss) / 1024.0);
    return failed == 0 ? 0 : 1;
}
