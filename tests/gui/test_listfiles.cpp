// Saving and loading the two lists: the bytes written, round trips, which files exist, damaged
// files, failures, the load command's state, the guard while a save or load runs, and the save
// at exit.
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "ListTestWindow.h"
#include "main/ShellOpen.h"
#include "rules/ListRecords.h"

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A length-prefixed field built by hand: length byte, text, "." up to the field's end.
QByteArray Field(const QByteArray& text, int size)
{
    return QByteArray(1, char(text.size())) + text + QByteArray(size - 1 - text.size(), '.');
}

// Every field of every item, one text per item, so that a difference shows where it is.
QStringList Items(TCheckListView& list)
{
    QStringList items;
    for (int i = 0; i < list.Count(); ++i)
        items << QString::fromLatin1(list.Caption(i) + " tick=" + QByteArray::number(list.Checked(i))
                                     + " image=" + QByteArray::number(list.ImageIndex(i))
                                     + " state=" + QByteArray::number(list.StateImage(i))
                                     + " name=" + list.SubItem(i, 1) + " size=" + list.SubItem(i, 2));
    return items;
}
}  // namespace

class TestListFiles : public QObject {
    Q_OBJECT
private slots:
    void saveWritesTheRecords()
    {
        TListTestWindow w;
        w.AddDoc("http://a/b1", true, -1);  // 11 characters, ticked, no icon
        w.AddFile("http://h/d/pic.jpg", false, FileDownloaded, "pic.jpg", "12345");
        const QByteArray longCaption = "http://h/" + QByteArray(291, 'c');
        w.AddFile(longCaption, false, FilePending, QByteArray(50, 'n'), QByteArray(20, '9'));
        w.Form->Loadlinksfilelistfromdisk1->setEnabled(false);

        w.Form->SaveListToDisk();

        QCOMPARE(ReadAll(w.Dir() + "Kelvorn.dir"),
                 QByteArray(1, char(11)) + "http://a/b1" + QByteArray(244, '.') + QByteArray("\x01\xFF\xFF", 3));
        const QByteArray downloaded = Field("http://h/d/pic.jpg", 256) + QByteArray("\x01\x02\x00", 3)
            + QByteArray(1, char(7)) + "pic.jpg" + QByteArray(33, '.') + QByteArray(1, char(5)) + "12345"
            + QByteArray(10, '.');
        const QByteArray cut = QByteArray(1, char(255)) + longCaption.left(255) + QByteArray("\x00\xFF\xFF", 3)
            + QByteArray(1, char(40)) + QByteArray(40, 'n') + QByteArray(1, char(15)) + QByteArray(15, '9');
        QCOMPARE(ReadAll(w.Dir() + "Kelvorn.fil"), downloaded + cut);
        QCOMPARE(w.Titles, QStringList{"Information"});
        QCOMPARE(w.Texts, QStringList{"1 links, and 2 files was sucessfully saved to: \r\r" + w.Dir()});
        QVERIFY(w.Form->Loadlinksfilelistfromdisk1->isEnabled());
        // Nothing but the two files is left beside the program.
        QCOMPARE(QDir(w.Dir()).entryList(QDir::Files | QDir::Hidden), (QStringList{"Kelvorn.dir", "Kelvorn.fil"}));

        // Two empty lists give two empty files.
        w.ForgetMessages();
        w.Doc().Clear();
        w.File().Clear();
        w.Form->SaveListToDisk();
        QCOMPARE(QFileInfo(w.Dir() + "Kelvorn.dir").size(), 0);
        QCOMPARE(QFileInfo(w.Dir() + "Kelvorn.fil").size(), 0);
        QCOMPARE(w.Texts, QStringList{"0 links, and 0 files was sucessfully saved to: \r\r" + w.Dir()});
    }

