// Receives one HTTP/1.0 response body into a file with the socket component's CaptureFile, the
// way the download engines do: connect, send the request, read the header lines, capture the rest
// until the server closes. Prints the byte count; timing is taken by the calling script.
//
//   bench_capturefile HOST PORT PATH OUTPUT-FILE
#include "http/TPowersock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s HOST PORT PATH OUTPUT-FILE\n", argv[0]);
        return 2;
    }
    try {
        TPowersock sock;
        sock.Host = argv[1];
        sock.Port = QByteArray(argv[2]).toInt();
        sock.Disconnect();  // a socket that closes gracefully, as the engines use
        sock.Connect();
        sock.Write(QByteArray("GET ") + argv[3] + " HTTP/1.0\r\nHost: " + argv[1] + "\r\n\r\n");
        for (;;) {
            const QByteArray line = sock.ReadLn();
            if (line == "\r\n" || line == "\n")
                break;
        }
        sock.CaptureFile(QString::fromLocal8Bit(argv[4]));
        sock.Disconnect();
        std::printf("%lld\n", static_cast<long long>(QFileInfo(QString::fromLocal8Bit(argv[4])).size()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
