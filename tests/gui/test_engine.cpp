// The download engine on its own: what it shows in its slot, its outcome under the list lock,
// the finished-file check and its release after the run.
#include <QPointer>
#include <QTest>
#include <thread>

#include "gui/DownloadFixture.h"

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void slotShowsTheRunAndIsReleased();
    void barFollowsAnnouncedLength();
    void outcomeWaitsForTheListLock();
    void refusedConnectionFailsWithoutFile();
    void startDownloadTakesFirstDarkSlot();
    void checkFile_data();
    void checkFile();
    void checkFileFromAnotherThread();
    void updateIconsMarksPresentFiles();
};

void TestEngine::slotShowsTheRunAndIsReleased()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    const QByteArray url = server.Url("/a/pic.jpg-3000");
    const int item = w.AddFile(url);
    w.List()->SetImageIndex(item, FileDownloading);
    TGauge* gauge = w.Form->Gauges[2];
    TLed* led = w.Form->LedEngines[2];
    QPointer<TDownload> engine = new TDownload(url, w.Path("pic.jpg-3000"), item, w.List(), gauge, led);
    QVERIFY(led->LedEnabled());  // busy from the moment it was created
    QTRY_COMPARE_WITH_TIMEOUT(gauge->Hint(), QStringLiteral("Downloading: ") + QString::fromLatin1(url), 10000);
    QCOMPARE(TDownload::Running(), 1);
    server.Release("/a/pic.jpg-3000");
    QTRY_VERIFY_WITH_TIMEOUT(!led->LedEnabled(), 10000);
    QCOMPARE(gauge->Hint(), QStringLiteral("Not active"));
    QCOMPARE(gauge->Progress(), 0);
    QCOMPARE(w.List()->ImageIndex(item), int(FileDownloaded));
    QCOMPARE(w.List()->SubItem(item, 2), QByteArray("3000"));
    QCOMPARE(w.Read("pic.jpg-3000"), Content("/a/pic.jpg-3000", 3000));
    QCOMPARE(w.List()->Tag.load(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(TDownload::Running(), 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(engine.isNull(), 10000);  // the engine object is deleted after its run
    QVERIFY(!TDownload::PathInUse(w.Path("pic.jpg-3000")));
}

void TestEngine::barFollowsAnnouncedLength()
{
    // The reply comes in three parts; the second is sent once the body is being captured, so it
    // arrives as a packet of its own: 4000 of 10000 bytes, then the rest.
    const auto handler = [](ScriptServer& s, int fd, const QByteArray& path) {
        const bool announce = path.startsWith("/len");
        const QByteArray body = Content(path, 10000);
        ScriptServer::SendAll(fd, ScriptServer::Head(200, announce ? 10000 : -1) + body.left(1000));
        if (s.WaitReleased(path + "#1"))
            ScriptServer::SendAll(fd, body.mid(1000, 3000));
        if (s.WaitReleased(path))
            ScriptServer::SendAll(fd, body.mid(4000));
    };
    ScriptServer server(handler);
    DownloadWindow w;
    for (const QByteArray& path : {QByteArray("/len/f.bin"), QByteArray("/nolen/f.bin")}) {
        const int item = w.AddFile(server.Url(path));
        TGauge* gauge = w.Form->Gauges[0];
        new TDownload(server.Url(path), w.Path("f.bin"), item, w.List(), gauge, w.Form->LedEngines[0]);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(w.Path("f.bin")), 10000);
        server.Release(path + "#1");
        QTRY_COMPARE_WITH_TIMEOUT(gauge->Progress(), 4000, 10000);
        QCOMPARE(gauge->MaxValue(), path.startsWith("/len") ? 10000 : 8000);  // no length: half way
        server.Release(path);
        QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[0]->LedEnabled(), 10000);
        QCOMPARE(w.List()->ImageIndex(item), int(FileDownloaded));
        QCOMPARE(w.List()->SubItem(item, 2), QByteArray("10000"));
        QCOMPARE(w.Read("f.bin"), Content(path, 10000));
        QCOMPARE(gauge->Progress(), 0);
        QFile::remove(w.Path("f.bin"));
    }
}