    void roundTripRestoresTheLists()
    {
        TListTestWindow w;
        w.AddDoc("http://b.org/one.html", true);
        w.AddDoc("http://a.org/two.html", false);
        w.AddDoc("http://c.org/parsed.html", false, DocParsed);
        w.AddDoc("http://d.org/failed.html", true, DocFailed);
        w.AddFile("http://f/z.jpg", true, FilePending, "z.jpg", "");
        w.AddFile("http://f/a.jpg", false, FilePending, "a.jpg", "");
        w.AddFile("http://f/done.jpg", false, FileDownloaded, "done.jpg", "123456");
        w.AddFile("http://f/skip.jpg", true, FileSkipped, "skip.jpg", "(Skipped)");
        w.AddFile("http://f/gone.jpg", false, FileFailed, "Not available", "(Deleted)");
        const QStringList docs = Items(w.Doc());
        const QStringList files = Items(w.File());
        w.Form->SaveListToDisk();

        w.Doc().Clear();
        w.AddDoc("http://other/");
        w.File().Clear();
        w.AddFile("http://other/x.jpg");
        w.File().SetCurrentIndex(0);
        w.ForgetMessages();
        w.Form->LoadListFromDisk();

        QCOMPARE(Items(w.Doc()), docs);
        QCOMPARE(Items(w.File()), files);
        QCOMPARE(w.Form->CurrentFileIndex, -1);
        QVERIFY(w.Doc().Sorted());
        QCOMPARE(w.Titles, QStringList{"Information"});
        QCOMPARE(w.Texts, QStringList{"4 links, and 5 files was sucessfully loaded from: \r\r" + w.Dir()});
    }

