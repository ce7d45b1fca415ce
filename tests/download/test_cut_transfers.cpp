// A download whose body ends early is a failure with its reason, and its bytes never take the
// final name; a body that arrived whole is kept however its connection ended.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <sys/socket.h>
#include <thread>

#include "download/TReportReceiver.h"
#include "download/UnitDownloadThreads.h"
#include "platform/PartFiles.h"
#include "support/LoopbackPeer.h"
#include "support/ScriptServer.h"

namespace {
// How the scripted server ends the response after its first bytes.
enum class End { Close, Reset };

struct Run : TReportReceiver {
    QList<TDownloadOutcome> Outcomes;
    qint64 Received = 0;
};
}  // namespace

class TestCutTransfers : public QObject {
    Q_OBJECT
private slots:
    void bodyEnds_data();
    void bodyEnds();
};

void TestCutTransfers::bodyEnds_data()
{
    QTest::addColumn<bool>("announce");  // a Content-Length line for `total` bytes
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("reason");  // empty: kept
    QTest::newRow("announced, peer closes early")
        << true << 100000 << 51200 << int(End::Close) << QString("Connection closed after 51,200 of 100,000 bytes");
    QTest::newRow("announced, peer resets early")
        << true << 100000 << 51200 << int(End::Reset) << QString("Connection closed after 51,200 of 100,000 bytes");
    QTest::newRow("announced and whole, then reset") << true << 20000 << 20000 << int(End::Reset) << QString();
    QTest::newRow("no length, orderly close") << false << 20000 << 20000 << int(End::Close) << QString();
    QTest::newRow("no length, reset") << false << 20000 << 20000 << int(End::Reset)
                                      << QString("Connection reset by peer after 20,000 bytes");
}

void TestCutTransfers::bodyEnds()
{
    QFETCH(bool, announce);
    QFETCH(int, total);
    QFETCH(int, sent);
    QFETCH(int, end);
    QFETCH(QString, reason);
    const QByteArray body = Content("cut", total);
    // The server ends only once the engine has counted every byte sent, so the byte count in the
    // reason does not depend on how fast either side runs.
    std::atomic<bool> counted{false};
    LoopbackPeer peer([&](int fd) {
        QByteArray request;
        while (!request.contains("\r\n\r\n")) {
            const QByteArray more = LoopbackPeer::ReadCount(fd, 1);
            if (more.isEmpty())
                return;
            request += more;
        }
        LoopbackPeer::SendAll(fd, ScriptServer::Head(200, announce ? total : -1) + body.left(sent));
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!counted && std::chrono::steady_clock::now() < limit)
            std::this_thread::yield();
        if (End(end) == End::Reset)
            LoopbackPeer::Reset(fd);
        else
            ::shutdown(fd, SHUT_WR);
    });
    QTemporaryDir dir;
    const QString file = dir.filePath("cut.bin");
    std::stop_source stop;
    Run run;
    auto* engine =
        new TDownload("http://127.0.0.1:" + QByteArray::number(peer.Port()) + "/cut.bin", file, 0, 7, stop.get_token());
    connect(
        engine, &TDownload::Progress, &run,
        [&](qint64 received, qint64) {
            run.Received = received;
            if (received >= sent)
                counted = true;
        },
        Qt::QueuedConnection);
    connect(
        engine, &TDownload::Finished, &run, [&](const TDownloadOutcome& o) { run.Outcomes.append(o); },
        Qt::QueuedConnection);
    engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(run.Outcomes.size(), 1, 30000);

    const TDownloadOutcome& outcome = run.Outcomes.first();
    QCOMPARE(outcome.Reason, reason);
    QCOMPARE(outcome.State, reason.isEmpty() ? int(FileDownloaded) : int(FileFailed));
    QVERIFY(!QFile::exists(PartFilePath(file)));
    if (reason.isEmpty()) {
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), body);
    } else {
        QVERIFY(!QFile::exists(file));  // a cut body never takes the final name
    }
}

QTEST_GUILESS_MAIN(TestCutTransfers)
#include "test_cut_transfers.moc"
