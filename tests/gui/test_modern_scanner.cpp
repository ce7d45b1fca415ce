// "Find links as a browser does (modern pages)" on the main window: off, every list is exactly
// the classic scan's; on, the modern scanner's links go into the parse list and both lists
// under the same options, duplicates and ticks, with modern file names; the requests for pages
// carry the program's name and the page a link was found on only while it is on; and Get
// document, Parse links and Download files run end to end against Python's http.server.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/DownloadFixture.h"
#include "gui/RetrievalFixture.h"
#include "gui/StallServer.h"
#include "support/LiteralScanner.h"
#include "support/PyHttpServer.h"

namespace {
constexpr int FileSize = 5000;  // above the size under which a finished file is thrown away

QByteArray Fixture(const QByteArray& name)
{
    QFile file(QStringLiteral(KELVORN_SOURCE_DIR "/tests/fixtures/modern/") + QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArrayList Lines(const TParseList* list)
{
    QByteArrayList lines;
    for (int i = 0; i < list->Count(); ++i)
        lines << list->Line(i);
    return lines;
}

QByteArray HeaderValue(const QByteArray& request, const QByteArray& name)
{
    for (const QByteArray& line : request.split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return {};
}
}  // namespace

class TestModernScanner : public QObject {
    Q_OBJECT
private slots:
    void optionOffKeepsTheClassicLists_data();
    void optionOffKeepsTheClassicLists();
    void modernLinksIntoTheLists();
    void pageRequestsCarryNameAndReferrer();
    void getParseAndDownloadEndToEnd();
    void downloadsNamedByTypeSmallFilesKept();
    void galleryEveryPictureUnderItsOwnName();
};

void TestModernScanner::optionOffKeepsTheClassicLists_data()
{
    QTest::addColumn<QByteArray>("fixture");
    QTest::addColumn<int>("mode");
    for (const char* name :
         {"gallery.html", "news.html", "wiki.html", "styles.html", "base.html", "broken.html", "latin1.html"})
        for (int mode : {1, 2})
            QTest::addRow("%s mode %d", name, mode) << QByteArray(name) << mode;
}

void TestModernScanner::optionOffKeepsTheClassicLists()
{
    QFETCH(QByteArray, fixture);
    QFETCH(int, mode);
    const QByteArray page = Fixture(fixture);
    QVERIFY(!page.isEmpty());
    const QByteArray base = "http://h.example/a/";
    for (const bool selectFirst : {false, true}) {
        RetrievalWindow w;
        QVERIFY(!w.win->Findlinksasabrowserdoesmodernpages1->isChecked());  // off by default
        w.Docs()->SetSorted(false);
        RetrievalWindow::Set(w.win->Autoselectfirstfilefromeachlink1, selectFirst);
        w.win->ListBoxParse1->Add("http://h.example/a/known.html");
        TLiteralLists expected;
        expected.parse << "http://h.example/a/known.html";
        TLiteralOptions options;
        options.selectFirst = selectFirst;
        LiteralParse(base, page, mode, options, expected);
        // The page's own address is given too, as the commands give it: off, it is not used.
        w.win->ParseDocument(base, page, mode, base + "index.html");
        QCOMPARE(Lines(w.win->ListBoxParse1), expected.parse);
        QCOMPARE(RetrievalWindow::Captions(w.Docs()), expected.documents);
        QCOMPARE(RetrievalWindow::Captions(w.Files()), expected.files);
        for (int i = 0; i < w.Files()->Count(); ++i) {
            QCOMPARE(w.Files()->Checked(i), expected.fileTicked.at(i));
            QCOMPARE(w.Files()->SubItem(i, 1), FilNavn(expected.files.at(i)));
        }
        QCOMPARE(w.win->LastFileLink, expected.lastFileLink);
    }
}

void TestModernScanner::modernLinksIntoTheLists()
{
    RetrievalWindow w;
    w.Docs()->SetSorted(false);
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    w.Files()->Add("http://h/d/old.zip");
    RetrievalWindow::Set(w.win->Autoselectfirstfilefromeachlink1, true);
    const QByteArray page =
        "<a href='/news/story'>s</a><a href=known.html>k</a><a href=/news/story#more>again</a>"
        "<img class=x src='pics/a%20b.png?w=300' srcset='pics/a%20b.png?w=300 300w, pics/big.png?w=900 900w'>"
        "<a href='old.zip'>listed before</a><a href='get?f=..%2Fx.zip&amp;n=1'>dots in a query</a>"
        "<a href='x/..'>dot segment</a>";
    const QByteArray address = "http://h/d/index.html";
    w.win->ListBoxParse1->Add("http://h/d/known.html");
    w.win->FirstFileTaken = false;

    // Mode 1: documents to the parse list, files to the file list, the first new file ticked.
    w.win->ParseDocument("http://h/d/", page, 1, address);
    QCOMPARE(Lines(w.win->ListBoxParse1),
             (QByteArrayList{"http://h/d/known.html", "http://h/news/story", "http://h/d/get?f=..%2Fx.zip&n=1",
                             "http://h/d/"}));
    QCOMPARE(RetrievalWindow::Captions(w.Files()),
             (QByteArrayList{"http://h/d/old.zip", "http://h/d/pics/big.png?w=900"}));
    QCOMPARE(w.Files()->SubItem(1, 1), QByteArray("big.png"));
    QVERIFY(w.Files()->Checked(1));
    QVERIFY(!w.Files()->Checked(0));
    QCOMPARE(w.Files()->ImageIndex(1), int(FilePending));
    QCOMPARE(w.win->LastFileLink, QByteArray("http://h/d/old.zip"));  // a duplicate still counts
    QCOMPARE(w.Docs()->Count(), 0);
    QCOMPARE(w.win->ReferrerOf("http://h/news/story"), address);
    QCOMPARE(w.win->ReferrerOf("http://h/d/pics/big.png?w=900"), address);

    // Mode 2 with child links off: only files, and those already listed stay single.
    RetrievalWindow::Set(w.win->Addnewlinksfoundwhenparsingtoexistinglist1, false);
    w.win->ParseDocument("http://h/other/",
                         "<a href=/news/other>o</a><img src='/d/pics/big.png?w=900'><a href='/d/old.zip'>z</a>"
                         "<video src='/clip'></video>",
                         2, "http://h/other/page");
    QCOMPARE(w.Docs()->Count(), 0);
    QCOMPARE(RetrievalWindow::Captions(w.Files()),
             (QByteArrayList{"http://h/d/old.zip", "http://h/d/pics/big.png?w=900", "http://h/clip"}));
    QCOMPARE(w.Files()->SubItem(2, 1), QByteArray("clip"));
    QVERIFY(!w.Files()->Checked(2));                                        // FirstFileTaken was still set
    QCOMPARE(w.win->ReferrerOf("http://h/d/pics/big.png?w=900"), address);  // the first finder stays
    QCOMPARE(w.win->ReferrerOf("http://h/clip"), QByteArray("http://h/other/page"));

    // Mode 2 with child links on: documents not in the parse list or the document list join.
    RetrievalWindow::Set(w.win->Addnewlinksfoundwhenparsingtoexistinglist1, true);
    w.Docs()->Add("http://h/dup.html");
    w.win->ParseDocument("http://h/d/", "<a href=/dup.html><a href=/new.html><a href=/new.html><a href=/news/story>", 2,
                         address);
    QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{"http://h/dup.html", "http://h/new.html"}));
    QCOMPARE(w.Docs()->ImageIndex(1), int(DocPending));
    QVERIFY(!w.Docs()->Checked(1));

    // "Reset file" names the item the modern way while the option is on.
    w.win->CurrentFileIndex = 1;
    w.Files()->SetSubItem(1, 1, "changed");
    w.win->Resetfile1->trigger();
    QTRY_COMPARE(w.Files()->SubItem(1, 1), QByteArray("big.png"));
}

void TestModernScanner::pageRequestsCarryNameAndReferrer()
{
    StallServer server;
    server.SetPage("/index.html", "<a href='/story'>s</a><a href=\"next.html\">n</a>");
    server.SetPage("/story", "<img src=x.jpg>");
    server.SetPage("/next.html", "<a href=\"x.zip\">x</a>");
    const QByteArray main = server.Url("/index.html");

    RetrievalWindow w;
    w.Get(main);
    QTRY_VERIFY(w.LooksIdle());
    const QByteArray classic = server.LastRequest("/index.html");
    QVERIFY(classic.startsWith("GET /index.html HTTP/1.0\r\n"));
    QVERIFY(!classic.contains("User-Agent"));
    QVERIFY(!classic.contains("Referer"));
    QCOMPARE(RetrievalWindow::Captions(w.Docs()), QByteArrayList{server.Url("/next.html")});

    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    w.Get(main);
    QTRY_VERIFY(w.LooksIdle());
    const QByteArray modern = server.LastRequest("/index.html");
    QCOMPARE(HeaderValue(modern, "User-Agent"), QByteArray("Kelvorn/1.31"));
    QCOMPARE(HeaderValue(modern, "Referer"), QByteArray());
    // Apart from the added line the request is the classic one.
    QByteArray withoutAgent = modern;
    withoutAgent.replace("User-Agent: Kelvorn/1.31\r\n", "");
    QCOMPARE(withoutAgent, classic);
    QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{server.Url("/next.html"), server.Url("/story")}));

    w.Docs()->SetChecked(RetrievalWindow::IndexOf(w.Docs(), server.Url("/story")), true);
    w.win->UpdateScreen();
    w.win->ButtonParse->click();
    QTRY_VERIFY(w.LooksIdle());
    const QByteArray linked = server.LastRequest("/story");
    QCOMPARE(HeaderValue(linked, "Referer"), main);
    QCOMPARE(HeaderValue(linked, "User-Agent"), QByteArray("Kelvorn/1.31"));
    QCOMPARE(RetrievalWindow::Captions(w.Files()), QByteArrayList{server.Url("/x.jpg")});

    // Off again: the next request is the classic one.
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, false);
    w.Get(main);
    QTRY_VERIFY(w.LooksIdle());
    QCOMPARE(server.LastRequest("/index.html"), classic);
}

