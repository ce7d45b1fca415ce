// End to end against Python's http.server on 127.0.0.1: Get document, the one-level-up pass,
// Parse links and "Use selected doc as main", driven through the real main window.
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "rules/ListStates.h"
#include "gui/RetrievalFixture.h"
#include "gui/StallServer.h"
#include "support/PyHttpServer.h"

namespace {

void WriteFile(const QString& root, const QString& path, const QByteArray& text)
{
    const QString full = root + QLatin1Char('/') + path;
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}  // namespace

constexpr int BigPageDocuments = 30000;

class TestHarvest : public QObject {
    Q_OBJECT

    QTemporaryDir FRoot;
    std::unique_ptr<PyHttpServer> FServer;
    QByteArray H;  // "http://127.0.0.1:PORT"
    QByteArray B;  // H + "/site/"

private slots:
    void initTestCase()
    {
        QVERIFY(FRoot.isValid());
        FServer = std::make_unique<PyHttpServer>(FRoot.path());
        QVERIFY(FServer->Start());
        H = FServer->Url("");
        B = H + "/site/";
        const QString r = FRoot.path();
        // The main page: relative, absolute, "..", picture and duplicate links, and links that
        // must be ignored.
        WriteFile(r, "site/index.html",
                  "<html><body>\n"
                  "<a href=\"page1.html\">one</a>\n"
                  "<A HREF=\"sub/page2.html\">two</A>\n"
                  "<a href=\"../other/page3.html\">three</a>\n"
                  "<a href=\""
                      + H
                      + "/site/page4.htm\">four</a>\n"
                        "<a href=\"page1.html\">one again</a>\n"
                        "<a href=\"files/pack.zip\">zip</a>\n"
                        "<a href=\""
                      + H
                      + "/site/movie.mpg\">movie</a>\n"
                        "<a href=\"pack2.zip?x=1\">query</a>\n"
                        "<a href=\"mailto:me@example.html\">mail</a>\n"
                        "<img src=\"pic1.jpg\"> <img src=\"pic1.jpg\"> <IMG SRC=\"Pics/Pic2.GIF\">\n"
                        "<a href=\"files/pack.zip\">zip again</a>\n"
                        "</body></html>\n");
        WriteFile(r, "site/page1.html",
                  "<a href=\"a1.jpg\">a</a> <a href=\"child.html\">c</a>"
                  "<a href=\"files/pack.zip\">shared</a>");
        WriteFile(r, "site/sub/page2.html",
                  "<a href=\"../files/pack.zip\">shared</a> <a href=\"b.zip\">b</a> <a href=\"../p5.html\">up</a>");
        WriteFile(r, "other/page3.html", "<img src=\"c.gif\">");
        // page4.htm does not exist: a 404 for every fetch of it.
        WriteFile(r, "site/Upper/Page.html", "<a href=\"x.jpg\">x</a>");
        WriteFile(r, "site/child.html", "<a href=\"d.jpg\">d</a>");
        // A big index: many distinct documents, in an order that is not the sorted one, and a
        // few files among them.
        QByteArray big = "<html><body>\n";
        for (int i = 0; i < BigPageDocuments; ++i) {
            big += "<a href=\"big/d" + QByteArray::number((i * 7919) % BigPageDocuments) + ".html\">d</a>\n";
            if (i % 1000 == 0)
                big += "<img src=\"big/p" + QByteArray::number(i) + ".jpg\">\n";
        }
        WriteFile(r, "site/big.html", big + "</body></html>\n");
    }

    void cleanupTestCase() { FServer.reset(); }

