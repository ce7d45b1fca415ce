// Link scanner benchmark: the text rules' throughput beside grep on the same page, and the whole
// ParseDocument into the two lists at one and two times the page size. Then the modern scanner
// (the option "Find links as a browser does (modern pages)") on the same page beside a Python
// html.parser extractor of the same attributes, its growth at twice the size, and ParseDocument
// with the option on beside the classic one.
//
//   bench_scanner [megabytes=5] [markers=50000]
//
// The page is generated (same bytes on every run): HTML filler with link and picture markers
// that are relative, absolute, "..", leading "/", redirects, duplicates, mixed case and noise.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <sys/resource.h>

#include "bench/BenchSupport.h"
#include "rules/LinkRules.h"
#include "rules/ModernLinks.h"
#include "main/TParseList.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"

using namespace bench;

namespace {
const QByteArray Base = "http://www.host.example/gallery/2026/";

struct TScanCount {
    int documents = 0;
    int files = 0;
    int markers = 0;
};

// The text rules alone, as ParseDocument applies them, without the lists.
TScanCount ScanRules(const QByteArray& page)
{
    TScanCount count;
    TMarkerWalk walk(page);
    TMarker marker;
    TLinkBuffer buffer;
    while (walk.Next(marker)) {
        ++count.markers;
        switch (ClassifyLink(MarkerLink(page, marker, Base, true, buffer))) {
        case TLinkClass::Document: ++count.documents; break;
        case TLinkClass::File: ++count.files; break;
        case TLinkClass::None: break;
        }
    }
    return count;
}

void TimeScan(const QByteArray& page, TBest& best, TScanCount& count)
{
    QElapsedTimer clock;
    const double cpu = CpuSecondsOfThread();
    clock.start();
    count = ScanRules(page);
    best.Note(clock.nsecsElapsed() / 1e9, CpuSecondsOfThread() - cpu);
}

// grep's processor time is what the finished child used, read from the children's totals.
void TimeGrep(const QString& path, TBest& best, int& matches)
{
    QProcess grep;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    grep.setProcessEnvironment(env);
    const double cpu = CpuSecondsOfChildren();
    QElapsedTimer clock;
    clock.start();
    grep.start(QStringLiteral("grep"),
               {QStringLiteral("-oiE"), QStringLiteral("href=\"[^\"]*\"|imgsrc=\"[^\"]*\""), path});
    grep.waitForFinished(-1);
    const QByteArray output = grep.readAllStandardOutput();
    const double wall = clock.nsecsElapsed() / 1e9;
    matches = int(output.count('\n'));
    best.Note(wall, CpuSecondsOfChildren() - cpu);
}

// The modern scan into its two lists (documents, files).
void TimeModern(const QByteArray& page, TBest& best, TScanCount& count)
{
    QElapsedTimer clock;
    const double cpu = CpuSecondsOfThread();
    clock.start();
    const QList<TModernLink> links = ModernLinks(page, Base);
    QByteArrayList documents, files;
    for (const TModernLink& link : links)
        (link.file ? files : documents).append(link.address);
    best.Note(clock.nsecsElapsed() / 1e9, CpuSecondsOfThread() - cpu);
    count = TScanCount{int(documents.size()), int(files.size()), int(links.size())};
}

// The Python peer times its own rounds after reading the page, so start-up is not counted.
void TimePython(const QString& path, int rounds, TBest& best, TScanCount& count)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral(KELVORN_SOURCE_DIR "/bench/modern_extract.py"), path, QString::fromLatin1(Base),
                  QString::number(rounds)});
    python.waitForFinished(-1);
    const QList<QByteArray> words = python.readAllStandardOutput().simplified().split(' ');
    if (words.size() != 4) {
        std::fprintf(stderr, "the Python extractor failed: %s\n", python.readAllStandardError().constData());
        std::exit(1);
    }
    best.Note(words[0].toDouble(), words[1].toDouble());
    count = TScanCount{words[2].toInt(), words[3].toInt(), words[2].toInt() + words[3].toInt()};
}