void TestModernScanner::getParseAndDownloadEndToEnd()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    PyHttpServer server(root.path());
    QVERIFY(server.Start());
    const QByteArray b = server.Url("/site/");
    WriteFile(root.path(), "site/index.html",
              "<!doctype html><html><head><base href='/site/'><meta property='og:image' content='img/share.jpg'>"
              "</head><body><a class=more href='news/story'>story</a>"
              "<img alt=x src='img/spinner.gif' data-src='img/photo%20one.jpg'>"
              "<a href='files/archive.zip?v=2'>zip</a><a href=mailto:me@example.com>mail</a></body></html>");
    WriteFile(root.path(), "site/news/story",
              "<picture><source srcset='/site/img/wide.webp 1600w, /site/img/narrow.webp 400w'>"
              "<img src=/site/img/narrow.webp></picture><a href=../index.html>home</a>");
    const QByteArray photo = Content("photo", FileSize);
    const QByteArray share = Content("share", FileSize + 1);
    const QByteArray zip = Content("zip", FileSize + 2);
    const QByteArray wide = Content("wide", FileSize + 3);
    WriteFile(root.path(), "site/img/photo one.jpg", photo);
    WriteFile(root.path(), "site/img/share.jpg", share);
    WriteFile(root.path(), "site/files/archive.zip", zip);
    WriteFile(root.path(), "site/img/wide.webp", wide);

    RetrievalWindow w;
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    RetrievalWindow::Set(w.win->Addnewfilestoexcistinglistwhenparsing1, true);
    w.Get(b + "index.html");
    QTRY_VERIFY(w.LooksIdle());
    QCOMPARE(RetrievalWindow::Captions(w.Docs()), QByteArrayList{b + "news/story"});
    QCOMPARE(RetrievalWindow::Captions(w.Files()),
             (QByteArrayList{b + "img/share.jpg", b + "img/photo%20one.jpg", b + "files/archive.zip?v=2"}));

    w.Docs()->SetChecked(0, true);
    w.win->UpdateScreen();
    w.win->ButtonParse->click();
    QTRY_VERIFY(w.LooksIdle());
    QCOMPARE(w.Docs()->ImageIndex(RetrievalWindow::IndexOf(w.Docs(), b + "news/story")), int(DocParsed));
    QCOMPARE(RetrievalWindow::Captions(w.Files()).last(), b + "img/wide.webp");
    QCOMPARE(w.Files()->Count(), 4);
    // The story's link back to the main page is a document again, as a child link.
    QCOMPARE(RetrievalWindow::Captions(w.Docs()), (QByteArrayList{b + "index.html", b + "news/story"}));

    for (int i = 0; i < w.Files()->Count(); ++i)
        w.Files()->SetChecked(i, true);
    w.win->UpdateScreen();
    w.win->ButtonDownload->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle() && w.Files()->ImageIndex(3) == FileDownloaded, 60000);
    for (int i = 0; i < w.Files()->Count(); ++i)
        QCOMPARE(w.Files()->ImageIndex(i), int(FileDownloaded));
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("share.jpg"))), share);
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("photo one.jpg"))), photo);
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("archive.zip"))), zip);
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("wide.webp"))), wide);
    QVERIFY(QTest::qWaitFor([] { return TDownload::Running() == 0; }, 30000));
}

