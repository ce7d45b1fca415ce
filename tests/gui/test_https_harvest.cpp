// End to end over https, driven through the real main window against Python's TLS server on
// 127.0.0.1 with a test authority made at test time: Get document lists the page's links,
// Parse links scans the ticked pages, Download files fetches every file with eight engines at
// once, byte-exact. A server whose certificate is not trusted gives nothing at all.
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "download/UnitDownloadThreads.h"
#include "gui/RetrievalFixture.h"
#include "support/TestFiles.h"
#include "support/TlsTestServer.h"

namespace {

bool EnginesGone()
{
    return QTest::qWaitFor([] { return TDownload::Running() == 0; }, 60000);
}

int LitEngines(const TFormMain& win)
{
    int n = 0;
    for (TLed* led : win.LedEngines)
        n += led->LedEnabled() ? 1 : 0;
    return n;
}

}  // namespace

class TestHttpsHarvest : public QObject {
    Q_OBJECT

    TestCertificates FCerts;
    QTemporaryDir FRoot;
    std::unique_ptr<PyTlsServer> FServer;
    QByteArray H;  // "https://127.0.0.1:PORT"
    QByteArray B;  // H + "/site/"
    QByteArray S;  // H + "/slow/site/": the same files, sent slowly enough for engines to overlap
    QMap<QByteArray, QByteArray> FFiles;  // name -> contents

private slots:
    void initTestCase()
    {
        QVERIFY(FCerts.Make());
        FCerts.Trust();
        QVERIFY(FRoot.isValid());
        FServer = std::make_unique<PyTlsServer>(PyTlsServer::Mode::Tls, FRoot.path(),
                                                FCerts.Certificate(TestCertificates::Kind::Good), FCerts.Key());
        QVERIFY(FServer->Start());
        H = FServer->Url("");
        B = H + "/site/";
        S = H + "/slow/site/";
        const auto put = [this](const QString& path, const QByteArray& bytes) {
            return WriteTestFile(FRoot.filePath(path), bytes);
        };
        for (int i = 0; i < 8; ++i) {
            const QByteArray name = i == 7 ? "pic.jpg" : "f" + QByteArray::number(i) + ".zip";
            FFiles[name] = RandomTestBytes(40000 + i * 1000, quint32(i + 1));
            QVERIFY(put("site/" + QString::fromLatin1(name), FFiles[name]));
        }
        // Relative and absolute document links; files on the slow path, a picture among them.
        QVERIFY(put("site/index.html",
                    "<a href=\"page1.html\">1</a> <A HREF=\"" + B
                        + "sub/page2.html\">2</A>\n"
                          "<a href=\""
                        + S + "f0.zip\">0</a> <a href=\"" + S
                        + "f1.zip\">1</a>\n"
                          "<a href=\""
                        + S + "f2.zip\">2</a> <img src=\"" + S + "pic.jpg\">\n"));
        QVERIFY(put("site/page1.html",
                    "<a href=\"" + S + "f3.zip\">3</a> <a href=\"" + S
                        + "f4.zip\">4</a>"
                          " <a href=\"child.html\">c</a>"));
        QVERIFY(put("site/sub/page2.html",
                    "<a href=\"" + S + "f5.zip\">5</a> <a href=\"" + S
                        + "f6.zip\">6</a>"
                          " <a href=\""
                        + S + "f0.zip\">again</a>"));
    }

    void cleanupTestCase() { FServer.reset(); }

    void getParseAndDownloadOverHttps()
    {
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Addnewfilestoexcistinglistwhenparsing1, true);
        RetrievalWindow::Set(w.win->Displayimagepreview1, false);

        w.Get(B + "index.html");
        QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{B + "page1.html", B + "sub/page2.html"}));
        QCOMPARE(RetrievalWindow::Captions(w.Files()),
                 (QByteArrayList{S + "f0.zip", S + "f1.zip", S + "f2.zip", S + "pic.jpg"}));
        QVERIFY(w.LooksIdle());
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));

        for (int i = 0; i < w.Docs()->Count(); ++i)
            w.Docs()->SetChecked(i, true);
        w.win->UpdateScreen();
        w.win->ButtonParse->click();
        QCOMPARE(w.Docs()->ImageIndex(RetrievalWindow::IndexOf(w.Docs(), B + "page1.html")), int(DocParsed));
        QCOMPARE(w.Docs()->ImageIndex(RetrievalWindow::IndexOf(w.Docs(), B + "sub/page2.html")), int(DocParsed));
        QVERIFY(RetrievalWindow::IndexOf(w.Docs(), B + "child.html") >= 0);  // resolved over https
        QByteArrayList files = RetrievalWindow::Captions(w.Files());
        std::sort(files.begin(), files.end());
        QByteArrayList expected;
        for (auto it = FFiles.cbegin(); it != FFiles.cend(); ++it)
            expected << S + it.key();
        std::sort(expected.begin(), expected.end());
        QCOMPARE(files, expected);

        for (int i = 0; i < w.Files()->Count(); ++i)
            w.Files()->SetChecked(i, true);
        w.win->UpdateScreen();
        int mostAtOnce = 0;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] { mostAtOnce = std::max(mostAtOnce, LitEngines(*w.win)); });
        probe.start();
        w.win->ButtonDownload->click();
        probe.stop();

        QCOMPARE(mostAtOnce, 8);
        for (int i = 0; i < w.Files()->Count(); ++i) {
            const QByteArray name = w.Files()->Caption(i).mid(S.size());
            QCOMPARE(w.Files()->ImageIndex(i), int(FileDownloaded));
            QVERIFY2(ReadTestFile(w.downloads.filePath(QString::fromLatin1(name))) == FFiles[name], name.constData());
        }
        QVERIFY(w.LooksIdle());
        QVERIFY(w.messages.isEmpty());
        QVERIFY(EnginesGone());
    }

    // A server whose certificate comes from an unknown authority: Get document lists nothing,
    // the file fails and nothing is kept; no message box, the window idle again, and both say why.
    void untrustedServerGivesNothing()
    {
        PyTlsServer stranger(PyTlsServer::Mode::Tls, FRoot.path(), FCerts.Certificate(TestCertificates::Kind::Stranger),
                             FCerts.Key());
        QVERIFY(stranger.Start());
        RetrievalWindow w;
        w.Get(stranger.Url("/site/index.html"));
        QCOMPARE(w.Docs()->Count(), 0);
        QCOMPARE(w.Files()->Count(), 0);
        QVERIFY(w.LooksIdle());
        // The status says why, and so does the failed file's hint.
        QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active - Certificate not trusted"));

        const QByteArray file = stranger.Url("/site/f1.zip");
        const int item = w.Files()->Add(file);
        w.Files()->SetSubItem(item, 1, "f1.zip");
        w.Files()->SetChecked(item, true);
        w.win->UpdateScreen();
        w.win->ButtonDownload->click();
        QCOMPARE(w.Files()->ImageIndex(0), int(FileFailed));
        QCOMPARE(w.Files()->Reason(0), QStringLiteral("Certificate not trusted"));
        QVERIFY(QDir(w.downloads.path()).entryList(QDir::Files).isEmpty());
        QVERIFY(w.LooksIdle());
        QVERIFY(w.messages.isEmpty());
        QVERIFY(EnginesGone());
    }
};

QTEST_MAIN(TestHttpsHarvest)
#include "test_https_harvest.moc"
