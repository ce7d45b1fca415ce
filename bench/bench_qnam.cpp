// The peer the modern engine was weighed against: Qt Network's QNetworkAccessManager fetching a
// list of addresses, AT_ONCE at a time (HTTP/2 where the server offers it, as Qt does by
// default), each body streamed into a file as it arrives:
//   bench_qnam LIST DIR [AT_ONCE]
// LIST holds one address per line; each file goes into DIR under its last path segment. The
// authority named by SSL_CERT_FILE is trusted, as the other programs of the benchmark trust it.
// Output: one line "files=N failed=F bytes=B seconds=S cpu=C maxrss_mb=R".
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <sys/resource.h>

#include "bench/BenchSupport.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIST DIR [AT_ONCE]\n", argv[0]);
        return 2;
    }
    QList<QByteArray> addresses;
    if (!bench::ReadAddressList(argv[1], &addresses)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[2]);
    const int atOnce = argc > 3 ? std::max(1, std::atoi(argv[3])) : 8;
    std::deque<QByteArray> waiting(addresses.cbegin(), addresses.cend());
    const int files = int(waiting.size());
    if (const QByteArray authority = qgetenv("SSL_CERT_FILE"); !authority.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QString::fromLocal8Bit(authority));
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    const double cpuBefore = bench::CpuSecondsOfProcess();
    QElapsedTimer clock;
    clock.start();
    QNetworkAccessManager manager;
    int running = 0;
    int done = 0;
    int failed = 0;
    qint64 bytes = 0;
    std::function<void()> startMore;
    startMore = [&] {
        while (running < atOnce && !waiting.empty()) {
            const QByteArray url = waiting.front();
            waiting.pop_front();
            ++running;
            auto file = std::make_shared<QFile>(bench::SavedPath(dir, url));
            if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file->fileName()));
                return app.exit(2);
            }
            QNetworkReply* reply = manager.get(QNetworkRequest(QUrl::fromEncoded(url)));
            QObject::connect(reply, &QIODevice::readyRead, reply, [reply, file] { file->write(reply->readAll()); });
            QObject::connect(reply, &QNetworkReply::finished, &app, [&, reply, file] {
                file->write(reply->readAll());
                bytes += file->size();
                file->close();
                if (reply->error() != QNetworkReply::NoError) {
                    std::fprintf(stderr, "%s: %s\n", reply->url().toEncoded().constData(),
                                 qPrintable(reply->errorString()));
                    ++failed;
                }
                reply->deleteLater();
                --running;
                if (++done == files)
                    app.quit();
                else
                    startMore();
            });
        }
    };
    QTimer::singleShot(0, &app, startMore);
    app.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("files=%d failed=%d bytes=%lld seconds=%.3f cpu=%.3f maxrss_mb=%.1f\n", files, failed,
                static_cast<long long>(bytes), seconds, bench::CpuSecondsOfProcess() - cpuBefore,
                double(after.ru_maxrss) / 1024.0);
    return failed == 0 ? 0 : 1;
}
