// Retrieval against servers that stall: Stop while a fetch runs, the document time-out, the
// progress shown per packet, and the lists kept consistent when events run nested in a command.
#include <QtTest>

#include <functional>

#include "gui/RetrievalFixture.h"
#include "gui/StallServer.h"
#include "support/WhenReady.h"

namespace {

const QByteArray Ok = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";

}  // namespace

class TestRetrievalStop : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TFormMain::SetDocTimeOutForTesting(0); }

    // Stop pressed while the main document is still arriving: the window is idle at once, the
    // connection is closed, nothing of the document is listed.
    void stopDuringSlowMainFetch()
    {
        StallServer server;
        server.SetReply("/slow.html", {Ok + "Content-Length: 5000\r\n\r\n", QByteArray(5000, 'x')});
        RetrievalWindow w;
        w.Files()->Add("http://old/file.jpg");
        bool busyWhileFetching = false;
        bool idleAtOnce = false;
        WhenReady stop([&] { return server.Stalled() > 0; },
                       [&] {
                           busyWhileFetching = w.LooksBusy();
                           w.win->ButtonStop->click();
                           idleAtOnce = w.LooksIdle();
                       });
        w.Get(server.Url("/slow.html"));

        QVERIFY(stop.Done);
        QVERIFY(busyWhileFetching);
        QVERIFY(idleAtOnce);
        QVERIFY(w.LooksIdle());
        // Nothing arrived: the lists stay as they were, and the status says why.
        QCOMPARE(w.Docs()->Count(), 0);
        QCOMPARE(w.Files()->Count(), 1);
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active - Stopped"));
        QVERIFY(!w.win->TimerDoc->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(server.PeerCloses(), 1, 10000);
        QCOMPARE(w.beeps, 1);  // the stopped command still ends with its last step
    }

    // Stop while the fourth linked page of the one-level-up pass is fetched: exactly the first
    // four entries are listed, all pending, and nothing of the fourth page or later is taken.
    void stopDuringOneLevelUpPass()
    {
        StallServer server;
        QByteArray main;
        for (int i = 1; i <= 6; ++i) {
            const QByteArray n = QByteArray::number(i);
            main += "<a href=\"p" + n + ".html\">" + n + "</a>\n";
            server.SetPage("/p" + n + ".html", "<a href=\"f" + n + ".jpg\">f</a>");
        }
        server.SetPage("/index.html", main);
        server.SetReply("/p4.html", {Ok + "\r\n<a href=\"f4", ".jpg\">f</a>"});
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Includelinksonelevelupwhenparsingmaindocument1, true);
        WhenReady stop([&] { return server.Stalled() > 0; }, [&] { w.win->ButtonStop->click(); });
        w.Get(server.Url("/index.html"));

        QVERIFY(stop.Done);
        QCOMPARE(RetrievalWindow::Captions(w.Docs()),
                 (QByteArrayList{server.Url("/p1.html"), server.Url("/p2.html"), server.Url("/p3.html"),
                                 server.Url("/p4.html")}));
        for (int i = 0; i < w.Docs()->Count(); ++i)
            QCOMPARE(w.Docs()->ImageIndex(i), int(DocPending));
        QCOMPARE(RetrievalWindow::Captions(w.Files()),
                 (QByteArrayList{server.Url("/f1.jpg"), server.Url("/f2.jpg"), server.Url("/f3.jpg")}));
        QCOMPARE(server.RequestsFor("/p5.html"), 0);
        QCOMPARE(w.win->ListBoxParse1->Count(), 6);  // the parse list keeps what was found
        QVERIFY(w.LooksIdle());
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
    }

    // Stop during a Parse links fetch: that item fails, later ticked items keep their state
    // and tick, earlier ones are parsed.
    void stopDuringParseLinks()
    {
        StallServer server;
        server.SetPage("/a.html", "<a href=\"fa.jpg\">a</a>");
        server.SetReply("/b.html", {Ok + "\r\n", "<a href=\"fb.jpg\">b</a>"});
        server.SetPage("/c.html", "<a href=\"fc.jpg\">c</a>");
        RetrievalWindow w;
        // A file of that name is already downloaded: marking existing files still follows Stop.
        QFile existing(w.downloads.filePath(QStringLiteral("fa.jpg")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        w.AddTickedDocs({server.Url("/a.html"), server.Url("/b.html"), server.Url("/c.html")});
        bool stopEnabled = false;
        WhenReady stop([&] { return server.Stalled() > 0; },
                       [&] {
                           stopEnabled = w.win->ButtonStop->isEnabled();
                           w.win->ButtonStop->click();
                       });
        w.win->ButtonParse->click();

        QVERIFY(stop.Done);
        QVERIFY(stopEnabled);  // the busy look came with the first connection
        const auto at = [&](const char* page) { return RetrievalWindow::IndexOf(w.Docs(), server.Url(page)); };
        QCOMPARE(w.Docs()->ImageIndex(at("/a.html")), int(DocParsed));
        QCOMPARE(w.Docs()->ImageIndex(at("/b.html")), int(DocFailed));
        QCOMPARE(w.Docs()->ImageIndex(at("/c.html")), int(DocPending));
        QCOMPARE(w.Docs()->StateImage(at("/c.html")), 1);  // still ticked, box shown
        QCOMPARE(server.RequestsFor("/c.html"), 0);
        QCOMPARE(RetrievalWindow::Captions(w.Files()), (QByteArrayList{server.Url("/fa.jpg")}));
        QCOMPARE(w.Files()->ImageIndex(0), int(FileSkipped));
        QVERIFY(w.LooksIdle());
        QVERIFY(w.Docs()->Sorted());
        QTRY_COMPARE_WITH_TIMEOUT(server.PeerCloses(), 1, 10000);
    }

    // A fetch that receives nothing for the document time-out is cut: for the main document
    // the lists stay empty; in Parse links the item fails and the pass goes on.
    void docTimeOutCutsStalledFetch()
    {
        TFormMain::SetDocTimeOutForTesting(300);
        StallServer server;
        server.SetReply("/stall.html", {Ok + "\r\n<a href=\"never.jpg\">", "n</a>"});
        server.SetPage("/after.html", "<a href=\"after.jpg\">a</a>");
        RetrievalWindow w;
        w.Get(server.Url("/stall.html"));
        QCOMPARE(w.Docs()->Count(), 0);
        QCOMPARE(w.Files()->Count(), 0);
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active - No data for 1 s"));
        QVERIFY(w.LooksIdle());
        QTRY_COMPARE_WITH_TIMEOUT(server.PeerCloses(), 1, 10000);

        w.AddTickedDocs({server.Url("/stall.html"), server.Url("/after.html")});
        w.win->ButtonParse->click();
        const int stalled = RetrievalWindow::IndexOf(w.Docs(), server.Url("/stall.html"));
        const int after = RetrievalWindow::IndexOf(w.Docs(), server.Url("/after.html"));
        QCOMPARE(w.Docs()->ImageIndex(stalled), int(DocFailed));
        QCOMPARE(w.Docs()->ImageIndex(after), int(DocParsed));
        // The failed document tells why as its hint; a reset one has none.
        QCOMPARE(w.Docs()->Reason(stalled), QStringLiteral("No data for 1 s"));
        QCOMPARE(w.Docs()->Reason(after), QString());
        w.Docs()->SetImageIndex(stalled, DocPending);
        QCOMPARE(w.Docs()->Reason(stalled), QString());
        QCOMPARE(RetrievalWindow::Captions(w.Files()), (QByteArrayList{server.Url("/after.jpg")}));
        QTRY_COMPARE_WITH_TIMEOUT(server.PeerCloses(), 2, 10000);
    }

    // Every packet gives the fetch its full time again.
    void packetRestartsDocTimeOut()
    {
        StallServer server;
        server.SetReply("/page.html", {Ok + "\r\n", QByteArray(100, 'x'), QByteArray(100, 'y')});
        RetrievalWindow w;
        const int full = TFormMain::DocTimeOut();
        QCOMPARE(full, 30000);
        int remainingBefore = -1;
        int remainingAfter = -1;
        WhenReady first(
            [&] { return w.win->HttpDoc->ReplyCode == 200 && w.win->TimerDoc->remainingTime() < full - 600; },
            [&] {
                remainingBefore = w.win->TimerDoc->remainingTime();
                server.Release();
            });
        WhenReady second([&] { return w.win->HttpDoc->BytesRecvd >= 100; },
                         [&] {
                             remainingAfter = w.win->TimerDoc->remainingTime();
                             server.Release();
                         });
        w.Get(server.Url("/page.html"));
        QVERIFY(first.Done && second.Done);
        QVERIFY2(remainingAfter > remainingBefore + 300,
                 qPrintable(QStringLiteral("%1 -> %2").arg(remainingBefore).arg(remainingAfter)));
        QVERIFY(!w.win->TimerDoc->isActive());
    }

    // Packets move the document bar when the length is known, else the status counts bytes.
    void progressShownPerPacket_data()
    {
        QTest::addColumn<bool>("withLength");
        QTest::newRow("length announced: bar") << true;
        QTest::newRow("no length: byte count") << false;
    }
    void progressShownPerPacket()
    {
        QFETCH(bool, withLength);
        StallServer server;
        const QByteArray head = Ok + (withLength ? "Content-Length: 5000\r\n" : "") + "\r\n";
        server.SetReply("/big.html", {head, QByteArray(1000, 'x'), QByteArray(4000, 'y')});
        RetrievalWindow w;
        bool gaugeShown = false;
        int gaugeMax = -1;
        int gaugeProgress = -1;
        QString status;
        WhenReady headersRead([&] { return w.win->HttpDoc->ReplyCode == 200; }, [&] { server.Release(); });
        WhenReady firstPart([&] { return w.win->HttpDoc->BytesRecvd >= 1000; },
                            [&] {
                                gaugeShown = !w.win->GaugeDoc->isHidden();
                                gaugeMax = w.win->GaugeDoc->MaxValue();
                                gaugeProgress = w.win->GaugeDoc->Progress();
                                status = w.win->StatusText();
                                server.Release();
                            });
        w.Get(server.Url("/big.html"));
        QVERIFY(headersRead.Done && firstPart.Done);
        QCOMPARE(gaugeShown, withLength);
        if (withLength) {
            QCOMPARE(gaugeMax, 5000);
            QCOMPARE(gaugeProgress, 1000);
        } else {
            QCOMPARE(status, QStringLiteral("Status: 1000 bytes retrieved"));
        }
        QVERIFY(w.win->GaugeDoc->isHidden());  // hidden again once the fetch ended
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
    }

    // Events run nested inside a pass: items deleted above the one being fetched, and a newer
    // command started from inside the pass.
    void passStaysConsistentWhenListsChangeMeanwhile()
    {
        // Each block has its own server: a release counts for every later stall of a server.
        const auto serve = [](StallServer& server) {
            server.SetPage("/a.html", "<a href=\"fa.jpg\">a</a>");
            server.SetReply("/b.html", {Ok + "\r\n", "<a href=\"fb.jpg\">b</a>"});
            server.SetPage("/c.html", "<a href=\"fc.jpg\">c</a>");
            server.SetPage("/main.html", "<a href=\"x1.html\">1</a><a href=\"x2.html\">2</a>");
        };
        {
            StallServer server;
            serve(server);
            // "a" goes while "b" is being fetched: "b" and "c" are still parsed.
            RetrievalWindow w;
            RetrievalWindow::Set(w.win->Addnewfilestoexcistinglistwhenparsing1, true);
            w.AddTickedDocs({server.Url("/a.html"), server.Url("/b.html"), server.Url("/c.html")});
            WhenReady remove([&] { return server.Stalled() > 0; },
                             [&] {
                                 w.Docs()->Delete(RetrievalWindow::IndexOf(w.Docs(), server.Url("/a.html")));
                                 server.Release();
                             });
            w.win->ButtonParse->click();
            QVERIFY(remove.Done);
            QCOMPARE(RetrievalWindow::Captions(w.Docs()),
                     (QByteArrayList{server.Url("/b.html"), server.Url("/c.html")}));
            QCOMPARE(w.Docs()->ImageIndex(0), int(DocParsed));
            QCOMPARE(w.Docs()->ImageIndex(1), int(DocParsed));
            QCOMPARE(RetrievalWindow::Captions(w.Files()),
                     (QByteArrayList{server.Url("/fa.jpg"), server.Url("/fb.jpg"), server.Url("/fc.jpg")}));
        }
        {
            // Enter in the document field while "b" is fetched: Get document replaces the lists,
            // and the interrupted pass fetches nothing more and leaves them as they are.
            StallServer server;
            serve(server);
            RetrievalWindow w;
            w.AddTickedDocs({server.Url("/a.html"), server.Url("/b.html"), server.Url("/c.html")});
            WhenReady restart([&] { return server.Stalled() > 0; },
                              [&] {
                                  w.win->ComboBoxBookmark->SetText(QString::fromLatin1(server.Url("/main.html")));
                                  emit w.win->ComboBoxBookmark->EnterPressed();
                              });
            w.win->ButtonParse->click();
            QVERIFY(restart.Done);
            QCOMPARE(RetrievalWindow::Captions(w.Docs()),
                     (QByteArrayList{server.Url("/x1.html"), server.Url("/x2.html")}));
            QCOMPARE(w.Docs()->ImageIndex(0), int(DocPending));
            QCOMPARE(w.Docs()->ImageIndex(1), int(DocPending));
            QCOMPARE(server.RequestsFor("/c.html"), 0);
            QVERIFY(w.LooksIdle());
            QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
        }
        {
            // The same during the one-level-up pass: the newer Get's pass lists each of its
            // pages once, and the interrupted pass takes nothing from the new parse list.
            StallServer server;
            server.SetPage("/first.html",
                           "<a href=\"p1.html\">1</a><a href=\"p2.html\">2</a><a href=\"p3.html\">3</a>");
            server.SetPage("/p1.html", "");
            server.SetReply("/p2.html", {Ok + "\r\n", ""});
            server.SetPage("/second.html",
                           "<a href=\"x1.html\">1</a><a href=\"x2.html\">2</a><a href=\"x3.html\">3</a>");
            for (const char* page : {"/x1.html", "/x2.html", "/x3.html"})
                server.SetPage(page, "");
            RetrievalWindow w;
            RetrievalWindow::Set(w.win->Includelinksonelevelupwhenparsingmaindocument1, true);
            WhenReady restart([&] { return server.Stalled() > 0; },
                              [&] {
                                  w.win->ComboBoxBookmark->SetText(QString::fromLatin1(server.Url("/second.html")));
                                  emit w.win->ComboBoxBookmark->EnterPressed();
                              });
            w.Get(server.Url("/first.html"));
            QVERIFY(restart.Done);
            QCOMPARE(RetrievalWindow::Captions(w.Docs()),
                     (QByteArrayList{server.Url("/x1.html"), server.Url("/x2.html"), server.Url("/x3.html")}));
            QCOMPARE(server.RequestsFor("/x3.html"), 1);
            QCOMPARE(server.RequestsFor("/p3.html"), 0);
            QVERIFY(w.LooksIdle());
        }
    }
};

QTEST_MAIN(TestRetrievalStop)
#include "test_retrieval_stop.moc"
