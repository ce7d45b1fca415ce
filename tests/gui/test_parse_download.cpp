// Parse links followed by the automatic download ("Auto select && download files after
// parsing"): every pending file is ticked and fetched into the download directory, also when no
// document was ticked and when the pass was stopped, and the beep sounds once for the download
// and once for the pass.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "download/UnitDownloadThreads.h"
#include "gui/DownloadFixture.h"
#include "gui/RetrievalFixture.h"
#include "gui/StallServer.h"
#include "support/PyHttpServer.h"
#include "support/WhenReady.h"

namespace {

constexpr int FileSize = 5000;  // above the size under which a finished file is thrown away

QStringList FilesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

// The window with the automatic download and the beep on, and the preview out of the way.
void AutoDownloadOn(RetrievalWindow& w)
{
    RetrievalWindow::Set(w.win->Autoselectdownloadfilesafterparsing1, true);
    RetrievalWindow::Set(w.win->Beepwhendoneworking1, true);
    RetrievalWindow::Set(w.win->Displayimagepreview1, false);
}

// Engine threads end just after their last report; none may outlive the window.
bool EnginesGone()
{
    return QTest::qWaitFor([] { return TDownload::Running() == 0; }, 30000);
}

int CountState(const TCheckListView* list, int state)
{
    int n = 0;
    for (int i = 0; i < list->Count(); ++i)
        n += list->ImageIndex(i) == state ? 1 : 0;
    return n;
}

}  // namespace

class TestParseDownload : public QObject {
    Q_OBJECT

private slots:
    // A ticked document from Python's http.server: its files are listed, the one already on
    // disk is skipped, every other one is ticked and downloaded intact; the download command
    // runs to its end (first beep) before the pass ends (second beep).
    void parseThenDownloadEverything()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        PyHttpServer server(root.path());
        QVERIFY(server.Start());
        const QByteArray b = server.Url("/site/");
        WriteFile(root.path(), "site/page.html",
                  "<a href=\"files/one.zip\">1</a> <a href=\"two.mpg\">2</a>\n"
                  "<a href=\"child.html\">child</a> <a href=\"had.zip\">had</a>\n"
                  "<a href=\"files/one.zip\">1 again</a>\n");
        WriteFile(root.path(), "site/unticked.html", "<a href=\"never.zip\">n</a>");
        const QByteArray one = Content("one", FileSize);
        const QByteArray two = Content("two", FileSize + 123);
        WriteFile(root.path(), "site/files/one.zip", one);
        WriteFile(root.path(), "site/two.mpg", two);
        WriteFile(root.path(), "site/had.zip", Content("served had", FileSize));
        WriteFile(root.path(), "site/never.zip", Content("never", FileSize));

        RetrievalWindow w;
        AutoDownloadOn(w);
        const QByteArray mine = Content("my own had", 1500);
        WriteFile(w.downloads.path(), "had.zip", mine);
        w.AddTickedDocs({b + "page.html"});
        w.Docs()->Add(b + "unticked.html");
        QList<int> downloadedAtBeep;
        w.win->BeepHook = [&] {
            ++w.beeps;
            downloadedAtBeep << CountState(w.Files(), FileDownloaded);
        };

        w.win->ButtonParse->click();

        QCOMPARE(RetrievalWindow::Captions(w.Files()),
                 (QByteArrayList{b + "files/one.zip", b + "two.mpg", b + "had.zip"}));
        QCOMPARE(w.Files()->ImageIndex(0), int(FileDownloaded));
        QCOMPARE(w.Files()->ImageIndex(1), int(FileDownloaded));
        QVERIFY(w.Files()->Checked(0));
        QVERIFY(w.Files()->Checked(1));
        QCOMPARE(w.Files()->ImageIndex(2), int(FileSkipped));
        QCOMPARE(ReadFile(w.downloads.filePath("one.zip")), one);
        QCOMPARE(ReadFile(w.downloads.filePath("two.mpg")), two);
        QCOMPARE(ReadFile(w.downloads.filePath("had.zip")), mine);  // neither replaced nor renamed
        QCOMPARE(FilesIn(w.downloads.path()), (QStringList{"had.zip", "one.zip", "two.mpg"}));

