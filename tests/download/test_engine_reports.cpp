// A download engine without any window: what it reports, in which order, with what values, and
// how often its progress is sent.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

#include "download/TReportReceiver.h"
#include "download/UnitDownloadThreads.h"
#include "rules/ReferrerPolicy.h"
#include "platform/PartFiles.h"
#include "support/ScriptServer.h"

namespace {
// Collects one engine's reports on the test's thread, in the order they arrive.
struct Reports : TReportReceiver {
    QStringList Hints;
    QList<QPair<qint64, qint64>> Progress;
    QList<TDownloadOutcome> Outcomes;
    QStringList Order;  // "hint", "progress", "outcome"

    void Listen(TDownload* engine)
    {
        connect(
            engine, &TDownload::HintChanged, this,
            [this](const TDownloadHint& h) {
                Hints.append(h.Text);
                Order.append("hint");
            },
            Qt::QueuedConnection);
        connect(
            engine, &TDownload::Progress, this,
            [this](qint64 received, qint64 total) {
                Progress.append({received, total});
                Order.append("progress");
            },
            Qt::QueuedConnection);
        connect(
            engine, &TDownload::Finished, this,
            [this](const TDownloadOutcome& o) {
                Outcomes.append(o);
                Order.append("outcome");
            },
            Qt::QueuedConnection);
    }
};

void Serve(ScriptServer& s, int fd, const QByteArray& path)
{
    if (path.startsWith("/missing")) {
        ScriptServer::SendAll(
            fd, "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n" + Content("error page", 3000));
        return;
    }
    if (path.startsWith("/loop")) {
        ScriptServer::SendAll(fd, "HTTP/1.0 302 Found\r\nLocation: " + s.Url("/loop") + "\r\n\r\n");
        return;
    }
    if (path.startsWith("/stall")) {
        ServePartThenStall(s, fd, path);
        return;
    }
    const int size = path.mid(path.lastIndexOf('-') + 1).toInt();
    ScriptServer::SendAll(fd, ScriptServer::Head(200, size) + Content(path, size));
}

// Runs one engine to its end and returns its outcome; an empty one (no reason) when none came.
TDownloadOutcome RunToEnd(const QByteArray& url, const QString& file)
{
    std::stop_source stop;
    Reports reports;
    auto* engine = new TDownload(url, file, 0, 1, stop.get_token());
    reports.Listen(engine);
    engine->start();
    if (!QTest::qWaitFor([&reports] { return !reports.Outcomes.isEmpty(); }, 20000))
        return {};
    return reports.Outcomes.first();
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
    void silenceEndsTheTransfer();
    void writeFailureNamesTheFile();
    void leftoverPartFileIsReplaced();
    void killedRunLeavesNoFinalName();
    void redirectRecomputesTheReferer_data();
    void redirectRecomputesTheReferer();
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
    QTest::newRow("kept, with request values")
        << QByteArray("/ok-5000") << QByteArray("Agent/1.0") << QByteArray("http://127.0.0.1/page.html")
        << int(FileDownloaded) << qint64(5000) << false << 200 << QByteArray("application/octet-stream") << QString();
    QTest::newRow("1000 bytes kept") << QByteArray("/exact-1000") << QByteArray() << QByteArray() << int(FileDownloaded)
                                     << qint64(1000) << false << 200 << QByteArray("application/octet-stream")
                                     << QString();
    QTest::newRow("999 bytes deleted") << QByteArray("/small-999") << QByteArray() << QByteArray()
                                       << int(FileDownloaded) << qint64(999) << true << 200
                                       << QByteArray("application/octet-stream") << QString("Smaller than 1000 bytes");
    QTest::newRow("error page deleted") << QByteArray("/missing.jpg") << QByteArray() << QByteArray() << int(FileFailed)
                                        << qint64(3000) << true << 404 << QByteArray("text/html")
                                        << QString("HTTP 404 Not Found");
    QTest::newRow("refused: no file") << QByteArray() << QByteArray() << QByteArray() << int(FileFailed) << qint64(-1)
                                      << false << 0 << QByteArray() << QString("Connection refused");
    QTest::newRow("redirect loop") << QByteArray("/loop") << QByteArray() << QByteArray() << int(FileFailed)
                                   << qint64(0) << true << 302 << QByteArray() << QString("Too many redirects");
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
    const QByteArray url =
        path.isEmpty() ? "http://127.0.0.1:" + QByteArray::number(ClosedPort()) + "/f.bin" : server.Url(path);
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
    QVERIFY(!QFile::exists(PartFilePath(file)));  // kept or deleted, no part file stays
    if (size >= 0 && !deleted)
        QCOMPARE(QFileInfo(file).size(), size);
    if (!reports.Progress.isEmpty() && state == FileDownloaded)
        QCOMPARE(reports.Progress.last(), qMakePair(qint64(size), qint64(size)));  // the last value arrives

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
    auto* engine =
        new TDownload(server.Url("/big-" + QByteArray::number(Size)), dir.path() + "/big", 0, 1, stop.get_token());
    reports.Listen(engine);
    // When each progress report leaves the engine (recorded on the engine's thread).
    std::mutex mutex;
    QList<qint64> sentAtNs;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(
        engine, &TDownload::Progress, engine,
        [&](qint64, qint64) {
            std::lock_guard lock(mutex);
            sentAtNs.append(clock.nsecsElapsed());
        },
        Qt::DirectConnection);
    engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(reports.Outcomes.size(), 1, 60000);
    QCOMPARE(reports.Outcomes.first().State, int(FileDownloaded));
    QCOMPARE(reports.Outcomes.first().Check.Size, qint64(Size));

    QVERIFY(!reports.Progress.isEmpty());
    QCOMPARE(reports.Progress.last(), qMakePair(qint64(Size), qint64(Size)));  // never lost
    for (int i = 1; i < reports.Progress.size(); ++i)
        QVERIFY(reports.Progress[i].first >= reports.Progress[i - 1].first);  // always the latest
    std::lock_guard lock(mutex);
    QCOMPARE(sentAtNs.size(), reports.Progress.size());
    // At most one report per frame; only the final one may follow sooner.
    for (int i = 1; i + 1 < sentAtNs.size(); ++i) {
        const qint64 gapMs = (sentAtNs[i] - sentAtNs[i - 1]) / 1000000;
        QVERIFY2(gapMs >= TDownload::ProgressInterval - 1,
                 qPrintable(QString("report %1 after %2 ms").arg(i).arg(gapMs)));
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
    // While it runs, the data lies under the part file's name only.
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(PartFilePath(file)).size(), qint64(5000), 10000);
    QVERIFY(!QFile::exists(file));
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
    QVERIFY(!QFile::exists(PartFilePath(file)));
    QTRY_COMPARE_WITH_TIMEOUT(TDownload::Running(), 0, 10000);
}

void TestEngineReports::silenceEndsTheTransfer()
{
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QString file = dir.path() + "/quiet.bin";
    TDownload::SetIdleIntervalForTests(300);
    const TDownloadOutcome o = RunToEnd(server.Url("/stall-quiet.bin"), file);
    TDownload::SetIdleIntervalForTests(60000);
    QCOMPARE(o.State, int(FileFailed));
    QCOMPARE(o.Reason, QString("No data for 1 s"));  // whole seconds, rounded up
    QVERIFY(!QFile::exists(file));
    QVERIFY(!QFile::exists(PartFilePath(file)));
}

void TestEngineReports::writeFailureNamesTheFile()
{
    ScriptServer server(Serve);
    QTemporaryDir dir;
    // A directory without write permission; the super-user writes there all the same, so it then
    // takes a path under a plain file, which nobody can create.
    const QString locked = dir.path() + "/locked";
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    QString folder = locked;
    QFile probe(locked + "/probe");
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile plain(dir.path() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        folder = plain.fileName();
    }
    const QString file = folder + "/pic.jpg";
    const TDownloadOutcome o = RunToEnd(server.Url("/ok-5000"), file);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(o.State, int(FileFailed));
    // The file the user knows, not the part file, and the system's reason after it.
    const QString prefix = "Could not write " + file + ": ";
    QVERIFY2(o.Reason.startsWith(prefix) && o.Reason.size() > prefix.size(), qPrintable(o.Reason));
}

void TestEngineReports::leftoverPartFileIsReplaced()
{
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QString file = dir.path() + "/f.bin";
    {
        QFile leftover(PartFilePath(file));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write(QByteArray(20000, 'x'));
    }
    // Only a leftover marked as ours for the same address is replaced.
    QVERIFY(MarkPartFile(PartFilePath(file), server.Url("/ok-5000"), {}));
    QCOMPARE(RunToEnd(server.Url("/ok-5000"), file).State, int(FileDownloaded));
    QFile kept(file);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), Content("/ok-5000", 5000));
    QVERIFY(!QFile::exists(PartFilePath(file)));
}

