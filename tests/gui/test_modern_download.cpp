// Download files with the modern option against an unruly server: a refused file's row says what
// it waits for and the file comes home on a later try; a file that never comes names its tries;
// Stop during a wait ends the command at once and the file is pending again; the connections per
// host option bounds what the server sees.
#include "DownloadFixture.h"
#include "support/UnrulyServer.h"

class TestModernDownload : public QObject {
    Q_OBJECT
private slots:
    void refusedFileWaitsAndComesHome();
    void missingFileFailsAtOnce();
    void stopDuringAWaitEndsTheCommand();
    void connectionsPerHostBoundTheServer_data();
    void connectionsPerHostBoundTheServer();
};

void TestModernDownload::refusedFileWaitsAndComesHome()
{
    UnrulyServer server;
    DownloadWindow w;
    w.Form->Findlinksasabrowserdoesmodernpages1->setChecked(true);
    w.AddFile(server.Url("/pic-30000.bin?429"));
    w.AddFile(server.Url("/other-20000.bin"));
    QStringList shown;
    w.Download([&] {
        const QByteArray size = w.List()->SubItem(0, 2);
        if (size.startsWith("Waiting") && !shown.contains(QString::fromLatin1(size)))
            shown << QString::fromLatin1(size);
    });
    QCOMPARE(shown, QStringList{"Waiting 1 s: HTTP 429 Too Many Requests, try 2 of 5"});
    for (int i = 0; i < 2; ++i)
        QCOMPARE(w.List()->ImageIndex(i), int(FileDownloaded));
    QVERIFY(w.Read(QString::fromLatin1(w.List()->SubItem(0, 1))) == UnrulyServer::Body("pic", 30000));
    QCOMPARE(w.List()->SubItem(0, 2), QByteArray("30000"));  // the wait's text is gone
    QCOMPARE(w.List()->Reason(0), QString());
}

void TestModernDownload::missingFileFailsAtOnce()
{
    UnrulyServer server;
    DownloadWindow w;
    w.Form->Findlinksasabrowserdoesmodernpages1->setChecked(true);
    w.AddFile(server.Url("/gone.html"));
    w.Download();
    QCOMPARE(w.List()->ImageIndex(0), int(FileFailed));
    QCOMPARE(w.List()->Reason(0), QStringLiteral("HTTP 404 Not Found"));
    QCOMPARE(server.Requests().size(), 1);
}

void TestModernDownload::stopDuringAWaitEndsTheCommand()
{
    UnrulyServer server;
    DownloadWindow w;
    w.Form->Findlinksasabrowserdoesmodernpages1->setChecked(true);
    w.AddFile(server.Url("/pic-30000.bin?503"));
    bool stopped = false;
    w.Download([&] {
        if (!stopped && w.List()->SubItem(0, 2).startsWith("Waiting")) {
            stopped = true;
            w.Form->ButtonStopClick();
        }
    });
    QVERIFY(stopped);
    // The command ended without the second try.
    QCOMPARE(server.Requests().size(), 1);
    QCOMPARE(w.List()->ImageIndex(0), int(FilePending));
    QVERIFY(w.List()->Checked(0));
    QCOMPARE(w.List()->SubItem(0, 1), QByteArray("pic-30000.bin?503"));  // its own name again
    QCOMPARE(w.List()->SubItem(0, 2), QByteArray());
}

void TestModernDownload::connectionsPerHostBoundTheServer_data()
{
    QTest::addColumn<int>("connections");
    QTest::newRow("one") << 1;
    QTest::newRow("two, the default") << 2;
    QTest::newRow("eight") << 8;
}

void TestModernDownload::connectionsPerHostBoundTheServer()
{
    QFETCH(int, connections);
    UnrulyServer server;
    DownloadWindow w;
    w.Form->Findlinksasabrowserdoesmodernpages1->setChecked(true);
    w.Form->HarvestOptions->SetHostConnections(connections);
    // Slow bodies, so that transfers overlap.
    for (int i = 0; i < 8; ++i)
        w.AddFile(server.Url("/f" + QByteArray::number(i) + "-10000.bin?trickle"));
    w.Download();
    for (int i = 0; i < 8; ++i)
        QCOMPARE(w.List()->ImageIndex(i), int(FileDownloaded));
    QVERIFY(server.MostConnectionsAtOnce() <= connections);
    QVERIFY(server.ConnectionsOpened() <= connections);
}

QTEST_MAIN(TestModernDownload)
#include "test_modern_download.moc"
