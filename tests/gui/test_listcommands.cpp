// The lists' context-menu commands, current items with the list lock, keys and mouse, and
// column widths.
#include <QtTest>

#include "ListTestWindow.h"
#include "main/ShellOpen.h"

namespace {
// Tick, state image and icon of every item, for comparing whole lists at once.
QStringList Looks(TCheckListView& list)
{
    QStringList looks;
    for (int i = 0; i < list.Count(); ++i)
        looks << QStringLiteral("%1 state=%2 image=%3")
                     .arg(QString::fromLatin1(list.Caption(i)))
                     .arg(list.StateImage(i))
                     .arg(list.ImageIndex(i));
    return looks;
}

QStringList Captions(TCheckListView& list)
{
    QStringList captions;
    for (int i = 0; i < list.Count(); ++i)
        captions << QString::fromLatin1(list.Caption(i));
    return captions;
}

QPoint RowCentre(TCheckListView& list, int row) { return list.visualItemRect(list.topLevelItem(row)).center(); }
}  // namespace

class TestListCommands : public QObject {
    Q_OBJECT
private slots:
    // A document item opens only a web address: any other scheme would start its handler.
    void documentOpensOnlyWebAddresses_data()
    {
        QTest::addColumn<QByteArray>("caption");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << QByteArray("http://a/page.html") << true;
        QTest::newRow("https, upper case") << QByteArray("HTTPS://a/page.html") << true;
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << false;
        QTest::newRow("smb") << QByteArray("smb://server/share") << false;
        QTest::newRow("custom scheme") << QByteArray("steam://run/1") << false;
        QTest::newRow("no scheme") << QByteArray("/usr/bin/xterm") << false;
        QTest::newRow("http inside another scheme") << QByteArray("javascript:http://a/") << false;
    }
    void documentOpensOnlyWebAddresses()
    {
        QFETCH(QByteArray, caption);
        QFETCH(bool, opened);
        TListTestWindow w;
        w.AddDoc(caption, false, DocParsed);
        QList<QUrl> urls;
        SetShellOpenHookForTesting([&urls](const QUrl& url) {
            urls << url;
            return true;
        });
        QTest::mouseDClick(w.Doc().viewport(), Qt::LeftButton, {}, RowCentre(w.Doc(), w.IndexOfDoc(caption)));
        // The double click's command was posted; it runs with the events posted so far.
        QCoreApplication::sendPostedEvents();
        SetShellOpenHookForTesting({});
        QCOMPARE(urls.size(), opened ? 1 : 0);
        if (opened)
            QCOMPARE(urls.first().toString().toLower(), QString::fromLatin1(caption).toLower());
    }

    void tickCommandsTouchUntouchedItemsOnly()
    {
        TListTestWindow w;
        TFormMain& f = *w.Form;
        for (auto* list : {&w.Doc(), &w.File()}) {
            TListTestWindow::Put(*list, "http://a/1", false, -1);
            TListTestWindow::Put(*list, "http://a/2", true, -1);
            TListTestWindow::Put(*list, "http://a/3", false, 2);  // done: icon, no box
        }
        const struct {
            QAction* select;
            QAction* deselect;
            QAction* invert;
            TCheckListView* list;
        } menus[] = {{f.Selectall2, f.Deselectall2, f.Invertselection2, &w.Doc()},
                     {f.Selectall1, f.Deselectall1, f.Invertselection1, &w.File()}};
        for (const auto& m : menus) {
            m.invert->trigger();
            QCOMPARE(Looks(*m.list),
                     (QStringList{"http://a/1 state=1 image=-1", "http://a/2 state=0 image=-1",
                                  "http://a/3 state=3 image=2"}));
            m.select->trigger();
            QCOMPARE(Looks(*m.list),
                     (QStringList{"http://a/1 state=1 image=-1", "http://a/2 state=1 image=-1",
                                  "http://a/3 state=3 image=2"}));
            m.deselect->trigger();
            QCOMPARE(Looks(*m.list),
                     (QStringList{"http://a/1 state=0 image=-1", "http://a/2 state=0 image=-1",
                                  "http://a/3 state=3 image=2"}));
        }
        // The public form used by the parsing pass.
        f.SelectAllFiles();
        QVERIFY(w.File().Checked(0) && w.File().Checked(1));
        QCOMPARE(w.File().StateImage(2), 3);
        QVERIFY(w.Texts.isEmpty());
    }

