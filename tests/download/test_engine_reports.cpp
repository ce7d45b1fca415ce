// A download engine without any window: what it reports, in which order, with what values, and
// how often its progress is sent.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

#include "download/UnitDownloadThreads.h"
#include "support/ScriptServer.h"

namespace {
// Collects one engine's reports on the test's thread, in the order they arrive.
struct Reports : QObject {
    QStringList Hints;
    QList<QPair<int32_t, int32_t>> Progress;
    QList<TDownloadOutcome> Outcomes;
    QStringList Order;  // "hint", "progress", "outcome"

    void Listen(TDownload* engine)
    {
        connect(engine, &TDownload::HintChanged, this, [this](const TDownloadHint& h) {
            Hints.append(h.Text);
            Order.append("hint");
        }, Qt::QueuedConnection);
        connect(engine, &TDownload::Progress, this, [this](int32_t received, int32_t total) {
            Progress.append({received, total});
            Order.append("progress");
        }, Qt::QueuedConnection);
        connect(engine, &TDownload::Finished, this, [this](const TDownloadOutcome& o) {
            Outcomes.append(o);
            Order.append("outcome");
        }, Qt::QueuedConnection);
    }
};

void Serve(ScriptServer& s, int fd, const QByteArray& path)
{
    if (path.startsWith("/missing")) {
        ScriptServer::SendAll(fd, "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n"
                                  + Content("error page", 3000));
        return;
    }
    if (path.startsWith("/stall")) {
        ServePartThenStall(s, fd, path);
        return;
    }
    const int size = path.mid(path.lastIndexOf('-') + 1).toInt();
    ScriptServer::SendAll(fd, ScriptServer::Head(200, size) + Content(path, size));
}

quint16 ClosedPort()
{
    ScriptServer probe([](ScriptServer&, int, const QByteArray&) {});
    return probe.Port();
}
}  // namespace

class TestEngineReports : public QObject {
    Q_OBJECT
private slots:
    void reportsOfOneRun_data();
    void reportsOfOneRun();
    void progressIsCoalesced();
    void stopTokenCancelsTheTransfer();
};

void TestEngineReports::reportsOfOneRun_data()
{
    QTest::addColumn<QByteArray>("path");  // "" : a port where nothing listens
    QTest::addColumn<QByteArray>("userAgent");
    QTest::addColumn<QByteArray>("referer");
    QTest::addColumn<int>("state");
    QTest::addColumn<qint64>("size");  // found on disk after the transfer, -1 none
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("reason");  // "*": any text but empty
    QTest::newRow("kept, with request values") << QByteArray("/ok-5000") << QByteArray("Agent/1.0")
                                               << QByteArray("http://127.0.0.1/page.html") << int(FileDownloaded)
                                               << qint64(5000) << false << 200
                                               << QByteArray("application/octet-stream") << QString();
    QTest::newRow("1000 bytes kept") << QByteArray("/exact-1000") << QByteArray() << QByteArray()
                                     << int(FileDownloaded) << qint64(1000) << false << 200
                                     << QByteArray("application/octet-stream") << QString();
    QTest::newRow("999 bytes deleted") << QByteArray("/small-999") << QByteArray() << QByteArray()
                                       << int(FileDownloaded) << qint64(999) << true << 200
                                       << QByteArray("application/octet-stream")
                                       << QString("Smaller than 1000 bytes");
    QTest::newRow("error page deleted") << QByteArray("/missing.jpg") << QByteArray() << QByteArray()
                                        << int(FileFailed) << qint64(3000) << true << 404
                                        << QByteArray("text/html") << QString("Server replied 404");
    QTest::newRow("refused: no file") << QByteArray() << QByteArray() << QByteArray() << int(FileFailed)
                                      << qint64(-1) << false << 0 << QByteArray() << QString("*");
}

