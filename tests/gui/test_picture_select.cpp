// "Select all" with modern pages: one file per picture, the largest copy; the other copies
// stay listed, unticked. With the option off it ticks every untouched file as before.
#include <QtTest>

#include "gui/DownloadFixture.h"
#include "gui/RetrievalFixture.h"
#include "gui/TickedItems.h"
#include "support/PyHttpServer.h"

namespace {
// A gallery as modern pages build it: thumbnails with srcset that link to the full size, a
// picture whose copies differ by size suffix only, a logo, and a file that is no picture.
QByteArray Gallery(int pictures)
{
    QByteArray page = "<!doctype html><html><body><img src='logo.png' width=120 height=40>";
    for (int i = 1; i <= pictures; ++i) {
        const QByteArray n = QByteArray::number(i);
        page += "<a href='photos/p" + n + ".jpg'><img src='thumbs/p" + n + ".jpg' srcset='thumbs/p" + n
            + ".jpg 200w, photos/p" + n + "-1024x683.jpg 1024w'></a>";
    }
    page += "<img src='wp/beach-300x200.jpg'><a href='wp/beach-1024x683.jpg'>m</a><a href='wp/beach.jpg'>l</a>"
            "<a href='files/all.zip'>zip</a></body></html>";
    return page;
}

}  // namespace

class TestPictureSelect : public QObject {
    Q_OBJECT
private slots:
    void selectAllTakesOneFilePerPicture_data()
    {
        QTest::addColumn<bool>("modern");
        QTest::newRow("modern pages: the largest copy of each") << true;
        QTest::newRow("classic: every file") << false;
    }
    void selectAllTakesOneFilePerPicture()
    {
        QFETCH(bool, modern);
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
        const QByteArray h = "http://g.test/";
        w.win->ParseDocument(h, Gallery(3), ParseMain, h + "index.html");
        QCOMPARE(w.Files()->Count(), 11);
        // A file the user has downloaded already keeps its state and its tick.
        const int done = RetrievalWindow::IndexOf(w.Files(), h + "photos/p3.jpg");
        w.Files()->SetImageIndex(done, FileDownloaded);
        w.Files()->SetChecked(RetrievalWindow::IndexOf(w.Files(), h + "photos/p1-1024x683.jpg"), true);
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, modern);
        w.win->Selectall1->trigger();
        if (modern) {
            QCOMPARE(Ticked(w.Files()),
                     (QByteArrayList{h + "logo.png", h + "photos/p1.jpg", h + "photos/p2.jpg", h + "wp/beach.jpg",
                                     h + "files/all.zip"}));
        } else {
            QByteArrayList all = RetrievalWindow::Captions(w.Files());
            all.removeOne(h + "photos/p3.jpg");
            QCOMPARE(Ticked(w.Files()), all);
        }
        QCOMPARE(w.Files()->Count(), 11);  // the other copies stay listed
        QCOMPARE(w.Files()->ImageIndex(done), int(FileDownloaded));
    }

    // Get document on a local gallery, "Select all", Download files: the files fetched are the
    // full-size pictures, one per picture (and the logo and the archive); no copy is fetched.
    void galleryEndToEnd()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        PyHttpServer server(root.path());
        QVERIFY(server.Start());
        WriteFile(root.path(), "g/index.html", Gallery(4));
        const QStringList wanted{"logo.png",      "photos/p1.jpg", "photos/p2.jpg", "photos/p3.jpg",
                                 "photos/p4.jpg", "wp/beach.jpg",  "files/all.zip"};
        for (const QString& path : wanted)
            WriteFile(root.path(), "g/" + path, Content(path.toLatin1(), 3000));
        const QByteArray b = server.Url("/g/");
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
        w.Get(b + "index.html");
        QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle() && w.Files()->Count() > 0, 60000);
        QCOMPARE(w.Files()->Count(), 13);
        w.win->Selectall1->trigger();
        QByteArrayList expected;
        for (const QString& path : wanted)
            expected << b + path.toLatin1();
        QCOMPARE(Ticked(w.Files()), expected);

        w.win->UpdateScreen();
        w.win->ButtonDownload->click();
        const auto finished = [&] {
            for (const QByteArray& address : expected)
                if (w.Files()->ImageIndex(RetrievalWindow::IndexOf(w.Files(), address)) != FileDownloaded)
                    return false;
            return w.LooksIdle();
        };
        QTRY_VERIFY_WITH_TIMEOUT(finished(), 60000);
        for (int i = 0; i < w.Files()->Count(); ++i)
            if (!expected.contains(w.Files()->Caption(i)))
                QCOMPARE(w.Files()->ImageIndex(i), int(FilePending));
        QCOMPARE(QDir(w.downloads.path()).entryList(QDir::Files).size(), wanted.size());
        QVERIFY(QTest::qWaitFor([] { return TDownload::Running() == 0; }, 30000));
    }
};

QTEST_MAIN(TestPictureSelect)
#include "test_picture_select.moc"