    void selectByHostPrefix()
    {
        TListTestWindow w;
        TFormMain& f = *w.Form;
        const int marked = w.AddFile("http://www.Host.com/a/1.jpg");
        w.AddFile("HTTP://WWW.HOST.COM/b.jpg");                     // other case
        w.AddFile("http://other.org/go?to=http://www.host.com/x");  // inside the path
        w.AddFile("http://www.host.com.mirror.net/c.jpg");          // a text prefix
        w.AddFile("http://other.org/d.jpg");
        w.AddFile("http://www.host.com/done.jpg", false, FileDownloaded);
        w.AddFile("http://www.host.com/ticked.jpg", true);  // ticked again and counted

        f.CurrentFileIndex = -1;
        f.SelectalllinesreferingtomarkedUrl2->trigger();
        QVERIFY(w.Texts.isEmpty());
        QCOMPARE(w.File().Checked(0), false);

        w.File().SetCurrentIndex(marked);
        QCOMPARE(f.CurrentFileIndex, marked);
        f.SelectalllinesreferingtomarkedUrl2->trigger();
        QCOMPARE(w.Titles, QStringList{"Information"});
        QCOMPARE(w.Texts, QStringList{"5 line(s) where selected."});
        QCOMPARE(
            Looks(w.File()).mid(0, 6),
            (QStringList{"http://www.Host.com/a/1.jpg state=1 image=-1", "HTTP://WWW.HOST.COM/b.jpg state=1 image=-1",
                         "http://other.org/go?to=http://www.host.com/x state=1 image=-1",
                         "http://www.host.com.mirror.net/c.jpg state=1 image=-1",
                         "http://other.org/d.jpg state=0 image=-1", "http://www.host.com/done.jpg state=3 image=2"}));

        // A caption without "//": the text before the first "/" from the second character on.
        w.ForgetMessages();
        w.Doc().Clear();
        w.AddDoc("www.site.org/index.html");
        w.AddDoc("WWW.SITE.ORG/b.html");
        w.AddDoc("http://www.site.org/c.html");
        w.AddDoc("http://else.org/d.html");
        w.Doc().SetCurrentIndex(w.IndexOfDoc("www.site.org/index.html"));
        f.SelectalllinesreferingtomarkedUrl1->trigger();
        QCOMPARE(w.Texts, QStringList{"3 line(s) where selected."});
        QVERIFY(!w.Doc().Checked(w.IndexOfDoc("http://else.org/d.html")));

        // Only the marked item matches, and it has an icon: a count of 0 shows nothing.
        w.ForgetMessages();
        w.Doc().SetImageIndex(w.IndexOfDoc("http://else.org/d.html"), DocParsed);
        w.Doc().SetCurrentIndex(w.IndexOfDoc("http://else.org/d.html"));
        f.SelectalllinesreferingtomarkedUrl1->trigger();
        QVERIFY(w.Texts.isEmpty());
    }