    // Get document fills both lists, in scan order for files and sorted for documents.
    void getDocumentFillsBothLists()
    {
        RetrievalWindow w;
        w.Files()->Add("http://old/file.jpg");  // emptied: new files do not join old ones
        w.Get(B + "index.html");

        const QByteArrayList docs{B + "page1.html", B + "sub/page2.html", H + "/other/page3.html", B + "page4.htm"};
        QByteArrayList sortedDocs = docs;
        std::sort(sortedDocs.begin(), sortedDocs.end(), [](const QByteArray& a, const QByteArray& b) {
            return QString::localeAwareCompare(QString::fromLatin1(a), QString::fromLatin1(b)) < 0;
        });
        QCOMPARE(RetrievalWindow::Captions(w.Docs()), sortedDocs);
        QVERIFY(w.Docs()->Sorted());
        QCOMPARE(w.win->ListBoxParse1->Count(), 4);
        QCOMPARE(w.win->ListBoxParse1->Line(0), B + "page1.html");  // the order found
        QCOMPARE(w.win->ListBoxParse1->Line(2), H + "/other/page3.html");
        for (int i = 0; i < w.Docs()->Count(); ++i) {
            QCOMPARE(w.Docs()->ImageIndex(i), int(DocPending));
            QVERIFY(!w.Docs()->Checked(i));
        }
        QCOMPARE(RetrievalWindow::Captions(w.Files()),
                 (QByteArrayList{B + "files/pack.zip", B + "movie.mpg", B + "pic1.jpg", B + "Pics/Pic2.GIF"}));
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        QVERIFY(w.LooksIdle());
        QVERIFY(w.win->ButtonParse->isEnabled());
        QVERIFY(w.win->ButtonDownload->isEnabled());
        QVERIFY(!w.win->TimerDoc->isActive());
        QCOMPARE(w.beeps, 1);
        QVERIFY(w.messages.isEmpty());
    }