void TestEngineReports::reportsOfOneRun()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, userAgent);
    QFETCH(QByteArray, referer);
    QFETCH(int, state);
    QFETCH(qint64, size);
    QFETCH(bool, deleted);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, reason);
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QByteArray url = path.isEmpty()
        ? "http://127.0.0.1:" + QByteArray::number(ClosedPort()) + "/f.bin"
        : server.Url(path);
    const QString file = dir.path() + "/f.bin";
    std::stop_source stop;
    Reports reports;
    auto* engine = new TDownload(url, file, 5, 4242, stop.get_token(), {userAgent, referer});
    reports.Listen(engine);
    QPointer<TDownload> alive(engine);
    engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(reports.Outcomes.size(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000);  // the engine deletes itself after its run

    QCOMPARE(reports.Hints, QStringList{"Downloading: " + QString::fromLatin1(url)});
    QCOMPARE(reports.Order.first(), QString("hint"));
    QCOMPARE(reports.Order.last(), QString("outcome"));
    const TDownloadOutcome& o = reports.Outcomes.first();
    QCOMPARE(o.ItemId, uint64_t(4242));
    QCOMPARE(o.Slot, 5);
    QCOMPARE(o.State, state);
    QCOMPARE(o.Check.Size, size);
    QCOMPARE(o.Check.Delete, deleted);
    QCOMPARE(o.StatusCode, status);
    QCOMPARE(o.ContentType, contentType);
    if (reason == "*")
        QVERIFY(!o.Reason.isEmpty());
    else
        QCOMPARE(o.Reason, reason);
    QCOMPARE(QFile::exists(file), size >= 0 && !deleted);
    if (size >= 0 && !deleted)
        QCOMPARE(QFileInfo(file).size(), size);
    if (!reports.Progress.isEmpty() && state == FileDownloaded)
        QCOMPARE(reports.Progress.last(), qMakePair(int32_t(size), int32_t(size)));  // the last value arrives

    if (!path.isEmpty()) {
        const QByteArray request = server.RequestTexts().value(0);
        QCOMPARE(request.contains("User-Agent: " + userAgent + "\r\n"), !userAgent.isEmpty());
        QCOMPARE(request.contains("Referer: " + referer + "\r\n"), !referer.isEmpty());
        QCOMPARE(request.contains("User-Agent:"), !userAgent.isEmpty());  // an empty value sends no line
        QCOMPARE(request.contains("Referer:"), !referer.isEmpty());
    }
}

void TestEngineReports::progressIsCoalesced()
{
    // A large body sent as fast as the loop-back takes it arrives in hundreds of packets.
    constexpr int Size = 8 << 20;
    ScriptServer server(Serve);
    QTemporaryDir dir;
    std::stop_source stop;
    Reports reports;
    auto* engine = new TDownload(server.Url("/big-" + QByteArray::number(Size)), dir.path() + "/big",
                                 0, 1, stop.get_token());
    reports.Listen(engine);
    // When each progress report leaves the engine (recorded on the engine's thread).
    std::mutex mutex;
    QList<qint64> sentAtNs;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(engine, &TDownload::Progress, engine, [&](int32_t, int32_t) {
        std::lock_guard lock(mutex);
        sentAtNs.append(clock.nsecsElapsed());
    }, Qt::DirectConnection);
    engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(reports.Outcomes.size(), 1, 60000);
    QCOMPARE(reports.Outcomes.first().State, int(FileDownloaded));
    QCOMPARE(reports.Outcomes.first().Check.Size, qint64(Size));

    QVERIFY(!reports.Progress.isEmpty());
    QCOMPARE(reports.Progress.last(), qMakePair(int32_t(Size), int32_t(Size)));  // never lost
    for (int i = 1; i < reports.Progress.size(); ++i)
        QVERIFY(reports.Progress[i].first >= reports.Progress[i - 1].first);  // always the latest
    std::lock_guard lock(mutex);
    QCOMPARE(sentAtNs.size(), reports.Progress.size());
    // At most one report per frame; only the final one may follow sooner.
    for (int i = 1; i + 1 < sentAtNs.size(); ++i) {
        const qint64 gapMs = (sentAtNs[i] - sentAtNs[i - 1]) / 1000000;
        QVERIFY2(gapMs >= TDownload::ProgressInterval - 1, qPrintable(QString("report %1 after %2 ms").arg(i).arg(gapMs)));
    }
}

void TestEngineReports::stopTokenCancelsTheTransfer()
{
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QString file = dir.path() + "/stall.bin";
    std::stop_source stop;
    Reports reports;
    auto* engine = new TDownload(server.Url("/stall.bin"), file, 2, 7, stop.get_token());
    reports.Listen(engine);
    engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(file).size(), qint64(5000), 10000);
    QVERIFY(reports.Outcomes.isEmpty());
    QElapsedTimer sinceStop;
    sinceStop.start();
    stop.request_stop();
    QTRY_COMPARE_WITH_TIMEOUT(reports.Outcomes.size(), 1, 10000);
    // Polled every 500 ms; the bound tells Stop from the 60 s idle time-out on a loaded machine.
    QVERIFY2(sinceStop.elapsed() < 5000, qPrintable(QString::number(sinceStop.elapsed())));
    const TDownloadOutcome& o = reports.Outcomes.first();
    QCOMPARE(o.State, int(FileFailed));
    QCOMPARE(o.Reason, QString("Stopped"));
    QCOMPARE(o.Check.Size, qint64(5000));
    QVERIFY(o.Check.Delete);
    QVERIFY(!QFile::exists(file));
    QTRY_COMPARE_WITH_TIMEOUT(TDownload::Running(), 0, 10000);
}

QTEST_GUILESS_MAIN(TestEngineReports)
#include "test_engine_reports.moc"