void TestEngineReports::killedRunLeavesNoFinalName()
{
    // A program killed during a download (SIGKILL: no clean-up of any kind) leaves no file under
    // the final name, so the next run neither skips the file nor renames around it.
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QString file = dir.path() + "/movie.bin";
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--download", QString::fromLatin1(server.Url("/stall-movie.bin")), file});
    QVERIFY(child.waitForStarted(20000));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(PartFilePath(file)).size(), qint64(5000), 20000);
    child.kill();
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY(!QFile::exists(file));
    // The leftover of the killed run is recognised as ours, with the bytes it holds.
    const TOwnPartFile leftover = FindOwnPartFile(file, server.Url("/stall-movie.bin"));
    QCOMPARE(leftover.Path, PartFilePath(file));
    QCOMPARE(leftover.Bytes, qint64(5000));

    // The next run downloads it again, whole, under its name.
    QCOMPARE(RunToEnd(server.Url("/again-6000"), file).State, int(FileDownloaded));
    QCOMPARE(QFileInfo(file).size(), qint64(6000));
    QVERIFY(!QFile::exists(PartFilePath(file, 2)));
}

// A redirect is a new request: its Referer is worked out again for the address it leads to,
// the whole page address to the page's own origin, only the origin to another one.
void TestEngineReports::redirectRecomputesTheReferer_data()
{
    QTest::addColumn<bool>("elsewhere");
    QTest::newRow("to a path on the same server: the whole address") << false;
    QTest::newRow("to another origin: only the origin") << true;
}