    // A hand-made list file whose names lead outside the download directory: loading gives
    // failed items, and clicks, double clicks and a download run leave the outside files alone.
    void craftedNamesTouchNothingOutside()
    {
        TListTestWindow w;
        QTemporaryDir outside(QDir::tempPath() + QStringLiteral("/kv-XXXXXX"));
        const QString download = w.Settings.Root() + QStringLiteral("/download");
        QVERIFY(QDir().mkpath(download) && QDir().mkpath(w.Settings.Root() + QStringLiteral("/outside")));
        w.Form->ComboBoxDownload->SetText(download);
        // Not a picture, so a preview would take each for a corrupt download and delete it.
        const QByteArray junk(3000, 'j');
        const QStringList victims = {w.Settings.Root() + QStringLiteral("/outside/victim.jpg"),
                                     outside.filePath(QStringLiteral("v.jpg")),
                                     download + QStringLiteral("/sub/in.jpg")};
        QVERIFY(QDir().mkpath(download + QStringLiteral("/sub")));
        for (const QString& victim : victims)
            WriteAll(victim, junk);
        const QByteArray absolute = QFile::encodeName(victims[1]);
        QVERIFY(absolute.size() <= 40);  // fits the Filename field
        const QList<QByteArray> names = {"../outside/victim.jpg", absolute, "sub/in.jpg", "..",
                                         "sub/../../outside/victim.jpg"};
        QByteArray records;
        for (const QByteArray& name : names)
            records += FileRecordBytes({"http://127.0.0.1/" + name, true, FileDownloaded, name, "3000"});
        WriteAll(w.Dir() + FileListFileName, records);
        WriteAll(w.Dir() + DocListFileName, QByteArray());

        QList<QUrl> opened;
        SetShellOpenHookForTesting([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        if (!w.Form->Displayimagepreview1->isChecked())
            w.Form->Displayimagepreview1Click();
        w.Form->LoadListFromDisk();
        QCOMPARE(w.File().Count(), names.size());
        for (int i = 0; i < w.File().Count(); ++i) {
            QCOMPARE(w.File().Caption(i), "http://127.0.0.1/" + names[i]);
            QCOMPARE(w.File().SubItem(i, 1), QByteArray("Not available"));
            QCOMPARE(w.File().ImageIndex(i), int(FileFailed));
            w.Form->CurrentFileIndex = i;
            w.Form->ListViewFileClick();
            w.Form->ListViewFileDblClick();
            // Even an item put back into a downloaded state, with the name as the file had it,
            // names nothing outside: a path is joined from a plain name only.
            w.File().SetImageIndex(i, FileDownloaded);
            w.File().SetSubItem(i, 1, names[i]);
            w.Form->ListViewFileClick();
            w.Form->ListViewFileDblClick();
            QCOMPARE(w.Form->LocalPath(i), QString());
        }
        w.Form->UpdateIconsInfileList();
        SetShellOpenHookForTesting({});
        for (const QUrl& url : opened)
            QVERIFY2(QFileInfo(url.toLocalFile()).absolutePath() == download, qPrintable(url.toString()));
        for (const QString& victim : victims)
            QCOMPARE(ReadAll(victim), junk);
    }

    void whichFilesExist()
    {
        TListTestWindow w;
        w.AddDoc("http://b/");
        w.AddDoc("http://a/");
        w.AddFile("http://kept/x.jpg", true);
        const QStringList docsBefore = Items(w.Doc());

        // Neither file: nothing changes; the counts are those of the lists.
        w.Form->LoadListFromDisk();
        QCOMPARE(Items(w.Doc()), docsBefore);
        QCOMPARE(w.File().Count(), 1);
        QCOMPARE(w.Texts, QStringList{"2 links, and 1 files was sucessfully loaded from: \r\r" + w.Dir()});

        // Only the file list: its items follow those already there; the documents stay.
        WriteAll(w.Dir() + "Kelvorn.fil",
                 FileRecordBytes({"http://f/1.jpg", true, -1, "1.jpg", ""})
                     + FileRecordBytes({"http://f/2.jpg", false, FileDownloaded, "2.jpg", "99"}));
        w.ForgetMessages();
        w.Form->LoadListFromDisk();
        QCOMPARE(Items(w.Doc()), docsBefore);
        QCOMPARE(w.File().Count(), 3);
        QCOMPARE(w.File().Caption(0), QByteArray("http://kept/x.jpg"));
        QCOMPARE(w.File().Caption(1), QByteArray("http://f/1.jpg"));
        QCOMPARE(w.File().Caption(2), QByteArray("http://f/2.jpg"));
        QCOMPARE(w.File().StateImage(2), 3);
        QCOMPARE(w.Texts, QStringList{"2 links, and 3 files was sucessfully loaded from: \r\r" + w.Dir()});

        // Only the document list: both lists are replaced, the file list stays empty.
        QFile::remove(w.Dir() + "Kelvorn.fil");
        WriteAll(w.Dir() + "Kelvorn.dir", DocRecordBytes({"http://z/", false, -1, {}, {}}));
        w.Form->LoadListFromDisk();
        QCOMPARE(w.Doc().Count(), 1);
        QCOMPARE(w.File().Count(), 0);
    }

    void damagedFilesLoad_data()
    {
        QTest::addColumn<QByteArray>("dir");
        QTest::addColumn<QByteArray>("fil");
        QTest::addColumn<int>("docs");
        QTest::addColumn<int>("files");

        QByteArray longLengths = FileRecordBytes({"http://f/a.jpg", false, -1, "a.jpg", "1"});
        longLengths[FileNameOffset] = char(255);
        longLengths[SizeOffset] = char(255);
        longLengths[TickOffset] = char(9);
        QTest::newRow("length bytes past short fields") << QByteArray() << longLengths << 0 << 1;

        const QByteArray doc = DocRecordBytes({"http://d/", true, -1, {}, {}});
        QTest::newRow("trailing partial records")
            << doc + doc + doc.left(DocRecordSize - 1) << longLengths + longLengths.left(100) << 2 << 1;

        QByteArray noise(7 * FileRecordSize + 5, '\0');
        for (char& c : noise)
            c = char(QRandomGenerator::global()->bounded(256));
        QTest::newRow("random bytes") << noise.left(3 * DocRecordSize + 17) << noise << 3 << 7;
        QTest::newRow("shorter than one record") << QByteArray("abc") << QByteArray("x") << 0 << 0;
    }
    void damagedFilesLoad()
    {
        QFETCH(QByteArray, dir);
        QFETCH(QByteArray, fil);
        QFETCH(int, docs);
        QFETCH(int, files);
        TListTestWindow w;
        if (!dir.isNull())
            WriteAll(w.Dir() + "Kelvorn.dir", dir);
        WriteAll(w.Dir() + "Kelvorn.fil", fil);
        w.Form->LoadListFromDisk();
        QCOMPARE(w.Doc().Count(), docs);
        QCOMPARE(w.File().Count(), files);
        for (int i = 0; i < files; ++i) {
            QVERIFY(w.File().Caption(i).size() <= 255);
            QVERIFY(w.File().SubItem(i, 1).size() <= 40);
            QVERIFY(w.File().SubItem(i, 2).size() <= 15);
        }
        if (QTest::currentDataTag() == QByteArray("length bytes past short fields")) {
            // The length is taken as the field's capacity: the fill, never the next field.
            QCOMPARE(w.File().SubItem(0, 1), QByteArray("a.jpg") + QByteArray(35, '.'));
            QCOMPARE(w.File().SubItem(0, 2), QByteArray("1") + QByteArray(14, '.'));
            QVERIFY(w.File().Checked(0));  // a tick byte of 9 reads as ticked
        }
        QCOMPARE(w.Titles, QStringList{"Information"});
    }

    void failuresAreReported()
    {
        TListTestWindow w;
        w.AddDoc("http://d/");
        w.AddFile("http://f/x.jpg");
        w.Form->Loadlinksfilelistfromdisk1->setEnabled(false);

        // "Kelvorn.dir" cannot be written: a warning naming it, no confirmation, no load command.
        QVERIFY(QDir(w.Dir()).mkdir("Kelvorn.dir"));
        w.Form->SaveListToDisk();
        QCOMPARE(w.Titles, QStringList{"Warning"});
        QVERIFY2(w.Texts.value(0).contains(w.Dir() + "Kelvorn.dir"), qPrintable(w.Texts.value(0)));
        QVERIFY(!w.Form->Loadlinksfilelistfromdisk1->isEnabled());
        QVERIFY(!QFile::exists(w.Dir() + "Kelvorn.fil"));

        // Loading it fails before anything is cleared.
        w.ForgetMessages();
        w.Form->LoadListFromDisk();
        QCOMPARE(w.Titles, QStringList{"Warning"});
        QVERIFY(w.Texts.value(0).contains(w.Dir() + "Kelvorn.dir"));
        QCOMPARE(w.Doc().Count(), 1);
        QCOMPARE(w.File().Count(), 1);

        // "Kelvorn.fil" cannot be written: neither list file is replaced (no new document list
        // beside an old file list), and no temporary file is left.
        QVERIFY(QDir(w.Dir()).rmdir("Kelvorn.dir"));
        const QByteArray oldDocs = DocRecordBytes({"http://old/", false, -1, {}, {}});
        WriteAll(w.Dir() + "Kelvorn.dir", oldDocs);
        QVERIFY(QDir(w.Dir()).mkdir("Kelvorn.fil"));
        w.ForgetMessages();
        w.Form->SaveListToDisk();
        QCOMPARE(w.Titles, QStringList{"Warning"});
        QVERIFY(w.Texts.value(0).contains(w.Dir() + "Kelvorn.fil"));
        QCOMPARE(ReadAll(w.Dir() + "Kelvorn.dir"), oldDocs);
        QVERIFY(!w.Form->Loadlinksfilelistfromdisk1->isEnabled());
        QCOMPARE(QDir(w.Dir()).entryList(QDir::Files | QDir::Hidden), QStringList{"Kelvorn.dir"});

        // Both written: both replaced.
        QVERIFY(QDir(w.Dir()).rmdir("Kelvorn.fil"));
        w.ForgetMessages();
        w.Form->SaveListToDisk();
        QCOMPARE(w.Titles, QStringList{"Information"});
        QCOMPARE(ReadAll(w.Dir() + "Kelvorn.dir"), DocRecordBytes({"http://d/", false, -1, {}, {}}));
        QCOMPARE(QFileInfo(w.Dir() + "Kelvorn.fil").size(), FileRecordSize);
        QVERIFY(w.Form->Loadlinksfilelistfromdisk1->isEnabled());
    }

    // The two commits come after both lists are written, back to back: events that run while
    // the lists are written never see a new document list beside the old file list.
    void bothListsWrittenBeforeEitherIsReplaced()
    {
        TListTestWindow w;
        const QByteArray oldDocs = DocRecordBytes({"http://old/", false, -1, {}, {}});
        WriteAll(w.Dir() + "Kelvorn.dir", oldDocs);
        WriteAll(w.Dir() + "Kelvorn.fil", QByteArray());
        w.AddDoc("http://d/");
        for (int i = 0; i < 20000; ++i)
            w.AddFile("http://f/" + QByteArray::number(i) + ".jpg");
        int ticks = 0;
        bool mixed = false;
        QTimer probe;
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            ++ticks;
            if (ReadAll(w.Dir() + "Kelvorn.dir") != oldDocs && QFileInfo(w.Dir() + "Kelvorn.fil").size() == 0)
                mixed = true;
        });
        probe.start();
        w.Form->SaveListToDisk();
        probe.stop();
        QVERIFY2(ticks > 0, "no event ran while the lists were written");
        QVERIFY(!mixed);
        QCOMPARE(ReadAll(w.Dir() + "Kelvorn.dir"), DocRecordBytes({"http://d/", false, -1, {}, {}}));
        QCOMPARE(QFileInfo(w.Dir() + "Kelvorn.fil").size(), qint64(20000) * FileRecordSize);
    }

