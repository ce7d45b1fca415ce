// The download command end to end against servers on 127.0.0.1: slot order, naming and skip
// rules, outcomes, Stop, the idle time-out, shared file names and engines finishing together.
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include "gui/DownloadFixture.h"
#include "support/PyHttpServer.h"
#include "platform/PartFiles.h"

class TestDownload : public QObject {
    Q_OBJECT
private slots:
    void tenFilesUseSlotsInOrder();
    void namingRulesAndOutcomes();
    void skipOptionLeavesPresentFiles();
    void sameFileNameGivesTwoFiles();
    void stopEndsRunningTransfers();
    void reorderAfterStopKeepsOutcomesOnTheirItems();
    void resetFileAfterStopKeepsOlderFiles();
    void linksInTheDirectoryAreTaken_data();
    void linksInTheDirectoryAreTaken();
    void idleTimeoutCutsSilentServers();
    void eightEnginesFinishTogether();
};

namespace {
struct LedLog {
    struct Entry {
        qint64 ms;
        int slot;
    };
    QElapsedTimer clock;
    QList<Entry> lit;  // every LED switched on, in order
    explicit LedLog(TFormMain* form)
    {
        clock.start();
        for (int s = 0; s < 8; ++s) {
            TLed* led = form->LedEngines[s];
            auto previous = led->OnChangeState;
            led->OnChangeState = [this, s, previous](TLed* sender) {
                if (sender->LedEnabled())
                    lit.append({clock.elapsed(), s});
                if (previous)
                    previous(sender);
            };
        }
    }
};

// Files of a site for Python's server: Content(name, size) under each name.
bool WriteSite(const QTemporaryDir& site, const QList<QByteArray>& names, int size)
{
    for (const QByteArray& name : names) {
        QFile f(site.path() + "/" + QString::fromLatin1(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(Content(name, size)) != size)
            return false;
    }
    return true;
}
}  // namespace

void TestDownload::tenFilesUseSlotsInOrder()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    for (int i = 0; i < 10; ++i)
        w.AddFile(server.Url("/f" + QByteArray::number(i) + "-1500"));
    w.Form->Beepwhendoneworking1->setChecked(true);
    LedLog log(w.Form.get());
    int phase = 0;
    bool fieldEnabledWhileBusy = false;
    w.Download([&] {
        if (w.LitLeds() > 0 && (w.Form->ComboBoxDownload->isEnabled() || w.Form->SpeedButton1->isEnabled()))
            fieldEnabledWhileBusy = true;
        if (phase == 0 && log.lit.size() == 8) {
            server.Release("/f5-1500");  // slot 6 frees first: the ninth file goes there
            phase = 1;
        } else if (phase == 1 && log.lit.size() == 9) {
            server.Release("/f1-1500");
            phase = 2;
        } else if (phase == 2 && log.lit.size() == 10) {
            server.ReleaseAll();
            phase = 3;
        }
    });
    QCOMPARE(phase, 3);
    QList<int> slotOrder;
    for (const auto& e : log.lit)
        slotOrder.append(e.slot);
    QCOMPARE(slotOrder, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 5, 1}));
    for (int k = 1; k < 8; ++k)
        QVERIFY2(log.lit[k].ms - log.lit[k - 1].ms >= 45, "engine starts must be about 50 ms apart");
    for (int i = 0; i < 10; ++i) {
        const QByteArray path = "/f" + QByteArray::number(i) + "-1500";
        QCOMPARE(w.List()->ImageIndex(i), int(FileDownloaded));
        QCOMPARE(w.Read(QString::fromLatin1(path.mid(1))), Content(path, 1500));
    }
    QVERIFY(!fieldEnabledWhileBusy);
    QVERIFY(w.Form->ComboBoxDownload->isEnabled());
    QVERIFY(w.Form->SpeedButton1->isEnabled());
    QCOMPARE(w.Beeps, 1);  // once at the end, not per file
    QCOMPARE(w.LitLeds(), 0);
    QVERIFY(!w.Form->Busy);
}