        QCOMPARE(w.beeps, 2);
        QCOMPARE(downloadedAtBeep, (QList<int>{2, 2}));
        const auto at = [&](const QByteArray& c) { return RetrievalWindow::IndexOf(w.Docs(), c); };
        QCOMPARE(w.Docs()->ImageIndex(at(b + "page.html")), int(DocParsed));
        QCOMPARE(w.Docs()->ImageIndex(at(b + "unticked.html")), int(DocPending));
        QCOMPARE(w.Docs()->ImageIndex(at(b + "child.html")), int(DocPending));
        QVERIFY(!w.Docs()->Checked(at(b + "child.html")));
        QVERIFY(w.Docs()->Sorted());
        QVERIFY(w.LooksIdle());
        QVERIFY(w.win->ComboBoxDownload->isEnabled());
        QVERIFY(!w.win->TimerDoc->isActive());
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        QVERIFY(w.messages.isEmpty());
        QVERIFY(EnginesGone());
    }

    // No document ticked: nothing is fetched, yet the pending files already listed are ticked
    // and downloaded; without "Add new files to excisting list when parsing" the list is
    // emptied first, so the download finds nothing to do.
    void noTickedDocumentStillDownloads_data()
    {
        QTest::addColumn<bool>("keepFiles");
        QTest::newRow("listed files kept and downloaded") << true;
        QTest::newRow("list emptied, nothing downloaded") << false;
    }
    void noTickedDocumentStillDownloads()
    {
        QFETCH(bool, keepFiles);
        StallServer server;
        const QByteArray f1 = Content("f1", FileSize);
        const QByteArray f2 = Content("f2", FileSize * 2);
        server.SetPage("/index.html", "<a href=\"doc.html\">d</a> <a href=\"f1.zip\">1</a> <a href=\"f2.zip\">2</a>");
        server.SetPage("/doc.html", "<a href=\"f3.zip\">3</a>");
        server.SetPage("/f1.zip", f1);
        server.SetPage("/f2.zip", f2);
        server.SetPage("/f3.zip", Content("f3", FileSize));

        RetrievalWindow w;
        AutoDownloadOn(w);
        w.Get(server.Url("/index.html"));
        QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{server.Url("/doc.html")}));
        QVERIFY(!w.Docs()->Checked(0));
        QCOMPARE(w.Files()->Count(), 2);
        QVERIFY(!w.Files()->Checked(0));
        // A file that is not pending any more is not ticked again nor fetched a second time.
        w.Files()->SetImageIndex(1, FileFailed);
        RetrievalWindow::Set(w.win->Addnewfilestoexcistinglistwhenparsing1, keepFiles);
        w.beeps = 0;

        w.win->ButtonParse->click();

        QCOMPARE(server.RequestsFor("/doc.html"), 0);
        QCOMPARE(server.RequestsFor("/f3.zip"), 0);
        QCOMPARE(server.RequestsFor("/f2.zip"), 0);
        QCOMPARE(w.Docs()->ImageIndex(0), int(DocPending));
        if (keepFiles) {
            QCOMPARE(w.Files()->Count(), 2);
            QCOMPARE(w.Files()->ImageIndex(0), int(FileDownloaded));
            QVERIFY(w.Files()->Checked(0));
            QCOMPARE(w.Files()->ImageIndex(1), int(FileFailed));
            QVERIFY(!w.Files()->Checked(1));
            QCOMPARE(server.RequestsFor("/f1.zip"), 1);
            QCOMPARE(ReadFile(w.downloads.filePath("f1.zip")), f1);
            QCOMPARE(FilesIn(w.downloads.path()), QStringList{"f1.zip"});
        } else {
            QCOMPARE(w.Files()->Count(), 0);
            QCOMPARE(server.RequestsFor("/f1.zip"), 0);
            QVERIFY(FilesIn(w.downloads.path()).isEmpty());
        }
        QCOMPARE(w.beeps, 2);  // the download command ends with its own beep, even with nothing to do
        QVERIFY(w.LooksIdle());
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        QVERIFY(EnginesGone());
    }

    // Stop while the second of three ticked documents stalls: the third is passed over, yet
    // existing files are still marked and the download command still runs for the rest.
    void stopDuringPassStillDownloads()
    {
        StallServer server;
        const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
        server.SetPage("/a.html", "<a href=\"fa.zip\">a</a> <a href=\"had.zip\">had</a>");
        server.SetReply("/b.html", {ok + "\r\n", "<a href=\"fb.zip\">b</a>"});
        server.SetPage("/c.html", "<a href=\"fc.zip\">c</a>");
        const QByteArray fa = Content("fa", FileSize);
        server.SetPage("/fa.zip", fa);
        server.SetPage("/had.zip", Content("served had", FileSize));

        RetrievalWindow w;
        AutoDownloadOn(w);
        const QByteArray mine = Content("my own had", 2000);
        WriteFile(w.downloads.path(), "had.zip", mine);
        w.AddTickedDocs({server.Url("/a.html"), server.Url("/b.html"), server.Url("/c.html")});
        WhenReady stop([&] { return server.Stalled() > 0; }, [&] { w.win->ButtonStop->click(); });

        w.win->ButtonParse->click();

        QVERIFY(stop.Done);
        const auto at = [&](const char* page) { return RetrievalWindow::IndexOf(w.Docs(), server.Url(page)); };
        QCOMPARE(w.Docs()->ImageIndex(at("/a.html")), int(DocParsed));
        QCOMPARE(w.Docs()->ImageIndex(at("/b.html")), int(DocFailed));
        QCOMPARE(w.Docs()->ImageIndex(at("/c.html")), int(DocPending));
        QVERIFY(w.Docs()->Checked(at("/c.html")));
        QCOMPARE(server.RequestsFor("/c.html"), 0);

        QCOMPARE(RetrievalWindow::Captions(w.Files()), (QByteArrayList{server.Url("/fa.zip"), server.Url("/had.zip")}));
        QCOMPARE(w.Files()->ImageIndex(0), int(FileDownloaded));
        QVERIFY(w.Files()->Checked(0));
        QCOMPARE(w.Files()->ImageIndex(1), int(FileSkipped));
        QCOMPARE(server.RequestsFor("/fa.zip"), 1);
        QCOMPARE(server.RequestsFor("/had.zip"), 0);
        QCOMPARE(ReadFile(w.downloads.filePath("fa.zip")), fa);
        QCOMPARE(ReadFile(w.downloads.filePath("had.zip")), mine);
        QCOMPARE(FilesIn(w.downloads.path()), (QStringList{"fa.zip", "had.zip"}));
        QCOMPARE(w.beeps, 2);
        QVERIFY(w.LooksIdle());
        QVERIFY(w.Docs()->Sorted());
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        QTRY_COMPARE_WITH_TIMEOUT(server.PeerCloses(), 1, 10000);
        QVERIFY(EnginesGone());
    }

    // Download run again while the first run waits for its engine (a key or menu command
    // handled in its event processing): the second run is refused, so it neither stops the
    // running engine nor ends the run early; the file arrives whole and the run beeps once.
    void downloadAgainWhileEnginesRunIsRefused()
    {
        StallServer server;
        const QByteArray body = Content("big", FileSize);
        server.SetReply("/big.zip",
                        {"HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(FileSize) + "\r\n\r\n"
                             + body.left(FileSize / 2),
                         body.mid(FileSize / 2)});
        server.SetPage("/page.html", "<a href=\"big.zip\">big</a>");
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Displayimagepreview1, false);
        RetrievalWindow::Set(w.win->Beepwhendoneworking1, false);
        w.Get(server.Url("/page.html"));
        QCOMPARE(RetrievalWindow::Captions(w.Files()), QByteArrayList{server.Url("/big.zip")});
        RetrievalWindow::Set(w.win->Beepwhendoneworking1, true);
        w.win->SelectAllFiles();
        bool busyInside = false;
        WhenReady again([&] { return server.Stalled() > 0; },
                        [&] {
                            w.win->ButtonDownloadClick();
                            busyInside = w.win->Busy && w.win->ActiveConnection();
                            server.Release();
                        });

        w.win->ButtonDownloadClick();

        QVERIFY(again.Done);
        QVERIFY(busyInside);
        QCOMPARE(w.Files()->ImageIndex(0), int(FileDownloaded));
        QCOMPARE(ReadFile(w.downloads.filePath("big.zip")), body);
        QCOMPARE(server.RequestsFor("/big.zip"), 1);
        QCOMPARE(w.beeps, 1);
        QVERIFY(w.LooksIdle());
        QVERIFY(EnginesGone());
    }
};

QTEST_MAIN(TestParseDownload)
#include "test_parse_download.moc"