// Files of a modern scan: requests with the program's name and the page they were found on, names
// without an extension completed from the Content-Type (still free in the directory), small
// pictures kept, small HTML answers and error answers deleted.
void TestModernScanner::downloadsNamedByTypeSmallFilesKept()
{
    const auto reply = [](const QByteArray& status, const QByteArray& type, const QByteArray& body) {
        return StallServer::Reply{"HTTP/1.0 " + status + "\r\nContent-Type: " + type
                                  + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body};
    };
    const QByteArray photo = Content("photo", FileSize);
    const QByteArray icon = Content("icon", 200);
    StallServer server;
    server.SetPage("/gallery/", "<img src='/photo?id=7'><img src=/icon.png><img src=/moved.jpg><img src=/gone.gif>");
    server.SetReply("/photo?id=7", reply("200 OK", "image/jpeg", photo));
    server.SetReply("/icon.png", reply("200 OK", "image/png", icon));
    server.SetReply("/moved.jpg", reply("200 OK", "text/html", "<p>moved</p>"));
    server.SetReply("/gone.gif", reply("404 Not Found", "image/gif", "GIF89a"));
    const QByteArray page = server.Url("/gallery/");

    RetrievalWindow w;
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    RetrievalWindow::Set(w.win->Skipfileifexistindownloaddirectory1, false);
    WriteFile(w.downloads.path(), "photo.jpg", "an older photo");
    w.Get(page);
    QCOMPARE(RetrievalWindow::Captions(w.Files()),
             (QByteArrayList{server.Url("/photo?id=7"), server.Url("/icon.png"), server.Url("/moved.jpg"),
                             server.Url("/gone.gif")}));
    QCOMPARE(w.Files()->SubItem(0, 1), QByteArray("photo"));
    for (int i = 0; i < w.Files()->Count(); ++i)
        w.Files()->SetChecked(i, true);
    w.win->UpdateScreen();
    w.win->ButtonDownload->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle() && !w.win->Downloads->Pending(), 60000);

    QCOMPARE(w.Files()->ImageIndex(0), int(FileDownloaded));
    QCOMPARE(w.Files()->SubItem(0, 1), QByteArray("photo_.jpg"));
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("photo_.jpg"))), photo);
    QVERIFY(!QFile::exists(w.downloads.filePath(QStringLiteral("photo"))));
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("photo.jpg"))), QByteArray("an older photo"));
    QCOMPARE(w.Files()->ImageIndex(1), int(FileDownloaded));
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("icon.png"))), icon);
    QCOMPARE(w.Files()->ImageIndex(2), int(FileFailed));  // small, and an HTML answer
    QCOMPARE(w.Files()->SubItem(2, 1), QByteArray("Not available"));
    QCOMPARE(w.Files()->ImageIndex(3), int(FileFailed));  // an error answer
    QVERIFY(!QFile::exists(w.downloads.filePath(QStringLiteral("moved.jpg"))));
    QVERIFY(!QFile::exists(w.downloads.filePath(QStringLiteral("gone.gif"))));

    const QByteArray request = server.LastRequest("/photo?id=7");
    QCOMPARE(HeaderValue(request, "User-Agent"), QByteArray("Kelvorn/1.31"));
    QCOMPARE(HeaderValue(request, "Referer"), page);
    QVERIFY(QTest::qWaitFor([] { return TDownload::Running() == 0; }, 30000));
}

