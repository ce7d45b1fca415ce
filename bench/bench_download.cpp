// Drives the download command offscreen for the benchmark script (bench_download.py).
//   bench_download batch LISTFILE DIR     download every address of LISTFILE (one a line) into DIR
//   bench_download modern LISTFILE DIR [PER_HOST]
//                                         the same with the modern option on (its engine, retries,
//                                         PER_HOST connections per host)
//   bench_download idle URL DIR SECONDS   eight engines wait on a silent server; prints the
//                                         program's CPU share of one core over SECONDS and
//                                         how often its threads woke up
// Prints "wall_s=..." for the command itself, and cpu and peak memory of the whole process.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

#include "download/UnitDownloadThreads.h"
#include "rules/FileNaming.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TLed.h"

namespace {
double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Times any thread of the process gave up the processor to wait: how often waits wake up.
long VoluntarySwitches()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw;
}

long PeakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void AddFile(TFormMain* form, const QByteArray& url)
{
    const int i = form->ListViewFile->Add(url);
    form->ListViewFile->SetSubItem(i, 1, FilNavn(url));
    form->ListViewFile->SetChecked(i, true);
}
}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr,
                     "usage: bench_download batch LISTFILE DIR | modern LISTFILE DIR [PER_HOST] | idle URL DIR "
                     "SECONDS\n");
        return 2;
    }
    TFormMain form;
    form.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    form.ListViewFile->Clear();
    form.ComboBoxDownload->SetText(args[3]);
    form.Skipfileifexistindownloaddirectory1->setChecked(false);
    form.Letpreviewjumptolatestfiledownloaded1->setChecked(false);

    // Modern: the option on, as the user turns it on, with the chosen connections per host.
    if (args[1] == QLatin1String("modern")) {
        form.Findlinksasabrowserdoesmodernpages1->setChecked(true);
        if (args.size() > 4)
            form.HarvestOptions->SetHostConnections(args[4].toInt());
    }
    if (args[1] == QLatin1String("batch") || args[1] == QLatin1String("modern")) {
        QFile list(args[2]);
        if (!list.open(QIODevice::ReadOnly))
            return 2;
        for (const QByteArray& line : list.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                AddFile(&form, line.trimmed());
        QElapsedTimer wall;
        const double cpuBefore = CpuSeconds();
        wall.start();
        form.ButtonDownloadClick();
        const double seconds = wall.nsecsElapsed() / 1e9;
        const double commandCpu = CpuSeconds() - cpuBefore;
        int ok = 0;
        for (int i = 0; i < form.ListViewFile->Count(); ++i)
            ok += form.ListViewFile->ImageIndex(i) == FileDownloaded ? 1 : 0;
        std::printf("wall_s=%.3f cpu_s=%.3f command_cpu_s=%.3f peak_kib=%ld downloaded=%d of %d\n", seconds,
                    CpuSeconds(), commandCpu, PeakKiB(), ok, form.ListViewFile->Count());
        return ok == form.ListViewFile->Count() ? 0 : 1;
    }
    if (args[1] == QLatin1String("idle") && args.size() >= 5) {
        for (int i = 0; i < 8; ++i)
            AddFile(&form, args[2].toLatin1() + "/silent" + QByteArray::number(i) + ".bin");
        const int seconds = args[4].toInt();
        double share = -1;
        QTimer::singleShot(0, [&] {
            // Let all eight engines start and connect, then measure a quiet period.
            QTimer::singleShot(1500, [&] {
                const double cpu0 = CpuSeconds();
                const long switches0 = VoluntarySwitches();
                QElapsedTimer t;
                t.start();
                QTimer::singleShot(seconds * 1000, [&, cpu0, switches0, t] {
                    const double elapsed = t.nsecsElapsed() / 1e9;
                    share = (CpuSeconds() - cpu0) / elapsed;
                    const double wakes = (VoluntarySwitches() - switches0) / elapsed;
                    int lit = 0;
                    for (TLed* led : form.LedEngines)
                        lit += led->LedEnabled() ? 1 : 0;
                    std::printf("idle_cpu_share=%.5f wakeups_per_s=%.1f engines_busy=%d\n", share, wakes, lit);
                    std::fflush(stdout);
                    form.ButtonStopClick();
                });
            });
        });
        form.ButtonDownloadClick();
        return share >= 0 ? 0 : 1;
    }
    return 2;
}
