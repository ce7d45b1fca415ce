// The download engines seen from the window: what an engine shows in its slot, its outcome
// under the list lock and on the item it was started for, the finished-file check, and a window
// that goes while engines run.
#include <QTest>

#include "gui/DownloadFixture.h"
#include "platform/PartFiles.h"

namespace {
// Fills slots with downloads that the server holds until released: /busyN-100 in slot N.
void OccupySlots(ScriptServer& server, DownloadWindow& w, std::initializer_list<int> busy)
{
    for (int s : busy) {
        const QByteArray url = server.Url("/busy" + QByteArray::number(s) + "-100");
        QVERIFY(w.Form->StartDownload(url, w.Path(QString("busy%1").arg(s)), w.AddFile(url)));
        QVERIFY(w.Form->LedEngines[s]->LedEnabled());
    }
}

void FreeSlots(ScriptServer& server, DownloadWindow& w, std::initializer_list<int> busy)
{
    for (int s : busy)
        server.Release("/busy" + QByteArray::number(s) + "-100");
    for (int s : busy)
        QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[s]->LedEnabled(), 10000);
}
}  // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void slotShowsTheRunAndIsReleased();
    void barFollowsAnnouncedLength();
    void outcomeWaitsForTheListLock();
    void refusedConnectionFailsWithoutFile();
    void startDownloadTakesFirstFreeSlot();
    void outcomeFindsItsItem_data();
    void outcomeFindsItsItem();
    void windowClosedWhileEnginesRun();
    void checkFile_data();
    void checkFile();
    void updateIconsMarksPresentFiles();
};

void TestEngine::slotShowsTheRunAndIsReleased()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    const QByteArray url = server.Url("/a/pic.jpg-3000");
    OccupySlots(server, w, {0, 1});
    const int item = w.AddFile(url);
    w.List()->SetImageIndex(item, FileDownloading);
    TGauge* gauge = w.Form->Gauges[2];
    TLed* led = w.Form->LedEngines[2];
    QVERIFY(w.Form->StartDownload(url, w.Path("pic.jpg-3000"), item));
    QVERIFY(led->LedEnabled());  // busy from the moment it was started
    QVERIFY(w.Form->Downloads->PathInUse(w.Path("pic.jpg-3000")));
    QTRY_COMPARE_WITH_TIMEOUT(gauge->Hint(), QStringLiteral("Downloading: ") + QString::fromLatin1(url), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(TDownload::Running(), 3, 10000);
    server.Release("/a/pic.jpg-3000");
    QTRY_VERIFY_WITH_TIMEOUT(!led->LedEnabled(), 10000);
    QCOMPARE(gauge->Hint(), QStringLiteral("Not active"));
    QCOMPARE(gauge->Progress(), 0);
    QCOMPARE(w.List()->ImageIndex(item), int(FileDownloaded));
    QCOMPARE(w.List()->SubItem(item, 2), QByteArray("3000"));
    QCOMPARE(w.Read("pic.jpg-3000"), Content("/a/pic.jpg-3000", 3000));
    QCOMPARE(w.List()->Tag.load(), 0);
    QVERIFY(!w.Form->Downloads->PathInUse(w.Path("pic.jpg-3000")));
    FreeSlots(server, w, {0, 1});
    QTRY_COMPARE_WITH_TIMEOUT(TDownload::Running(), 0, 10000);
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
        QVERIFY(w.Form->StartDownload(server.Url(path), w.Path("f.bin"), item));
        // While the data comes in it lies under the part file's name only (the part file is made
        // before the request goes out: its first bytes tell that the answer has begun).
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(PartFilePath(w.Path("f.bin"))).size(), qint64(1000), 10000);
        QVERIFY(!QFile::exists(w.Path("f.bin")));
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
    QVERIFY(w.Form->StartDownload(url, w.Path("x-2000"), item));
    // The whole body arrives and the engine ends, but its outcome waits for the lock, slot lit.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(w.Path("x-2000")).size() == 2000 && TDownload::Running() == 0, 10000);
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
    QVERIFY(w.Form->StartDownload(url, w.Path("gone.jpg"), item));
    QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[0]->LedEnabled(), 20000);
    QCOMPARE(w.List()->ImageIndex(item), int(FileFailed));
    QCOMPARE(w.List()->SubItem(item, 1), QByteArray("gone.jpg"));  // nothing written, nothing renamed
    QVERIFY(!QFile::exists(w.Path("gone.jpg")));
    QCOMPARE(w.Form->Gauges[0]->Hint(), QStringLiteral("Not active"));
    QCOMPARE(w.Form->Gauges[0]->Progress(), 0);
}