    void listsAreGuardedWhileSavingOrLoading()
    {
        TListTestWindow w;
        w.Form->show();
        w.AddDoc("http://h/doc.html");
        w.AddFile("http://h/a.jpg");
        w.AddFile("http://h/b.jpg");
        w.Form->UpdateScreen();
        w.File().SetCurrentIndex(0);
        w.Doc().SetCurrentIndex(0);

        // Everything the user could do while the save lets events run.
        bool ran = false, listsEnabled = true, menusEnabled = true;
        auto meddle = [&] {
            ran = true;
            listsEnabled = w.Doc().isEnabled() || w.File().isEnabled();
            menusEnabled = w.Form->menuBar()->isEnabled();
            w.Form->Selectall1->trigger();
            w.Form->Selectall2->trigger();
            w.Form->Deletealllines1->trigger();
            w.Form->Deletealllines2->trigger();
            w.Form->Sort->trigger();
            w.Form->LoadListFromDisk();
        };
        QMetaObject::invokeMethod(w.Form.get(), meddle, Qt::QueuedConnection);
        w.Form->SaveListToDisk();
        QVERIFY(ran);
        QVERIFY(!listsEnabled);
        QVERIFY(!menusEnabled);
        QCOMPARE(w.Doc().Count(), 1);
        QCOMPARE(w.File().Count(), 2);
        QVERIFY(!w.File().Checked(0) && !w.File().Checked(1) && !w.Doc().Checked(0));
        QCOMPARE(w.Titles, QStringList{"Information"});  // the save's own confirmation only
        QVERIFY(w.Doc().isEnabled() && w.File().isEnabled() && w.Form->menuBar()->isEnabled());

        // The same during a load; a save asked for meanwhile (the save at exit) leaves the
        // files being read alone.
        const QByteArray dirBytes = ReadAll(w.Dir() + "Kelvorn.dir");
        ran = false;
        QMetaObject::invokeMethod(
            w.Form.get(),
            [&] {
                meddle();
                w.Doc().Clear();  // what a save now would write differs from the file
                w.Form->SaveListToDisk();
            },
            Qt::QueuedConnection);
        w.ForgetMessages();
        w.Form->LoadListFromDisk();
        QVERIFY(ran);
        QVERIFY(!listsEnabled);
        QCOMPARE(ReadAll(w.Dir() + "Kelvorn.dir"), dirBytes);
        QCOMPARE(w.Titles, QStringList{"Information"});
    }