void TestEngine::outcomeWaitsForTheListLock()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    const QByteArray url = server.Url("/x-2000");
    const int item = w.AddFile(url);
    w.List()->SetImageIndex(item, FileDownloading);
    w.List()->Tag = 1;  // someone else is writing into the list
    server.Release("/x-2000");
    new TDownload(url, w.Path("x-2000"), item, w.List(), w.Form->Gauges[0], w.Form->LedEngines[0]);
    // The whole body arrives, then the engine keeps looking at the lock without writing.
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(w.Path("x-2000")).size(), 2000, 10000);
    QVERIFY(!QTest::qWaitFor([&] { return w.List()->ImageIndex(item) != FileDownloading; }, 300));
    QVERIFY(w.Form->LedEngines[0]->LedEnabled());
    w.List()->Tag = 0;
    QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[0]->LedEnabled(), 10000);
    QCOMPARE(w.List()->ImageIndex(item), int(FileDownloaded));
    QCOMPARE(w.List()->Tag.load(), 0);
}

void TestEngine::refusedConnectionFailsWithoutFile()
{
    quint16 closedPort;
    {
        ScriptServer probe([](ScriptServer&, int, const QByteArray&) {});
        closedPort = probe.Port();
    }
    DownloadWindow w;
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(closedPort) + "/gone.jpg";
    const int item = w.AddFile(url);
    new TDownload(url, w.Path("gone.jpg"), item, w.List(), w.Form->Gauges[0], w.Form->LedEngines[0]);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[0]->LedEnabled(), 20000);
    QCOMPARE(w.List()->ImageIndex(item), int(FileFailed));
    QCOMPARE(w.List()->SubItem(item, 1), QByteArray("gone.jpg"));  // nothing written, nothing renamed
    QVERIFY(!QFile::exists(w.Path("gone.jpg")));
    QCOMPARE(w.Form->Gauges[0]->Hint(), QStringLiteral("Not active"));
}

void TestEngine::startDownloadTakesFirstDarkSlot()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    for (int s : {0, 1, 2, 4, 5, 7})
        w.Form->LedEngines[s]->SetLedEnabled(true);
    QVERIFY(w.Form->ActiveConnection());
    const int first = w.AddFile(server.Url("/s1-1500"));
    const int second = w.AddFile(server.Url("/s2-1500"));
    QVERIFY(w.Form->StartDownload(server.Url("/s1-1500"), w.Path("s1"), first));
    QVERIFY(w.Form->LedEngines[3]->LedEnabled());
    QVERIFY(w.Form->StartDownload(server.Url("/s2-1500"), w.Path("s2"), second));
    QVERIFY(w.Form->LedEngines[6]->LedEnabled());
    QVERIFY(!w.Form->StartDownload(server.Url("/s3"), w.Path("s3"), second));  // all eight busy
    QTRY_COMPARE_WITH_TIMEOUT(w.Form->Gauges[6]->Hint(), QString("Downloading: ") + server.Url("/s2-1500"), 10000);
    QCOMPARE(w.Form->Gauges[3]->Hint(), QString("Downloading: ") + server.Url("/s1-1500"));
    server.ReleaseAll();
    QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[3]->LedEnabled() && !w.Form->LedEngines[6]->LedEnabled(), 10000);
    for (int s : {0, 1, 2, 4, 5, 7})
        w.Form->LedEngines[s]->SetLedEnabled(false);
    QVERIFY(!w.Form->ActiveConnection());
    QCOMPARE(w.Read("s1"), Content("/s1-1500", 1500));
}