void TestEngine::startDownloadTakesFirstFreeSlot()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    OccupySlots(server, w, {0, 1, 2, 3, 4, 5, 6, 7});
    FreeSlots(server, w, {3, 6});
    QVERIFY(w.Form->ActiveConnection());
    const int first = w.AddFile(server.Url("/s1-1500"));
    const int second = w.AddFile(server.Url("/s2-1500"));
    QVERIFY(w.Form->StartDownload(server.Url("/s1-1500"), w.Path("s1"), first));
    QVERIFY(w.Form->LedEngines[3]->LedEnabled());
    QVERIFY(w.Form->StartDownload(server.Url("/s2-1500"), w.Path("s2"), second));
    QVERIFY(w.Form->LedEngines[6]->LedEnabled());
    QVERIFY(!w.Form->StartDownload(server.Url("/s3"), w.Path("s3"), second));  // all eight busy
    // Each engine reports on its own time: wait for both.
    QTRY_COMPARE_WITH_TIMEOUT(w.Form->Gauges[3]->Hint(), QString("Downloading: ") + server.Url("/s1-1500"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(w.Form->Gauges[6]->Hint(), QString("Downloading: ") + server.Url("/s2-1500"), 10000);
    server.ReleaseAll();
    QTRY_VERIFY_WITH_TIMEOUT(!w.Form->ActiveConnection(), 10000);
    QCOMPARE(w.Read("s1"), Content("/s1-1500", 1500));
    QCOMPARE(w.Read("s2"), Content("/s2-1500", 1500));
}

void TestEngine::outcomeFindsItsItem_data()
{
    // What happens to the list between the engine's start and its outcome.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("itemStays");
    QTest::newRow("sorted: the item moves down") << "sort" << true;
    QTest::newRow("an item before it deleted") << "delete before" << true;
    QTest::newRow("the item itself deleted") << "delete item" << false;
    QTest::newRow("list emptied and filled again with the same addresses") << "refill" << false;
}

void TestEngine::outcomeFindsItsItem()
{
    QFETCH(QString, change);
    QFETCH(bool, itemStays);
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    const QByteArray url = server.Url("/m/mid-1200");
    w.AddFile(server.Url("/z/last-1200"));
    const int item = w.AddFile(url);
    w.AddFile(server.Url("/a/first-1200"));
    w.AddFile(server.Url("/b/second-1200"));
    QVERIFY(w.Form->StartDownload(url, w.Path("mid-1200"), item));
    QTRY_COMPARE_WITH_TIMEOUT(server.Requests(), 1, 10000);
    // Commands that reorder or empty the list run at once while the engine is busy.
    if (change == "sort") {
        w.Form->Sort->trigger();
        QCOMPARE(w.List()->Caption(2), url);
    } else if (change == "delete before") {
        w.List()->Delete(0);
    } else if (change == "delete item") {
        w.List()->Delete(item);
    } else {
        w.List()->Clear();
        for (const char* path : {"/z/last-1200", "/m/mid-1200", "/a/first-1200"})
            w.AddFile(server.Url(path));
    }
    QVERIFY(w.Form->LedEngines[0]->LedEnabled());  // nothing waited for the engine
    server.ReleaseAll();
    QTRY_VERIFY_WITH_TIMEOUT(!w.Form->LedEngines[0]->LedEnabled(), 10000);
    for (int i = 0; i < w.List()->Count(); ++i) {
        const bool mine = itemStays && w.List()->Caption(i) == url;
        QCOMPARE(w.List()->ImageIndex(i), mine ? int(FileDownloaded) : int(FilePending));
        QCOMPARE(w.List()->SubItem(i, 2), mine ? QByteArray("1200") : QByteArray());
    }
    QCOMPARE(w.Read("mid-1200"), Content("/m/mid-1200", 1200));
}

void TestEngine::windowClosedWhileEnginesRun()
{
    // Engines that send part of a file and then stay silent; the window goes meanwhile.
    ScriptServer server(ServePartThenStall);
    DownloadWindow w;
    for (int i = 0; i < 3; ++i) {
        const QByteArray url = server.Url("/w" + QByteArray::number(i) + ".bin");
        QVERIFY(w.Form->StartDownload(url, w.Path(QString("w%1.bin").arg(i)), w.AddFile(url)));
    }
    const auto partSize = [&w](const char* name) { return QFileInfo(PartFilePath(w.Path(name))).size(); };
    QTRY_VERIFY_WITH_TIMEOUT(partSize("w0.bin") == 5000 && partSize("w1.bin") == 5000 && partSize("w2.bin") == 5000,
                             10000);
    // The engines' reports are still on their way to a window that is no more.
    w.Form.reset();
    // Told to stop by the window's going, they end within their poll interval and leave no
    // partial file behind.
    QTRY_COMPARE_WITH_TIMEOUT(TDownload::Running(), 0, 10000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(QDir(w.Dir.path()).entryList(QDir::Files), QStringList());
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
    QTest::newRow("no file: unchanged") << -1 << int(FileFailed) << false << int(FileFailed) << QByteArray("f.jpg")
                                        << QByteArray("old");
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