void TestDownload::namingRulesAndOutcomes()
{
    QTemporaryDir site;
    const auto put = [&](const QString& name, const QByteArray& data) {
        QFile f(site.path() + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    put("pic.jpg", Content("site pic", 2000));
    put("photo", Content("site photo", 1500));
    put("six.jpg", Content("site six", 1500));
    put("small.bin", Content("small", 999));
    put("exact.bin", Content("exact", 1000));
    put("unticked.jpg", Content("unticked", 1500));
    put("done.jpg", Content("done", 1500));
    PyHttpServer server(site.path());
    QVERIFY(server.Start());

    DownloadWindow w;
    w.Form->Letpreviewjumptolatestfiledownloaded1->setChecked(true);
    // The jump is what is checked here; with the pane on, these made-up .jpg bodies would be
    // decoded and, being no pictures, deleted as corrupt.
    w.Form->Displayimagepreview1->setChecked(false);
    w.Put("pic.jpg", "old 0");
    w.Put("pic_.jpg", "old 1");
    w.Put("photo", "old photo");
    const QList<QByteArray> sixNames{"six.jpg", "six_.jpg", "six__.jpg", "six___.jpg", "six____.jpg", "six_____.jpg"};
    for (const QByteArray& n : sixNames)
        w.Put(QString::fromLatin1(n), n);
    const int pic = w.AddFile(server.Url("/pic.jpg"));
    const int photo = w.AddFile(server.Url("/photo"));
    const int six = w.AddFile(server.Url("/six.jpg"));
    const int small = w.AddFile(server.Url("/small.bin"));
    const int exact = w.AddFile(server.Url("/exact.bin"));
    const int missing = w.AddFile(server.Url("/missing.jpg"));
    const int unticked = w.AddFile(server.Url("/unticked.jpg"), false);
    const int done = w.AddFile(server.Url("/done.jpg"));
    w.List()->SetImageIndex(done, FileDownloaded);  // ticked but not pending: passed over
    w.Download();

    QCOMPARE(w.List()->ImageIndex(pic), int(FileDownloaded));
    QCOMPARE(w.List()->SubItem(pic, 1), QByteArray("pic__.jpg"));
    QCOMPARE(w.Read("pic__.jpg"), Content("site pic", 2000));
    QCOMPARE(w.Read("pic.jpg"), QByteArray("old 0"));
    QCOMPARE(w.Read("pic_.jpg"), QByteArray("old 1"));
    QCOMPARE(w.List()->SubItem(pic, 2), QByteArray("2000"));

    QCOMPARE(w.List()->SubItem(photo, 1), QByteArray("_.photo"));
    QCOMPARE(w.Read("_.photo"), Content("site photo", 1500));
    QCOMPARE(w.Read("photo"), QByteArray("old photo"));

    QCOMPARE(w.List()->ImageIndex(six), int(FileFailed));
    QCOMPARE(w.List()->SubItem(six, 1), QByteArray("six.jpg"));
    QCOMPARE(w.List()->StateImage(six), 3);
    for (const QByteArray& n : sixNames)
        QCOMPARE(w.Read(QString::fromLatin1(n)), n);  // none overwritten

    QCOMPARE(w.List()->ImageIndex(small), int(FileFailed));
    QCOMPARE(w.List()->SubItem(small, 1), QByteArray("Not available"));
    QCOMPARE(w.List()->SubItem(small, 2), QByteArray("(Deleted)"));
    QVERIFY(!QFile::exists(w.Path("small.bin")));

    QCOMPARE(w.List()->ImageIndex(exact), int(FileDownloaded));
    QCOMPARE(w.List()->SubItem(exact, 2), QByteArray("1000"));
    QCOMPARE(w.Read("exact.bin"), Content("exact", 1000));

    QCOMPARE(w.List()->ImageIndex(missing), int(FileFailed));
    QCOMPARE(w.List()->SubItem(missing, 1), QByteArray("Not available"));
    QCOMPARE(w.List()->SubItem(missing, 2), QByteArray("(Deleted)"));
    QVERIFY(!QFile::exists(w.Path("missing.jpg")));

    QCOMPARE(w.List()->ImageIndex(unticked), int(FilePending));
    QCOMPARE(w.List()->StateImage(unticked), 0);
    QVERIFY(!QFile::exists(w.Path("unticked.jpg")));
    QCOMPARE(w.List()->ImageIndex(done), int(FileDownloaded));
    QVERIFY(!QFile::exists(w.Path("done.jpg")));

    // The preview jump moved the current file to an item that an engine finished.
    QVERIFY(QList<int>({pic, photo, small, exact, missing}).contains(w.Form->CurrentFileIndex));
    const QStringList left = QDir(w.Dir.path()).entryList(QDir::Files);
    QCOMPARE(left.size(), 2 + 6 + 1 + 1 + 2);  // old pics, six names, photo, _.photo, pic__, exact
}

void TestDownload::skipOptionLeavesPresentFiles()
{
    QTemporaryDir site;
    QVERIFY(WriteSite(site, {"keep.jpg", "fresh.jpg"}, 1200));
    PyHttpServer server(site.path());
    QVERIFY(server.Start());
    DownloadWindow w;
    w.Form->Skipfileifexistindownloaddirectory1->setChecked(true);
    w.Put("keep.jpg", "mine");
    const int keep = w.AddFile(server.Url("/keep.jpg"));
    const int fresh = w.AddFile(server.Url("/fresh.jpg"));
    w.Download();
    QCOMPARE(w.List()->ImageIndex(keep), int(FileSkipped));
    QCOMPARE(w.List()->StateImage(keep), 3);
    QCOMPARE(w.List()->SubItem(keep, 2), QByteArray("(Skipped)"));
    QCOMPARE(w.Read("keep.jpg"), QByteArray("mine"));
    QCOMPARE(w.List()->ImageIndex(fresh), int(FileDownloaded));
    QCOMPARE(w.Read("fresh.jpg"), Content("fresh.jpg", 1200));
}

void TestDownload::linksInTheDirectoryAreTaken_data()
{
    QTest::addColumn<bool>("skip");
    QTest::newRow("rename rule") << false;
    QTest::newRow("skip option") << true;
}

// Symbolic links already in the download directory, one pointing nowhere and one to a user's
// file, count as taken names: the download is skipped or renamed, nothing is written through a
// link, and the links stay.
void TestDownload::linksInTheDirectoryAreTaken()
{
    QFETCH(bool, skip);
    QTemporaryDir site;
    QVERIFY(WriteSite(site, {"dangling.jpg", "linked.jpg"}, 1500));
    PyHttpServer server(site.path());
    QVERIFY(server.Start());
    QTemporaryDir outside;
    const QString planted = outside.filePath("planted.jpg");
    const QString users = outside.filePath("users.jpg");
    {
        QFile f(users);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("the user's own");
    }
    DownloadWindow w;
    w.Form->Skipfileifexistindownloaddirectory1->setChecked(skip);
    QVERIFY(QFile::link(planted, w.Path("dangling.jpg")));
    QVERIFY(QFile::link(users, w.Path("linked.jpg")));
    const int dangling = w.AddFile(server.Url("/dangling.jpg"));
    const int linked = w.AddFile(server.Url("/linked.jpg"));
    w.Download();
    QVERIFY(!QFileInfo::exists(planted));
    QCOMPARE(QFileInfo(users).size(), qint64(14));
    for (const char* name : {"dangling.jpg", "linked.jpg"})
        QVERIFY2(QFileInfo(w.Path(name)).isSymLink(), name);
    if (skip) {
        QCOMPARE(w.List()->ImageIndex(dangling), int(FileSkipped));
        QCOMPARE(w.List()->ImageIndex(linked), int(FileSkipped));
    } else {
        QCOMPARE(w.List()->SubItem(dangling, 1), QByteArray("dangling_.jpg"));
        QCOMPARE(w.List()->SubItem(linked, 1), QByteArray("linked_.jpg"));
        QCOMPARE(w.Read("dangling_.jpg"), Content("dangling.jpg", 1500));
        QCOMPARE(w.Read("linked_.jpg"), Content("linked.jpg", 1500));
    }
}

void TestDownload::sameFileNameGivesTwoFiles()
{
    // Both requests wait until both engines run, so neither file exists when the second is named.
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    const int a = w.AddFile(server.Url("/a/same.jpg-3000"));
    const int b = w.AddFile(server.Url("/b/same.jpg-3000"));
    bool released = false;
    w.Download([&] {
        if (!released && server.Requests() == 2) {
            server.ReleaseAll();
            released = true;
        }
    });
    QVERIFY(released);
    QCOMPARE(w.List()->SubItem(a, 1), QByteArray("same.jpg-3000"));
    QCOMPARE(w.List()->SubItem(b, 1), QByteArray("same_.jpg-3000"));
    QCOMPARE(w.List()->ImageIndex(a), int(FileDownloaded));
    QCOMPARE(w.List()->ImageIndex(b), int(FileDownloaded));
    QCOMPARE(w.Read("same.jpg-3000"), Content("/a/same.jpg-3000", 3000));
    QCOMPARE(w.Read("same_.jpg-3000"), Content("/b/same.jpg-3000", 3000));
}

void TestDownload::reorderAfterStopKeepsOutcomesOnTheirItems()
{
    // Stop makes the list commands available again while engines still wind down (up to half a
    // second). Sorting in that moment runs at once, and every outcome still lands on its own item.
    ScriptServer server(ServePartThenStall);
    DownloadWindow w;
    for (int i = 0; i < 8; ++i)
        w.AddFile(server.Url("/z" + QByteArray::number(i) + ".bin"));
    const int waiting = w.AddFile(server.Url("/a8.bin"));  // sorts first, never started
    const int untouched = w.AddFile(server.Url("/a9.bin"), false);
    QCOMPARE(waiting, 8);
    QCOMPARE(untouched, 9);
    bool sorted = false;
    int litBeforeSort = -1, litAfterSort = -2;
    w.Download([&] {
        if (sorted || w.LitLeds() < 8 || w.List()->ImageIndex(waiting) != FileDownloading)
            return;
        for (int i = 0; i < 8; ++i)
            if (!QFile::exists(PartFilePath(w.Path(QString("z%1.bin").arg(i)))))
                return;
        sorted = true;
        w.Form->ButtonStopClick();
        QVERIFY(w.Form->Sort->isEnabled());
        litBeforeSort = w.LitLeds();
        w.Form->Sort->trigger();
        litAfterSort = w.LitLeds();
    });
    QVERIFY(sorted);
    QCOMPARE(litAfterSort, litBeforeSort);  // the sort waited for no engine
    QCOMPARE(w.LitLeds(), 0);
    const QByteArray a8 = server.Url("/a8.bin"), a9 = server.Url("/a9.bin");
    QCOMPARE(w.List()->Caption(0), a8);
    QCOMPARE(w.List()->Caption(1), a9);
    QCOMPARE(w.List()->ImageIndex(0), int(FilePending));  // never started: pending again
    QCOMPARE(w.List()->SubItem(0, 1), QByteArray("a8.bin"));
    QCOMPARE(w.List()->ImageIndex(1), int(FilePending));
    QCOMPARE(w.List()->SubItem(1, 1), QByteArray("a9.bin"));
    for (int i = 2; i < 10; ++i) {
        QVERIFY(w.List()->Caption(i).endsWith(".bin"));
        QCOMPARE(w.List()->ImageIndex(i), int(FileFailed));
        QCOMPARE(w.List()->SubItem(i, 1), QByteArray("Not available"));
    }
}

void TestDownload::resetFileAfterStopKeepsOlderFiles()
{
    // An older file keeps its name: the download goes to "old_.jpg". Reset file on that item
    // while its engine winds down after Stop must neither let the engine's size check delete the
    // older "old.jpg", which the item names again, nor let the late outcome undo the reset.
    ScriptServer server(ServePartThenStall);
    DownloadWindow w;
    const QByteArray older = Content("the user's older file", 3000);
    w.Put("old.jpg", older);
    const int item = w.AddFile(server.Url("/old.jpg"));
    bool reset = false;
    w.Download([&] {
        if (reset || w.LitLeds() < 1 || QFileInfo(PartFilePath(w.Path("old_.jpg"))).size() <= 0)
            return;
        reset = true;
        w.Form->ButtonStopClick();
        QVERIFY(w.Form->Resetfile1->isEnabled());
        w.Form->CurrentFileIndex = item;
        w.Form->Resetfile1->trigger();
    });
    QVERIFY(reset);
    QCOMPARE(w.LitLeds(), 0);
    QCOMPARE(w.Read("old.jpg"), older);
    QVERIFY(!QFile::exists(w.Path("old_.jpg")));  // the broken download went
    QVERIFY(!QFile::exists(PartFilePath(w.Path("old_.jpg"))));
    // The reset came last: the item is pending again under its own name.
    QCOMPARE(w.List()->ImageIndex(item), int(FilePending));
    QCOMPARE(w.List()->SubItem(item, 1), QByteArray("old.jpg"));
    QVERIFY(w.List()->Checked(item));
}

void TestDownload::stopEndsRunningTransfers()
{
    // Each reply announces 100000 bytes, sends 5000 and then stays silent.
    ScriptServer server(ServePartThenStall);
    DownloadWindow w;
    for (int i = 0; i < 10; ++i)
        w.AddFile(server.Url("/part" + QByteArray::number(i) + ".bin"));
    QElapsedTimer sinceStop;
    bool stopped = false;
    w.Download([&] {
        if (!stopped) {
            if (w.LitLeds() < 8 || w.List()->ImageIndex(8) != FileDownloading)
                return;  // the ninth file must be waiting for a slot
            for (int i = 0; i < 8; ++i)
                if (QFileInfo(PartFilePath(w.Path(QString("part%1.bin").arg(i)))).size() <= 0)
                    return;  // every engine is in the middle of its transfer
            stopped = true;
            sinceStop.start();
            w.Form->ButtonStopClick();
        }
    });
    // The command ends only after every engine has recorded its outcome.
    const qint64 allFailedAfter = stopped ? sinceStop.elapsed() : -1;
    QVERIFY(stopped);
    // The engines poll Stop every 500 ms; a generous bound still tells Stop from the idle time-out.
    QVERIFY2(allFailedAfter < 5000, qPrintable(QString::number(allFailedAfter)));
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(w.List()->ImageIndex(i), int(FileFailed));
        QCOMPARE(w.List()->SubItem(i, 1), QByteArray("Not available"));
        QCOMPARE(w.List()->SubItem(i, 2), QByteArray("(Deleted)"));
        QCOMPARE(w.List()->Reason(i), QStringLiteral("Stopped"));
    }
    // Waiting for a slot when Stop came: never started, so pending again, ticked, with its box;
    // the file after it is left untouched.
    QCOMPARE(w.List()->ImageIndex(8), int(FilePending));
    QCOMPARE(w.List()->StateImage(8), 1);
    QVERIFY(w.List()->Checked(8));
    QCOMPARE(w.List()->SubItem(8, 1), QByteArray("part8.bin"));
    QCOMPARE(w.List()->Reason(8), QString());
    QCOMPARE(w.List()->ImageIndex(9), int(FilePending));
    QCOMPARE(w.List()->StateImage(9), 1);
    QCOMPARE(server.Requests(), 8);
    QCOMPARE(QDir(w.Dir.path()).entryList(QDir::Files), QStringList());
    QCOMPARE(w.LitLeds(), 0);
    for (TGauge* g : w.Form->Gauges) {
        QCOMPARE(g->Progress(), 0);
        QCOMPARE(g->Hint(), QStringLiteral("Not active"));
    }
    QVERIFY(!w.Form->StopRequested);
}

void TestDownload::idleTimeoutCutsSilentServers()
{
    // The margins hold on a loaded machine under a thread sanitizer: a packet every 150 ms against
    // a 2500 ms idle limit, and a steady transfer that lasts longer in all than the limit.
    static constexpr int IdleLimit = 2500, PacketGap = 150, Packets = 20;
    ScriptServer server([](ScriptServer& s, int fd, const QByteArray& path) {
        if (path == "/silent.bin") {
            ScriptServer::SendAll(fd, ScriptServer::Head(200, 100000) + Content(path, 2000));
            s.Stall();
            return;
        }
        ScriptServer::SendAll(fd, ScriptServer::Head(200, Packets * 100));
        for (int k = 0; k < Packets; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(PacketGap));
            if (!ScriptServer::SendAll(fd, Content(path, Packets * 100).mid(k * 100, 100)))
                return;
        }
    });
    TDownload::SetIdleIntervalForTests(IdleLimit);
    struct Restore {
        ~Restore() { TDownload::SetIdleIntervalForTests(60000); }
    } restore;
    DownloadWindow w;
    const int silent = w.AddFile(server.Url("/silent.bin"));
    const int slow = w.AddFile(server.Url("/slow.bin"));
    QElapsedTimer clock;
    clock.start();
    w.Download();
    QVERIFY(clock.elapsed() >= PacketGap * Packets);  // the steady one ran to its end
    QCOMPARE(w.List()->ImageIndex(silent), int(FileFailed));
    QCOMPARE(w.List()->SubItem(silent, 2), QByteArray("(Deleted)"));
    QVERIFY(!QFile::exists(w.Path("silent.bin")));
    QCOMPARE(w.List()->Reason(silent), QStringLiteral("No data for 3 s"));  // 2500 ms, in whole seconds
    QCOMPARE(w.List()->ImageIndex(slow), int(FileDownloaded));
    QCOMPARE(w.List()->Reason(slow), QString());
    QCOMPARE(w.Read("slow.bin"), Content("/slow.bin", Packets * 100));
}

void TestDownload::eightEnginesFinishTogether()
{
    ScriptServer server(ServeHeldFile);
    DownloadWindow w;
    w.Form->Letpreviewjumptolatestfiledownloaded1->setChecked(true);
    for (int i = 0; i < 8; ++i)
        w.AddFile(server.Url("/e" + QByteArray::number(i) + "-" + QByteArray::number(1000 + i * 111)));
    bool released = false;
    w.Download([&] {
        if (!released && server.Requests() == 8) {
            server.ReleaseAll();
            released = true;
        }
    });
    QVERIFY(released);
    for (int i = 0; i < 8; ++i) {
        const int size = 1000 + i * 111;
        QCOMPARE(w.List()->ImageIndex(i), int(FileDownloaded));
        QCOMPARE(w.List()->SubItem(i, 2), QByteArray::number(size));
        QCOMPARE(w.List()->StateImage(i), 3);
    }
    QCOMPARE(w.List()->Tag.load(), 0);
    QVERIFY(w.Form->CurrentFileIndex >= 0 && w.Form->CurrentFileIndex < 8);
}

QTEST_MAIN(TestDownload)
#include "test_download.moc"