    void deleteByHostPrefix()
    {
        TListTestWindow w;
        TFormMain& f = *w.Form;
        w.AddFile("http://Host.com/b.jpg");
        const int marked = w.AddFile("http://Host.com/a/x.jpg");
        w.AddFile("http://host.com/c.jpg");                         // differs in case only: kept
        w.AddFile("http://x.org/?http://Host.com/e.jpg");           // not at the start: kept
        w.AddFile("http://Host.com/d.jpg", false, FileDownloaded);  // removed whatever its icon
        w.AddFile("http://Host.com");
        w.File().SetCurrentIndex(marked);

        w.Answer = mrNo;
        f.Deletealllines1->trigger();
        QCOMPARE(w.Titles, QStringList{"Confirm"});
        QCOMPARE(w.Texts, QStringList{"Delete all lines refering to : http://Host.com"});
        QCOMPARE(w.File().Count(), 6);
        QCOMPARE(f.CurrentFileIndex, marked);

        w.Answer = mrYes;
        w.ForgetMessages();
        f.Deletealllines1->trigger();
        QCOMPARE(Captions(w.File()), (QStringList{"http://host.com/c.jpg", "http://x.org/?http://Host.com/e.jpg"}));
        QCOMPARE(f.CurrentFileIndex, -1);
        QCOMPARE(w.Texts.size(), 1);  // the question, and no message after it

        // The index is reset: a second delete asks nothing until an item is marked again.
        f.Deletealllines1->trigger();
        QCOMPARE(w.Texts.size(), 1);
        QCOMPARE(w.File().Count(), 2);

        // The document list, with a caption without "//".
        w.Doc().Clear();
        w.AddDoc("site.org/a.html");
        w.AddDoc("site.org/b.html");
        w.AddDoc("site.organ/c.html");  // starts with the prefix text: removed too
        w.AddDoc("Site.org/d.html");
        w.Doc().SetCurrentIndex(w.IndexOfDoc("site.org/b.html"));
        w.ForgetMessages();
        f.Deletealllines2->trigger();
        QCOMPARE(w.Texts, QStringList{"Delete all lines refering to : site.org"});
        QCOMPARE(Captions(w.Doc()), QStringList{"Site.org/d.html"});
        QCOMPARE(f.CurrentDocIndex, -1);
    }

    void resetCommands()
    {
        TListTestWindow w;
        TFormMain& f = *w.Form;
        const int doc = w.AddDoc("http://d/parsed.html", false, DocParsed);
        const int file = w.AddFile("http://h/dir/pic.jpg", false, FileDownloaded, "pic_.jpg", "123456");

        // Without a current item nothing happens.
        f.CurrentDocIndex = -1;
        f.CurrentFileIndex = -1;
        f.Resetlink1->trigger();
        f.Resetfile1->trigger();
        QCOMPARE(w.Doc().ImageIndex(doc), DocParsed);
        QCOMPARE(w.File().ImageIndex(file), FileDownloaded);

        w.Doc().SetCurrentIndex(doc);
        f.Resetlink1->trigger();
        QCOMPARE(w.Doc().ImageIndex(doc), DocPending);
        QCOMPARE(w.Doc().StateImage(doc), 0);  // box shown, not ticked

        w.File().SetCurrentIndex(file);
        f.Resetfile1->trigger();
        QCOMPARE(w.File().ImageIndex(file), FilePending);
        QCOMPARE(w.File().StateImage(file), 1);  // box shown, ticked for the next run
        QCOMPARE(w.File().SubItem(file, 1), QByteArray("pic.jpg"));
        QCOMPARE(w.File().SubItem(file, 2), QByteArray());
    }

    void sortListSortsOnce()
    {
        TListTestWindow w;
        for (const char* c : {"http://c/", "http://a/", "http://d/", "http://b/"})
            w.AddFile(c);
        w.File().SetCurrentIndex(1);
        w.Form->Sort->trigger();
        QCOMPARE(Captions(w.File()), (QStringList{"http://a/", "http://b/", "http://c/", "http://d/"}));
        QCOMPARE(w.Form->CurrentFileIndex, -1);
        QVERIFY(!w.File().Sorted());
        w.AddFile("http://0/");  // appended, not sorted in
        QCOMPARE(Captions(w.File()).last(), QStringLiteral("http://0/"));
    }