    // A main document that cannot be fetched leaves both lists as they were, shows no message
    // box, and the status says why until the next command.
    void failedMainDocumentKeepsTheListsAndSaysWhy_data()
    {
        QTest::addColumn<QByteArray>("address");  // "refused": a port where nothing listens
        QTest::addColumn<bool>("keepFiles");
        QTest::addColumn<QString>("reason");
        QTest::newRow("404 with the server's phrase") << H + "/site/missing.html" << false << "HTTP 404 File not found";
        QTest::newRow("404 with the add-files option") << H + "/site/missing.html" << true << "HTTP 404 File not found";
        QTest::newRow("refused port") << QByteArray("refused") << false << "Connection refused";
        QTest::newRow("redirect loop") << QByteArray("loop") << false << "Too many redirects";
    }
    void failedMainDocumentKeepsTheListsAndSaysWhy()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, keepFiles);
        QFETCH(QString, reason);
        StallServer server;
        server.SetReply("/loop.html", {"HTTP/1.0 302 Found\r\nLocation: " + server.Url("/loop.html") + "\r\n\r\n"});
        if (address == "loop") {
            address = server.Url("/loop.html");
        } else if (address == "refused") {
            quint16 closed = 0;
            {
                StallServer gone;
                closed = gone.Port();
            }
            address = "http://127.0.0.1:" + QByteArray::number(closed) + "/index.html";
        }
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Addnewfilestoexcistinglistwhenparsing1, keepFiles);
        w.Docs()->Add("http://old/doc.html");
        w.Docs()->Add("http://old/doc2.html");
        w.Files()->Add("http://old/file.jpg");
        w.Get(address);
        QCOMPARE(w.Docs()->Count(), 2);
        QCOMPARE(w.Docs()->Caption(0), QByteArray("http://old/doc.html"));
        QCOMPARE(w.Files()->Count(), 1);
        QCOMPARE(w.Files()->Caption(0), QByteArray("http://old/file.jpg"));
        QCOMPARE(w.win->StatusText(), "Status: Not active - " + reason);
        QVERIFY(w.LooksIdle());
        QVERIFY(w.messages.isEmpty());
        // The reason stands until the next command starts; a document that arrives empties the
        // lists as before and ends with the plain status.
        w.Get(B + "page1.html");
        QCOMPARE(w.Docs()->Count(), 1);
        QCOMPARE(w.Docs()->Caption(0), B + "child.html");
        QCOMPARE(w.Files()->Count(), keepFiles ? 3 : 2);
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
    }

    // An address without "/" is ignored: nothing is fetched, nothing emptied, no beep.
    void addressWithoutSlashIsIgnored()
    {
        RetrievalWindow w;
        w.Docs()->Add("http://old/doc.html");
        w.Get("nothing-here");
        QCOMPARE(w.Docs()->Count(), 1);
        QCOMPARE(w.beeps, 0);
        QVERIFY(w.LooksIdle());
    }

    // The one-level-up pass fetches every linked page and adds their files; child links join
    // the document list only with "Add child links found when parsing to existing list".
    void oneLevelUpFetchesLinkedPages_data()
    {
        QTest::addColumn<bool>("childLinks");
        QTest::newRow("child links added") << true;
        QTest::newRow("child links ignored") << false;
    }
    void oneLevelUpFetchesLinkedPages()
    {
        QFETCH(bool, childLinks);
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Includelinksonelevelupwhenparsingmaindocument1, true);
        RetrievalWindow::Set(w.win->Addnewlinksfoundwhenparsingtoexistinglist1, childLinks);
        w.Get(B + "index.html");

        QByteArrayList docs = RetrievalWindow::Captions(w.Docs());
        std::sort(docs.begin(), docs.end());
        QByteArrayList expected{B + "page1.html", B + "sub/page2.html", H + "/other/page3.html", B + "page4.htm"};
        if (childLinks)
            expected << B + "child.html" << B + "p5.html";
        std::sort(expected.begin(), expected.end());
        QCOMPARE(docs, expected);
        // Linked pages are scanned, not parsed: every document stays pending, page4 (404) too.
        for (int i = 0; i < w.Docs()->Count(); ++i)
            QCOMPARE(w.Docs()->ImageIndex(i), int(DocPending));
        // Files of the main page first, then those of each linked page in parse-list order;
        // a file already listed is not added twice.
        QCOMPARE(RetrievalWindow::Captions(w.Files()),
                 (QByteArrayList{B + "files/pack.zip", B + "movie.mpg", B + "pic1.jpg", B + "Pics/Pic2.GIF",
                                 B + "a1.jpg", B + "sub/b.zip", H + "/other/c.gif"}));
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        QVERIFY(w.LooksIdle());
        QVERIFY(w.win->Includelinksonelevelupwhenparsingmaindocument1->isVisible());
        QCOMPARE(w.beeps, 1);
    }

    // Parse links: ticked pending documents go to parsed or failed; unticked and done ones are
    // left alone; the directory for relative links is lower-cased.
    void parseLinksMovesTickedDocuments()
    {
        RetrievalWindow w;
        w.Get(B + "index.html");
        QCOMPARE(w.Docs()->Count(), 4);
        const QByteArray refused = "http://127.0.0.1:" + QByteArray::number(RefusedPort()) + "/x.html";
        w.Docs()->Add(refused);
        w.Docs()->Add(B + "Upper/Page.html");
        const auto tick = [&](const QByteArray& caption) {
            const int i = RetrievalWindow::IndexOf(w.Docs(), caption);
            QVERIFY(i >= 0);
            w.Docs()->SetChecked(i, true);
        };
        tick(B + "page1.html");
        tick(B + "sub/page2.html");
        tick(refused);
        tick(B + "Upper/Page.html");
        // Done before: ticked but parsed already. Its page is missing, so fetching it again
        // would turn it into a failure.
        const int done = RetrievalWindow::IndexOf(w.Docs(), B + "page4.htm");
        w.Docs()->SetImageIndex(done, DocParsed);
        w.Docs()->SetStateImage(done, NoBoxStateImage);
        w.beeps = 0;

        w.win->ButtonParse->click();

        const auto state = [&](const QByteArray& caption) {
            return w.Docs()->ImageIndex(RetrievalWindow::IndexOf(w.Docs(), caption));
        };
        QCOMPARE(state(B + "page1.html"), int(DocParsed));
        QCOMPARE(state(B + "sub/page2.html"), int(DocParsed));
        QCOMPARE(state(B + "Upper/Page.html"), int(DocParsed));
        QCOMPARE(state(refused), int(DocFailed));
        QCOMPARE(state(B + "page4.htm"), int(DocParsed));
        QCOMPARE(state(H + "/other/page3.html"), int(DocPending));
        const int untouched = RetrievalWindow::IndexOf(w.Docs(), H + "/other/page3.html");
        QCOMPARE(w.Docs()->StateImage(untouched), 0);  // unticked, box shown
        QCOMPARE(w.Docs()->StateImage(RetrievalWindow::IndexOf(w.Docs(), refused)), 3);
        // Child documents were appended pending and unticked, and the list is sorted again.
        const int child = RetrievalWindow::IndexOf(w.Docs(), B + "child.html");
        QVERIFY(child >= 0);
        QCOMPARE(w.Docs()->ImageIndex(child), int(DocPending));
        QVERIFY(!w.Docs()->Checked(child));
        QCOMPARE(state(B + "p5.html"), int(DocPending));
        QVERIFY(w.Docs()->Sorted());
        // The file list was emptied first; the upper-case page's link resolves lower-cased.
        QByteArrayList files = RetrievalWindow::Captions(w.Files());
        std::sort(files.begin(), files.end());
        QCOMPARE(files, (QByteArrayList{B + "a1.jpg", B + "files/pack.zip", B + "sub/b.zip", B + "upper/x.jpg"}));
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        QVERIFY(w.LooksIdle());
        QCOMPARE(w.beeps, 1);

        // A second pass fetches nothing new: every ticked item is done.
        const QByteArrayList before = RetrievalWindow::Captions(w.Docs());
        w.win->ButtonParse->click();
        QCOMPARE(RetrievalWindow::Captions(w.Docs()), before);
        QCOMPARE(state(B + "page1.html"), int(DocParsed));
        QCOMPARE(w.Files()->Count(), 0);
    }

    // "Auto select first file from each link parsed": each parsed document ticks its own first
    // new file, not one that an earlier document listed already.
    void autoSelectFirstFilePerDocument()
    {
        RetrievalWindow w;
        w.Get(B + "index.html");
        RetrievalWindow::Set(w.win->Autoselectfirstfilefromeachlink1, true);
        RetrievalWindow::Set(w.win->Skipfileifexistindownloaddirectory1, false);
        w.Docs()->SetChecked(RetrievalWindow::IndexOf(w.Docs(), B + "page1.html"), true);
        w.Docs()->SetChecked(RetrievalWindow::IndexOf(w.Docs(), B + "sub/page2.html"), true);
        w.win->ButtonParse->click();
        const auto ticked = [&](const QByteArray& caption) {
            const int i = RetrievalWindow::IndexOf(w.Files(), caption);
            return i >= 0 && w.Files()->Checked(i);
        };
        QVERIFY(ticked(B + "a1.jpg"));
        QVERIFY(!ticked(B + "files/pack.zip"));
        QVERIFY(ticked(B + "sub/b.zip"));
    }

    // A big page: the document list is filled while the window keeps getting turns (with the
    // list's view showing everything so far), Stop does not cut the fill short, a newer command
    // started from a turn ends it, and no list is left holding its view.
    void bigPageFillGivesTheWindowTurns_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("nothing") << "nothing";
        QTest::newRow("Stop") << "stop";
        QTest::newRow("a newer Get document") << "newer";
    }
    void bigPageFillGivesTheWindowTurns()
    {
        QFETCH(QString, during);
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Beepwhendoneworking1, false);
        int turnsDuringFill = 0;
        int countAtTurn = -1;
        bool viewShownAtTurn = false;
        bool acted = false;
        // The first turn after the fill has begun: a timer due at once fires only in a turn.
        QTimer probe;
        probe.setInterval(0);
        connect(&probe, &QTimer::timeout, this, [&] {
            const int count = w.Docs()->Count();
            if (count == 0 || count >= BigPageDocuments || !w.win->Busy)
                return;
            ++turnsDuringFill;
            if (acted)
                return;
            acted = true;
            countAtTurn = count;
            viewShownAtTurn = w.Docs()->updatesEnabled() && w.Files()->updatesEnabled();
            if (during == "stop")
                w.win->ButtonStop->click();
            else if (during == "newer")
                w.Get(B + "page1.html");
        });
        probe.start();
        w.Get(B + "big.html");
        probe.stop();

        QVERIFY2(turnsDuringFill > 0, "the fill gave the window no turn");
        QVERIFY(countAtTurn > 0 && countAtTurn < BigPageDocuments);
        QVERIFY2(viewShownAtTurn, "a turn met a list whose view was held");
        QVERIFY(w.Docs()->updatesEnabled());
        QVERIFY(w.Files()->updatesEnabled());
        QVERIFY(w.LooksIdle());
        QVERIFY(w.Docs()->Sorted());
        if (during == "newer") {
            QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{B + "child.html"}));
            QCOMPARE(RetrievalWindow::Captions(w.Files()), (QByteArrayList{B + "a1.jpg", B + "files/pack.zip"}));
            return;
        }
        // Every document once, sorted, pending with its box; the files in page order.
        QCOMPARE(w.Docs()->Count(), BigPageDocuments);
        QSet<QByteArray> seen;
        for (int i = 0; i < w.Docs()->Count(); ++i) {
            const QByteArray caption = w.Docs()->Caption(i);
            QVERIFY(caption.startsWith(B + "big/d"));
            seen.insert(caption);
            QCOMPARE(w.Docs()->ImageIndex(i), int(DocPending));
            QCOMPARE(w.Docs()->StateImage(i), 0);
            if (i > 0)
                QVERIFY(QString::localeAwareCompare(QString::fromLatin1(w.Docs()->Caption(i - 1)),
                                                    QString::fromLatin1(caption))
                        <= 0);
        }
        QCOMPARE(seen.size(), BigPageDocuments);
        QCOMPARE(w.Files()->Count(), BigPageDocuments / 1000);
        QCOMPARE(w.Files()->Caption(1), B + "big/p1000.jpg");
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
    }

    // Enter in the document field runs Get document; "Use selected doc as main and parse it"
    // starts over from the current document item.
    void enterKeyAndUseSelectedDocument()
    {
        RetrievalWindow w;
        w.win->ComboBoxBookmark->SetText(QString::fromLatin1(B + "index.html"));
        w.win->ComboBoxBookmark->setFocus();
        QTest::keyClick(w.win->ComboBoxBookmark, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w.Docs()->Count(), 4, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle(), 20000);

        w.win->CurrentDocIndex = RetrievalWindow::IndexOf(w.Docs(), B + "page1.html");
        w.win->Useselectedlineasmaindocumentandparseit1->trigger();
        QCOMPARE(w.win->ComboBoxBookmark->Text(), QString::fromLatin1(B + "page1.html"));
        QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{B + "child.html"}));
        QCOMPARE(RetrievalWindow::Captions(w.Files()), (QByteArrayList{B + "a1.jpg", B + "files/pack.zip"}));

        // No current item: nothing happens.
        w.win->CurrentDocIndex = -1;
        w.win->ComboBoxBookmark->SetText(QStringLiteral("unchanged"));
        w.win->Useselectedlineasmaindocumentandparseit1->trigger();
        QCOMPARE(w.win->ComboBoxBookmark->Text(), QStringLiteral("unchanged"));
        QCOMPARE(w.Docs()->Count(), 1);
    }
};

QTEST_MAIN(TestHarvest)
#include "test_harvest.moc"