    void loadCommandAndSaveAtExit()
    {
        TListTestWindow w;
        QVERIFY(!w.Form->Loadlinksfilelistfromdisk1->isEnabled());  // no "Kelvorn.dir" at start
        WriteAll(w.Dir() + "Kelvorn.dir", DocRecordBytes({"http://d/", false, -1, {}, {}}));
        WriteAll(w.Dir() + "Kelvorn.fil", FileRecordBytes({"http://f/x.jpg", false, -1, "x.jpg", ""}));
        // The menu command loads, then updates the screen: both command buttons can be used.
        w.Form->Loadlinksfilelistfromdisk1->setEnabled(true);
        w.Form->Loadlinksfilelistfromdisk1->trigger();
        QCOMPARE(w.Doc().Count(), 1);
        QVERIFY(w.Form->ButtonParse->isEnabled());
        QVERIFY(w.Form->ButtonDownload->isEnabled());
        QVERIFY(w.Form->Savelinksfilelists1->isEnabled());

        // Closing with the option on saves the lists, confirmation included.
        w.AddDoc("http://e/");
        w.Form->Autosavelinksfilesasdefaultonquit1->setChecked(true);
        w.ForgetMessages();
        w.Form->close();
        QCOMPARE(w.Ends, 1);
        QCOMPARE(QFileInfo(w.Dir() + "Kelvorn.dir").size(), 2 * DocRecordSize);
        QCOMPARE(w.Texts, QStringList{"2 links, and 1 files was sucessfully saved to: \r\r" + w.Dir()});
    }