    void currentItemsAndTheListLock()
    {
        TListTestWindow w;
        TFormMain& f = *w.Form;
        for (const char* c : {"http://f/0", "http://f/1", "http://f/2"})
            w.AddFile(c);
        w.File().SetCurrentIndex(0);
        QCOMPARE(f.CurrentFileIndex, 0);

        // An engine writing its outcome holds the lock: the user's item stays current.
        w.File().Tag = 1;
        w.File().SetImageIndex(2, FileDownloaded);
        w.File().SetSubItem(2, 2, "5000");
        QCOMPARE(f.CurrentFileIndex, 0);
        w.File().Tag = 0;
        w.File().SetImageIndex(2, FileDownloaded);
        QCOMPARE(f.CurrentFileIndex, 2);
        w.File().SetChecked(1, true);
        QCOMPARE(f.CurrentFileIndex, 1);

        // The document list follows every change, whatever the file list's lock.
        w.AddDoc("http://d/a");
        w.AddDoc("http://d/b");
        w.File().Tag = 1;
        w.Doc().SetChecked(1, true);
        QCOMPARE(f.CurrentDocIndex, 1);
        w.File().Tag = 0;
    }

    void keysAndMouse()
    {
        TListTestWindow w;
        TFormMain& f = *w.Form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QByteArray longCaption = "http://long/" + QByteArray(250, 'x');
        w.AddDoc(longCaption);
        w.AddDoc("http://a/", false, DocParsed);
        w.AddFile("http://f/a.jpg", false, FileDownloaded);
        const int done = w.IndexOfDoc("http://a/");

        // An item with an icon that shows a box again (as the list's own toggle would) loses it
        // after a click or a space key.
        w.Doc().SetCurrentIndex(done);
        w.Doc().SetStateImage(done, 1);
        QTest::mouseClick(w.Doc().viewport(), Qt::LeftButton, {}, RowCentre(w.Doc(), done));
        QTRY_COMPARE(w.Doc().StateImage(done), 3);
        w.Doc().SetStateImage(done, 0);
        w.Doc().setFocus();
        QTest::keyClick(&w.Doc(), Qt::Key_Space);
        QTRY_COMPARE(w.Doc().StateImage(done), 3);
        w.File().SetCurrentIndex(0);
        w.File().SetStateImage(0, 1);
        QTest::keyClick(&w.File(), Qt::Key_Space);
        QTRY_COMPARE(w.File().StateImage(0), 3);

        // A double click opens the document's address with the shell, 200 characters at most.
        QList<QUrl> opened;
        SetShellOpenHookForTesting([&opened](const QUrl& url) {
            opened << url;
            return false;  // a failure is ignored
        });
        const int longRow = w.IndexOfDoc(longCaption);
        QTest::mouseDClick(w.Doc().viewport(), Qt::LeftButton, {}, RowCentre(w.Doc(), longRow));
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).toString(), QString::fromLatin1(longCaption.left(200)));
        f.CurrentDocIndex = -1;
        QTest::mouseDClick(w.Doc().viewport(), Qt::LeftButton, {}, QPoint(5, w.Doc().viewport()->height() - 2));
        QCoreApplication::processEvents();
        QCOMPARE(opened.size(), 1);
        SetShellOpenHookForTesting({});
    }

    void columnWidthsFollowTheListWidth()
    {
        TListTestWindow w;
        w.Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.Form.get()));
        w.File().setColumnWidth(1, 90);
        w.File().setColumnWidth(2, 70);
        w.File().resize(500, 200);
        QTRY_COMPARE(w.File().width(), 500);
        QCOMPARE(w.File().columnWidth(0), 500 - 90 - 70 - 4);
        w.Form->resize(w.Form->width() + 100, w.Form->height());
        QTRY_COMPARE(w.File().columnWidth(0), w.File().width() - 90 - 70 - 4);
    }
};

QTEST_MAIN(TestListCommands)
#include "test_listcommands.moc"