// A gallery whose pictures sit at /img?id=N, with mixed and missing types, a name sent by the
// server, two pictures with one last segment and a UTF-8 name: every picture lands on disk under
// its own name; skipping passes over the older file only, never over a name that another item of
// the same harvest holds.
void TestModernScanner::galleryEveryPictureUnderItsOwnName()
{
    const auto reply = [](const QByteArray& headers, const QByteArray& body) {
        return StallServer::Reply{"HTTP/1.0 200 OK\r\n" + headers + "Content-Length: " + QByteArray::number(body.size())
                                  + "\r\n\r\n" + body};
    };
    const QByteArray jpeg = "\xFF\xD8\xFF\xE0" + Content("one", FileSize);
    const QByteArray png = "\x89PNG\r\n\x1A\n" + Content("two", FileSize);
    const QByteArray gif = "GIF89a" + Content("three", FileSize);
    const QByteArray webp = QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16) + Content("four", FileSize);
    const QByteArray cafe = "\xFF\xD8\xFF\xE0" + Content("five", FileSize);
    const QByteArray first = Content("a-photo", FileSize);
    const QByteArray second = Content("b-photo", FileSize);
    const QByteArray big = Content("big", FileSize);
    StallServer server;
    server.SetPage("/gallery/",
                   "<img src='/img?id=1'><img src='/img?id=2'><img src='/img?id=3'><img src='/img?id=4'>"
                   "<img src='/img?id=5'><img src='/a/photo.jpg'><img src='/b/photo.jpg'><img src='/%E5%A4%A7.png'>");
    server.SetReply("/img?id=1", reply("Content-Type: image/jpeg\r\n", jpeg));
    server.SetReply("/img?id=2", reply("Content-Type: image/png\r\n", png));
    server.SetReply("/img?id=3", reply("Content-Type: application/octet-stream\r\n", gif));
    server.SetReply("/img?id=4", reply("", webp));
    server.SetReply("/img?id=5",
                    reply("Content-Type: image/jpeg\r\nContent-Disposition: inline; filename=\"cafe.jpg\"; "
                          "filename*=UTF-8''caf%C3%A9.jpg\r\n",
                          cafe));
    server.SetReply("/a/photo.jpg", reply("Content-Type: image/jpeg\r\n", first));
    server.SetReply("/b/photo.jpg", reply("Content-Type: image/jpeg\r\n", second));
    server.SetReply("/%E5%A4%A7.png", reply("Content-Type: image/png\r\n", big));

    RetrievalWindow w;
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    RetrievalWindow::Set(w.win->Skipfileifexistindownloaddirectory1, true);
    WriteFile(w.downloads.path(), "img-id-2", "an older picture");
    w.Get(server.Url("/gallery/"));
    QTRY_VERIFY(w.LooksIdle());
    QByteArrayList names;
    for (int i = 0; i < w.Files()->Count(); ++i)
        names << w.Files()->SubItem(i, 1);
    QCOMPARE(names,
             (QByteArrayList{"img-id-1", "img-id-2", "img-id-3", "img-id-4", "img-id-5", "photo-a.jpg", "photo-b.jpg",
                             "\xE5\xA4\xA7.png"}));
    // Two items of this harvest under one name: the second is renamed, neither skipped.
    w.Files()->SetSubItem(6, 1, "photo-a.jpg");

    for (int i = 0; i < w.Files()->Count(); ++i)
        w.Files()->SetChecked(i, true);
    w.win->UpdateScreen();
    w.win->ButtonDownload->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle() && !w.win->Downloads->Pending(), 60000);

    QCOMPARE(w.Files()->ImageIndex(1), int(FileSkipped));
    QCOMPARE(ReadFile(w.downloads.filePath(QStringLiteral("img-id-2"))), QByteArray("an older picture"));
    const QList<std::pair<int, QString>> expected{
        {0, QStringLiteral("img-id-1.jpg")},  {2, QStringLiteral("img-id-3.gif")}, {3, QStringLiteral("img-id-4.webp")},
        {4, QStringLiteral("caf\u00e9.jpg")}, {5, QStringLiteral("photo-a.jpg")},  {6, QStringLiteral("photo-a_.jpg")},
        {7, QStringLiteral("\u5927.png")}};
    const QByteArrayList bodies{jpeg, png, gif, webp, cafe, first, second, big};
    for (const auto& [index, name] : expected) {
        QCOMPARE(w.Files()->ImageIndex(index), int(FileDownloaded));
        QCOMPARE(w.Files()->SubItem(index, 1), name.toUtf8());
        QCOMPARE(ReadFile(w.downloads.filePath(name)), bodies[index]);
    }
    QCOMPARE(QDir(w.downloads.path()).entryList(QDir::Files).size(), expected.size() + 1);
    QVERIFY(QTest::qWaitFor([] { return TDownload::Running() == 0; }, 30000));
}

QTEST_MAIN(TestModernScanner)
#include "test_modern_scanner.moc"
