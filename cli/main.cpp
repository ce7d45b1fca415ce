// kelvorn-get: the command-line harvester. Qt Core only; no display is needed.
#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "cli/CliOptions.h"
#include "cli/TCliHarvest.h"
#include "core/HarvestOptions.h"
#include "core/HarvestSettings.h"
#include "platform/TRegistry.h"

namespace {
std::atomic<bool> Interrupted{false};
// How often the main thread looks for an interrupt.
constexpr int InterruptPollMs = 100;

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// Ends the process without waiting for engine threads that wind down after their last report.
[[noreturn]] void Leave(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
}  // namespace

int main(int argc, char* argv[])
{
    // The command line first: --help, --version and bad usage answer before anything starts.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const TCliParse parse = ParseCommandLine(args);
    if (!parse.Error.isEmpty()) {
        Print(stderr, QStringLiteral("kelvorn-get: %1\nTry 'kelvorn-get --help' for more.\n").arg(parse.Error));
        return ExitUsage;
    }
    if (parse.Options.Action == TCliAction::Help) {
        Print(stdout, CliUsage());
        return ExitAllHome;
    }
    if (parse.Options.Action == TCliAction::Version) {
        Print(stdout, CliVersion());
        return ExitAllHome;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kelvorn"));
    THarvestOptions settings;
    if (!parse.Options.NoConfig) {
        TRegistry reg;
        if (reg.OpenKey(HarvestSettingsKey(), false)) {
            settings.ReadGroup(reg);
            settings.ReadApart(reg);
        }
    }

    std::signal(SIGINT, [](int) { Interrupted = true; });
    std::signal(SIGTERM, [](int) { Interrupted = true; });
    TCliHarvest harvest(parse.Options, settings, isatty(STDERR_FILENO) != 0);
    QTimer interrupts;
    QObject::connect(&interrupts, &QTimer::timeout, &harvest, [&harvest] {
        if (Interrupted.exchange(false))
            harvest.Stop();
    });
    interrupts.start(InterruptPollMs);

    int status = -1;
    harvest.Run([&status](int s) {
        status = s;
        QCoreApplication::exit(s);
    });
    if (status < 0)
        app.exec();
    Leave(status < 0 ? ExitSomeFailed : status);
}
