// Hostile pages for the modern scanner: nested markup at 0.25, 0.5, 1 and 2 MB (the growth per
// doubling must stay linear, within 2.2x), how soon Stop ends a long scan, and the peak memory
// of scanning a 20 MB page of links. The peer in the same run is Python's html.parser reading
// the same attributes (bench/modern_extract.py); for memory, a plain parse of the same page by
// the same HTML5 parser with its own allocator, in a child process of its own as well.
//
//   bench_hostile_pages [rounds=3]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <gumbo.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "bench/BenchSupport.h"
#include "rules/ModernLinks.h"

namespace {
const QByteArray Base = "http://www.host.example/gallery/";

QByteArray NestedPage(qsizetype bytes)
{
    const int depth = int((bytes - 40) / 11);  // "<div>" and "</div>"
    QByteArray page;
    page.reserve(bytes + 64);
    for (int i = 0; i < depth; ++i)
        page += "<div>";
    page += "<a href=deep.jpg>x</a>";
    for (int i = 0; i < depth; ++i)
        page += "</div>";
    return page;
}

double BestScanSeconds(const QByteArray& page, int rounds)
{
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        const QList<TModernLink> links = ModernLinks(page, Base);
        best = std::min(best, clock.nsecsElapsed() / 1e9);
        if (links.isEmpty())
            std::fprintf(stderr, "no link found\n");
    }
    return best;
}

// The peer's best wall time on the same page, -1 when Python is not there.
double PeerSeconds(const QByteArray& page, int rounds)
{
    QTemporaryFile file;
    if (!file.open())
        return -1;
    file.write(page);
    file.flush();
    QProcess peer;
    peer.start(QStringLiteral("python3"),
               {QStringLiteral(KELVORN_BENCH_DIR "/modern_extract.py"), file.fileName(), QString::fromLatin1(Base),
                QString::number(rounds)});
    if (!peer.waitForFinished(600000) || peer.exitCode() != 0)
        return -1;
    return peer.readAllStandardOutput().split(' ').value(0).toDouble();
}

// Peak resident memory (MB) of a child that runs `work` (which returns its exit status).
template <typename Work>
double ChildPeakMegabytes(Work work)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(work());
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss / 1024.0 : -1;
}

double ScanPeakMegabytes(const QByteArray& page)
{
    return ChildPeakMegabytes([&] { return ModernLinks(page, Base).isEmpty() ? 1 : 0; });
}

// The tree of the same page as the parser builds it with its default allocator, nothing read
// from it: what any scan on this parser starts from.
double PlainParsePeakMegabytes(const QByteArray& page)
{
    return ChildPeakMegabytes([&] {
        GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.constData(), size_t(page.size()));
        const int status = output->document->v.document.children.length > 0 ? 0 : 1;
        gumbo_destroy_output(&kGumboDefaultOptions, output);
        return status;
    });
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    std::printf("Nested <div> markup, modern scan (best of %d) beside the Python peer\n", rounds);
    double previous = 0;
    for (const double megabytes : {0.25, 0.5, 1.0, 2.0}) {
        const QByteArray page = NestedPage(qsizetype(megabytes * 1024 * 1024));
        const double ours = BestScanSeconds(page, rounds);
        const double peer = PeerSeconds(page, rounds);
        std::printf("  %.2f MB: %8.3f s   peer %8.3f s   ratio %6.2f", megabytes, ours, peer,
                    peer > 0 ? ours / peer : 0.0);
        if (previous > 0)
            std::printf("   growth %.2fx", ours / previous);
        std::printf("\n");
        previous = ours;
    }

    // Stop during a long scan: the time from setting the flag to the scan's return.
    {
        const QByteArray page = bench::MakePage(qsizetype(40) << 20, 400000, 7);
        std::atomic<bool> stop{false};
        TScanControl control;
        control.Stop = &stop;
        QElapsedTimer sinceStop;
        std::thread scan([&] { ModernLinks(page, Base, &control); });
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 300)
            std::this_thread::yield();
        sinceStop.start();
        stop = true;
        scan.join();
        std::printf("Stop during the scan of a 40 MB page: scan returned after %.1f ms\n",
                    sinceStop.nsecsElapsed() / 1e6);
    }

    // Memory: the scan of a 20 MB page of links in a child process of its own.
    {
        const QByteArray page = bench::MakePage(qsizetype(20) << 20, 200000, 11);
        const double ours = ScanPeakMegabytes(page);
        const double plain = PlainParsePeakMegabytes(page);
        std::printf("Peak memory of the modern scan of a 20 MB page: %.0f MB, a plain parse by the same parser %.0f MB"
                    " (ratio %.2f; the page itself: 20 MB)\n",
                    ours, plain, plain > 0 ? ours / plain : 0.0);
    }
    return 0;
}
