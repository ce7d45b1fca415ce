// Fetches one address with the HTTP client and prints what it cost:
//   bench_http_download URL file PATH   body straight into PATH (InputFileMode)
//   bench_http_download URL memory      body collected in memory
// Output: one line "bytes=N seconds=S mbps=R cpu=C maxrss_mb=M" (M from getrusage).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <sys/resource.h>

#include "http/TNMHTTP.h"

namespace {
double CpuSeconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || (QByteArray(argv[2]) == "file" && argc < 4)) {
        std::fprintf(stderr, "usage: %s URL file PATH | %s URL memory\n", argv[0], argv[0]);
        return 2;
    }
    const bool toFile = QByteArray(argv[2]) == "file";
    TNMHTTP http;
    http.TimeOut = 60000;
    http.InputFileMode = toFile;
    if (toFile)
        http.Body = QFile::encodeName(QString::fromLocal8Bit(argv[3]));
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer clock;
    clock.start();
    qint64 bytes = 0;
    try {
        http.Get(argv[1]);
        bytes = toFile ? QFile(QString::fromLocal8Bit(argv[3])).size() : http.Body.size();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "request failed: %s\n", e.what());
        return 1;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    getrusage(RUSAGE_SELF, &after);
    std::printf("bytes=%lld seconds=%.3f mbps=%.1f cpu=%.3f maxrss_mb=%.1f code=%d\n", static_cast<long long>(bytes),
                seconds, double(bytes) / 1e6 / seconds, CpuSeconds(after) - CpuSeconds(before),
                double(after.ru_maxrss) / 1024.0, int(http.ReplyCode));
    return http.ReplyCode == 200 ? 0 : 1;
}
