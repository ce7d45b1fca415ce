// Filling the help window's text view from a help file of many short formatting runs, at N and
// 4N runs (N = 10,000 by default), plus one file of about a megabyte. Each size is shown in a
// visible, laid-out view as the help window shows it. The peer is the same view given the same
// characters as plain text in one call, measured in the same run: a reader that stays in line
// with it grows linearly, and the growth column reads about 4 for four times the runs.
//
//   QT_QPA_PLATFORM=offscreen build/bench_help [runs-at-N]
#include <QApplication>
#include <QTextDocument>
#include <QTextEdit>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include "dialogs/RtfReader.h"

namespace {
// Runs of a few words, each in its own format, a paragraph every eight runs: the shape of a
// help file that marks up every other word.
QByteArray HelpFile(int runs)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Sans;}}\\pard\\fs20 ";
    static const char* const formats[] = {"\\b ", "\\i ", "\\ul ", "\\b\\i "};
    for (int i = 0; i < runs; ++i) {
        rtf += '{';
        rtf += formats[i % 4];
        rtf += "word" + QByteArray::number(i) + " and more}";
        rtf += " plain ";
        if (i % 8 == 7)
            rtf += "\\par\n";
    }
    rtf += '}';
    return rtf;
}

// Processor time of this process: on a busy machine the wall time alone says little.
double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct TTiming {
    double ReaderMs = 0;
    double PeerMs = 0;
    int Characters = 0;
};

TTiming Measure(QTextEdit& view, const QByteArray& rtf)
{
    TTiming timing;
    double start = CpuMs();
    TRtfReader::Fill(&view, rtf);
    QCoreApplication::processEvents();  // the view lays out and paints what it was given
    timing.ReaderMs = CpuMs() - start;
    const QString text = view.document()->toPlainText();
    timing.Characters = int(text.size());

    view.clear();
    QCoreApplication::processEvents();
    start = CpuMs();
    view.setPlainText(text);
    QCoreApplication::processEvents();
    timing.PeerMs = CpuMs() - start;
    view.clear();
    QCoreApplication::processEvents();
    return timing;
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10000;
    QTextEdit view;
    view.setReadOnly(true);
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();

    std::printf("processor time, ms\n%-10s %9s %11s %11s %11s %9s\n", "runs", "file KB", "characters", "reader",
                "plain text", "reader/plain");
    double first = 0;
    double firstPeer = 0;
    for (int scale : {1, 4}) {
        const QByteArray rtf = HelpFile(runs * scale);
        const TTiming t = Measure(view, rtf);
        std::printf("%-10d %9lld %11d %11.1f %11.1f %9.2f\n", runs * scale, static_cast<long long>(rtf.size() / 1024),
                    t.Characters, t.ReaderMs, t.PeerMs, t.ReaderMs / t.PeerMs);
        if (scale == 1) {
            first = t.ReaderMs;
            firstPeer = t.PeerMs;
        } else {
            std::printf("growth for 4x the runs: reader %.2f, plain text %.2f (linear: about 4)\n", t.ReaderMs / first,
                        t.PeerMs / firstPeer);
        }
    }
    // About a megabyte of help file.
    const int megabyteRuns = int(qint64(runs) * 1024 * 1024 / HelpFile(runs).size());
    const QByteArray big = HelpFile(megabyteRuns);
    const TTiming t = Measure(view, big);
    std::printf("%-10d %9lld %11d %11.1f %11.1f %9.2f\n", megabyteRuns, static_cast<long long>(big.size() / 1024),
                t.Characters, t.ReaderMs, t.PeerMs, t.ReaderMs / t.PeerMs);
    return 0;
}