void TestEngine::checkFile_data()
{
    QTest::addColumn<int>("size");  // -1: no file
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<int>("stateAfter");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("sizeText");
    QTest::newRow("999 bytes deleted") << 999 << int(FileDownloaded) << false << int(FileFailed)
                                       << QByteArray("Not available") << QByteArray("(Deleted)");
    QTest::newRow("1000 bytes kept") << 1000 << int(FileDownloaded) << true << int(FileDownloaded)
                                     << QByteArray("f.jpg") << QByteArray("1000");
    QTest::newRow("empty file deleted") << 0 << int(FileDownloaded) << false << int(FileFailed)
                                        << QByteArray("Not available") << QByteArray("(Deleted)");
    QTest::newRow("failed item's file deleted") << 50000 << int(FileFailed) << false << int(FileFailed)
                                                << QByteArray("Not available") << QByteArray("(Deleted)");
    QTest::newRow("no file: unchanged") << -1 << int(FileFailed) << false << int(FileFailed)
                                        << QByteArray("f.jpg") << QByteArray("old");
}

void TestEngine::checkFile()
{
    QFETCH(int, size);
    QFETCH(int, state);
    QFETCH(bool, kept);
    QFETCH(int, stateAfter);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, sizeText);
    DownloadWindow w;
    const int item = w.AddFile("http://127.0.0.1/f.jpg");
    w.List()->SetImageIndex(item, state);
    w.List()->SetSubItem(item, 2, "old");
    if (size >= 0)
        w.Put("f.jpg", QByteArray(size, 'x'));
    w.Form->CheckFile(-1);  // no item: nothing happens
    QCOMPARE(w.List()->SubItem(item, 2), QByteArray("old"));
    w.Form->CheckFile(item);
    QCOMPARE(QFile::exists(w.Path("f.jpg")), kept);
    QCOMPARE(w.List()->ImageIndex(item), stateAfter);
    QCOMPARE(w.List()->SubItem(item, 1), name);
    QCOMPARE(w.List()->SubItem(item, 2), sizeText);
}

void TestEngine::checkFileFromAnotherThread()
{
    DownloadWindow w;
    const int small = w.AddFile("http://127.0.0.1/small.jpg");
    const int big = w.AddFile("http://127.0.0.1/big.jpg");
    w.Put("small.jpg", QByteArray(10, 'x'));
    w.Put("big.jpg", QByteArray(4096, 'x'));
    std::atomic<int> done{0};
    // Two engine-like threads at once: their item changes go through the window's thread.
    std::thread a([&] { w.Form->CheckFile(small); ++done; });
    std::thread b([&] { w.Form->CheckFile(big); ++done; });
    QTRY_COMPARE_WITH_TIMEOUT(done.load(), 2, 10000);
    a.join();
    b.join();
    QCOMPARE(w.List()->SubItem(small, 2), QByteArray("(Deleted)"));
    QCOMPARE(w.List()->ImageIndex(small), int(FileFailed));
    QVERIFY(!QFile::exists(w.Path("small.jpg")));
    QCOMPARE(w.List()->SubItem(big, 2), QByteArray("4096"));
}

void TestEngine::updateIconsMarksPresentFiles()
{
    DownloadWindow w;
    const int present = w.AddFile("http://127.0.0.1/here.jpg");
    const int absent = w.AddFile("http://127.0.0.1/nothere.jpg", false);
    const int skippedGone = w.AddFile("http://127.0.0.1/gone.jpg");
    const int downloaded = w.AddFile("http://127.0.0.1/done.jpg");
    w.List()->SetImageIndex(skippedGone, FileSkipped);
    w.List()->SetImageIndex(downloaded, FileDownloaded);
    w.Put("here.jpg", "x");
    w.Put("done.jpg", "x");
    QDir(w.Dir.path()).mkdir("nothere.jpg");  // a directory is not a file
    w.Form->UpdateIconsInfileList();
    QCOMPARE(w.List()->ImageIndex(present), int(FileSkipped));
    QCOMPARE(w.List()->StateImage(present), 3);
    QCOMPARE(w.List()->ImageIndex(absent), int(FilePending));
    QCOMPARE(w.List()->StateImage(absent), 0);
    QCOMPARE(w.List()->ImageIndex(skippedGone), int(FileSkipped));
    QCOMPARE(w.List()->ImageIndex(downloaded), int(FileSkipped));
}

QTEST_MAIN(TestEngine)
#include "test_engine.moc"