// Wall and processor time of one ParseDocument into emptied lists.
TBest TimeParse(TFormMain& form, const QByteArray& page)
{
    form.ListViewDoc->Clear();
    form.ListViewFile->Clear();
    form.ListBoxParse1->Clear();
    QCoreApplication::processEvents();
    TBest time;
    const double cpu = CpuSecondsOfThread();
    QElapsedTimer clock;
    clock.start();
    form.ParseDocument(Base, page, 2, Base);
    time.Note(clock.nsecsElapsed() / 1e9, CpuSecondsOfThread() - cpu);
    std::printf("  ParseDocument%s %5.1f MB: %6.3f s wall, %6.3f s processor  (%d document items, %d file items)\n",
                form.Findlinksasabrowserdoesmodernpages1->isChecked() ? " (modern)" : "", page.size() / 1e6, time.wall,
                time.cpu, form.ListViewDoc->Count(), form.ListViewFile->Count());
    return time;
}
}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Never read or write the user's settings: the window's store goes into a scratch folder.
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", (scratch.path() + QStringLiteral("/config")).toLocal8Bit());
    QApplication app(argc, argv);
    const double megabytes = argc > 1 ? QByteArray(argv[1]).toDouble() : 5.0;
    const int markers = argc > 2 ? QByteArray(argv[2]).toInt() : 50000;
    const auto bytes = qsizetype(megabytes * 1e6);

    const QByteArray page = MakePage(bytes, markers, 1);
    std::printf("page: %.1f MB, %d markers\n", page.size() / 1e6, markers);
    QTemporaryFile file;
    if (!file.open() || file.write(page) != page.size() || !file.flush()) {
        std::fprintf(stderr, "cannot write the page to a temporary file\n");
        return 1;
    }

    // Scan and grep take turns, so that both meet the same load on a shared machine.
    TBest scan, grep;
    TScanCount count;
    int grepMatches = 0;
    for (int round = 0; round < 7; ++round) {
        for (int i = 0; i < 4; ++i)
            TimeScan(page, scan, count);
        TimeGrep(file.fileName(), grep, grepMatches);
    }
    const double mb = page.size() / 1e6;
    std::printf("text rules: %7.1f MB/s wall, %7.1f MB/s processor  (%d markers: %d documents, %d files)\n",
                mb / scan.wall, mb / scan.cpu, count.markers, count.documents, count.files);
    std::printf("grep -oiE : %7.1f MB/s wall, %7.1f MB/s processor  (%d matches)\n", mb / grep.wall, mb / grep.cpu,
                grepMatches);
    std::printf("ratio text rules / grep: %.2f wall, %.2f processor  (target >= 4)\n", grep.wall / scan.wall,
                grep.cpu / scan.cpu);

    TFormMain form;
    form.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    form.show();
    QCoreApplication::processEvents();
    // As during Get document or Parse links: unsorted document list, both kinds of link taken.
    form.ListViewDoc->SetSorted(false);
    form.Addembeddedimageswhenparsing1->setChecked(true);
    form.Addnewlinksfoundwhenparsingtoexistinglist1->setChecked(true);
    form.Autoselectfirstfilefromeachlink1->setChecked(false);
    TimeParse(form, MakePage(bytes / 10, markers / 10, 3));  // warm-up: fonts, first layout
    const QByteArray doubled = MakePage(2 * bytes, 2 * markers, 2);
    TBest once, twice;
    for (int round = 0; round < 3; ++round) {
        const TBest one = TimeParse(form, page), two = TimeParse(form, doubled);
        once.Note(one.wall, one.cpu);
        twice.Note(two.wall, two.cpu);
    }
    std::printf("ParseDocument: %.3f s wall (target < 2 s); twice the size / once: %.2f wall, %.2f processor"
                " (target <= 2.3)\n",
                once.wall, twice.wall / once.wall, twice.cpu / once.cpu);

    // The modern scanner and its Python peer take turns as well.
    TBest modern, python;
    TScanCount modernCount, pythonCount;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 2; ++i)
            TimeModern(page, modern, modernCount);
        TimePython(file.fileName(), 2, python, pythonCount);
    }
    std::printf("modern scan: %6.3f s wall, %6.3f s processor  (%d documents, %d files)\n", modern.wall, modern.cpu,
                modernCount.documents, modernCount.files);
    std::printf("Python html.parser extractor: %6.3f s wall, %6.3f s processor  (%d documents, %d files)\n",
                python.wall, python.cpu, pythonCount.documents, pythonCount.files);
    std::printf("ratio Python / modern scan: %.2f wall, %.2f processor  (target >= 5)\n", python.wall / modern.wall,
                python.cpu / modern.cpu);
    // Once and twice the size take turns, with as many rounds each.
    TBest modernOnce, modernTwice;
    TScanCount ignored;
    for (int round = 0; round < 4; ++round) {
        TimeModern(page, modernOnce, ignored);
        TimeModern(doubled, modernTwice, ignored);
    }
    std::printf("modern scan twice the size / once: %.2f wall, %.2f processor  (target <= 2.2)\n",
                modernTwice.wall / modernOnce.wall, modernTwice.cpu / modernOnce.cpu);
    std::printf("modern scan / classic text rules: %.2f wall, %.2f processor\n", modern.wall / scan.wall,
                modern.cpu / scan.cpu);

    form.Findlinksasabrowserdoesmodernpages1->setChecked(true);
    TBest modernParse;
    for (int round = 0; round < 3; ++round) {
        const TBest one = TimeParse(form, page);
        modernParse.Note(one.wall, one.cpu);
    }
    std::printf("ParseDocument modern / classic: %.2f wall, %.2f processor\n", modernParse.wall / once.wall,
                modernParse.cpu / once.cpu);
    std::fflush(stdout);
    std::_Exit(0);  // skip tearing down the list items
}