    // With "Save links && files on program exit" on, what the last exit saved comes back at the
    // next start: silently, with the skip marks and the screen update of the menu's load.
    void listsOfTheLastExitComeBackAtStart_data()
    {
        QTest::addColumn<bool>("option");
        QTest::newRow("option on: loaded") << true;
        QTest::newRow("option off: empty lists") << false;
    }
    void listsOfTheLastExitComeBackAtStart()
    {
        QFETCH(bool, option);
        IsolatedSettings settings;
        const QString downloads = settings.Root() + "/dl";
        QVERIFY(QDir().mkpath(downloads));
        WriteAll(downloads + "/have.jpg", QByteArray(2000, 'j'));
        {
            TFormMain first;
            first.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
            int ends = 0;
            first.EndProcessHook = [&ends] { ++ends; };
            first.ComboBoxDownload->SetText(downloads);
            first.Autosavelinksfilesasdefaultonquit1->setChecked(option);
            TListTestWindow::Put(*first.ListViewDoc, "http://d/page.html", true, -1);
            TListTestWindow::Put(*first.ListViewFile, "http://f/have.jpg", true, -1);
            first.ListViewFile->SetSubItem(0, 1, "have.jpg");
            TListTestWindow::Put(*first.ListViewFile, "http://f/new.jpg", true, -1);
            first.ListViewFile->SetSubItem(1, 1, "new.jpg");
            first.close();
            QCOMPARE(ends, 1);
        }
        QCOMPARE(QFile::exists(settings.ProgramDirectory() + "Kelvorn.dir"), option);

        TFormMain next;
        QStringList texts;
        next.MessageBoxHook = [&texts](MsgKind, const QString&, const QString& text) {
            texts << text;
            return int(mrOk);
        };
        next.EndProcessHook = [] {};
        QCoreApplication::processEvents();  // the start's load runs once the window is up
        QCOMPARE(next.ListViewDoc->Count(), option ? 1 : 0);
        QCOMPARE(next.ListViewFile->Count(), option ? 2 : 0);
        QCOMPARE(texts, QStringList());  // no confirmation, no warning
        QCOMPARE(next.ButtonParse->isEnabled(), option);
        if (option) {
            QCOMPARE(next.ListViewFile->Caption(0), QByteArray("http://f/have.jpg"));
            QCOMPARE(next.ListViewFile->ImageIndex(0), int(FileSkipped));  // it lies in the directory
            QCOMPARE(next.ListViewFile->ImageIndex(1), int(FilePending));
            QVERIFY(next.ListViewFile->Checked(1));
        }
    }
};

QTEST_MAIN(TestListFiles)
#include "test_listfiles.moc"