void TestEngineReports::redirectRecomputesTheReferer()
{
    QFETCH(bool, elsewhere);
    ScriptServer other(Serve);
    ScriptServer server([&other, elsewhere](ScriptServer& s, int fd, const QByteArray& path) {
        if (path.startsWith("/moved"))
            ScriptServer::SendAll(fd,
                                  "HTTP/1.0 302 Found\r\nLocation: "
                                      + (elsewhere ? other.Url("/pic-2000") : QByteArray("/pic-2000")) + "\r\n\r\n");
        else
            Serve(s, fd, path);
    });
    const QByteArray page = server.Url("/gallery/page.html?x=1");
    QTemporaryDir dir;
    std::stop_source stop;
    Reports reports;
    TDownloadRequest request{"Kelvorn/1", ReferrerFor(page, server.Url("/moved")), true, page};
    auto* engine = new TDownload(server.Url("/moved"), dir.path() + "/pic", 0, 1, stop.get_token(), request);
    reports.Listen(engine);
    engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(reports.Outcomes.size(), 1, 20000);
    QCOMPARE(reports.Outcomes.first().State, int(FileDownloaded));
    const QByteArrayList requests = server.RequestTexts() + other.RequestTexts();
    QCOMPARE(requests.size(), 2);
    QVERIFY(requests[0].contains("Referer: " + page + "\r\n"));
    const QByteArray origin = server.Url("/");
    QVERIFY2(requests[1].contains("Referer: " + (elsewhere ? origin : page) + "\r\n"), requests[1].constData());
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The child of the kill test: one engine downloads URL into FILE until the process is killed.
    if (argc == 4 && qstrcmp(argv[1], "--download") == 0) {
        std::stop_source stop;
        auto* engine = new TDownload(QByteArray(argv[2]), QString::fromLocal8Bit(argv[3]), 0, 1, stop.get_token());
        QObject::connect(engine, &TDownload::Finished, &app, [] { QCoreApplication::exit(1); });
        engine->start();
        return app.exec();
    }
    TestEngineReports test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_engine_reports.moc"
