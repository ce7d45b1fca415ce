// Saving and loading the two lists at N and 2N items (N = 100,000 file items and 20,000 document
// items by default), shown in an off-screen window as the program shows them. The peer is
// `cp` copying the very files written, measured in the same run: the floor any save could reach.
//
//   QT_QPA_PLATFORM=offscreen build/bench_listfiles [files-at-N] [documents-at-N]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

#include "main/UnitMain.h"
#include "platform/ProgramDir.h"
#include "widgets/TCheckListView.h"

namespace {
void Fill(TFormMain& form, int files, int documents)
{
    form.ListViewDoc->Clear();
    form.ListViewFile->Clear();
    const bool sorted = form.ListViewDoc->Sorted();
    form.ListViewDoc->SetSorted(false);
    for (int i = 0; i < documents; ++i) {
        const int row = form.ListViewDoc->Add("http://www.host" + QByteArray::number(i % 97) + ".example/dir/page"
                                              + QByteArray::number(i) + ".html");
        form.ListViewDoc->SetChecked(row, i % 3 == 0);
        if (i % 5 == 0) {
            form.ListViewDoc->SetImageIndex(row, 2);
            form.ListViewDoc->SetStateImage(row, NoBoxStateImage);
        }
    }
    form.ListViewDoc->SetSorted(sorted);
    for (int i = 0; i < files; ++i) {
        const QByteArray name = "picture" + QByteArray::number(i) + ".jpg";
        const int row =
            form.ListViewFile->Add("http://www.host" + QByteArray::number(i % 97) + ".example/pics/" + name);
        form.ListViewFile->SetSubItem(row, 1, name);
        form.ListViewFile->SetChecked(row, i % 2 == 0);
        if (i % 4 == 0) {
            form.ListViewFile->SetImageIndex(row, 2);
            form.ListViewFile->SetStateImage(row, NoBoxStateImage);
            form.ListViewFile->SetSubItem(row, 2, QByteArray::number(100000 + i));
        }
    }
}

// Processor time of this process: on a busy machine the wall time alone says little.
double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double CopyMs(const QString& from, const QString& to)
{
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("cp"), {from, to});
    return double(timer.nsecsElapsed()) / 1e6;
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 100000;
    const int documents = argc > 2 ? atoi(argv[2]) : 20000;
    QTemporaryDir dir;
    SetProgramDirForTesting(dir.path());
    // The user's settings are neither read nor written.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    TFormMain form;
    form.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    form.show();
    std::printf("%-6s %9s %9s %10s %10s %10s %9s %9s\n", "scale", "files", "docs", "save ms", "load ms", "cp ms",
                "save/cp", "load/cp");
    double firstSave = 0, firstLoad = 0;
    for (int scale = 1; scale <= 2; ++scale) {
        Fill(form, files * scale, documents * scale);
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        double cpu = CpuMs();
        form.SaveListToDisk();
        const double saveMs = double(timer.nsecsElapsed()) / 1e6;
        const double saveCpu = CpuMs() - cpu;
        form.ListViewDoc->Clear();
        form.ListViewFile->Clear();
        QCoreApplication::processEvents();
        timer.restart();
        cpu = CpuMs();
        form.LoadListFromDisk();
        const double loadMs = double(timer.nsecsElapsed()) / 1e6;
        const double loadCpu = CpuMs() - cpu;
        if (form.ListViewFile->Count() != files * scale || form.ListViewDoc->Count() != documents * scale) {
            std::fprintf(stderr, "load gave %d files and %d documents\n", form.ListViewFile->Count(),
                         form.ListViewDoc->Count());
            return 1;
        }
        const double copyMs = CopyMs(dir.filePath("Kelvorn.fil"), dir.filePath("copy.fil"))
            + CopyMs(dir.filePath("Kelvorn.dir"), dir.filePath("copy.dir"));
        std::printf("%-6s %9d %9d %10.1f %10.1f %10.1f %9.1f %9.1f\n", scale == 1 ? "N" : "2N", files * scale,
                    documents * scale, saveMs, loadMs, copyMs, saveMs / copyMs, loadMs / copyMs);
        std::printf("       processor time: save %.1f ms, load %.1f ms\n", saveCpu, loadCpu);
        if (scale == 1) {
            firstSave = saveMs;
            firstLoad = loadMs;
        } else {
            std::printf("growth 2N/N: save %.2f, load %.2f (2.00 is linear)\n", saveMs / firstSave, loadMs / firstLoad);
        }
    }
    return 0;
}
