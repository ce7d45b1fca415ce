// ParseDocument on the main window: what reaches the parse list and the two lists, in which
// order, with which item set-up, under which options; and odd or oversized pages. Resolution
// and classes are tested on the rules themselves (test_linkrules) and, through whole scans,
// against the plain scan.
#include <QRandomGenerator>
#include <QtTest>
#include <memory>

#include "main/TParseList.h"
#include "main/UnitMain.h"
#include "support/IsolatedSettings.h"
#include "support/LiteralScanner.h"
#include "widgets/TCheckListView.h"

namespace {
const QByteArray Base = "http://h/d/";

QByteArrayList Captions(const TCheckListView* list)
{
    QByteArrayList captions;
    for (int i = 0; i < list->Count(); ++i)
        captions << list->Caption(i);
    return captions;
}

QByteArrayList Lines(const TParseList* list)
{
    QByteArrayList lines;
    for (int i = 0; i < list->Count(); ++i)
        lines << list->Line(i);
    return lines;
}
}  // namespace

class TestScanner : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void duplicatesAndLetterCase();
    void pictureOption();
    void childLinksOption();
    void parseModes();
    void orderOfAdditions();
    void newItemsAndAutoTick();
    void optionsReadAtTheMomentOfUse();
    void statusTextAndTurns();
    void sameAsLiteralScan();
    void badInput();

private:
    void Options(bool pictures, bool childLinks, bool selectFirst)
    {
        W->Addembeddedimageswhenparsing1->setChecked(pictures);
        W->Addnewlinksfoundwhenparsingtoexistinglist1->setChecked(childLinks);
        W->Autoselectfirstfilefromeachlink1->setChecked(selectFirst);
    }
    std::unique_ptr<IsolatedSettings> FSettings;
    std::unique_ptr<TFormMain> W;
};

void TestScanner::init()
{
    FSettings = std::make_unique<IsolatedSettings>();
    W = std::make_unique<TFormMain>();
    W->MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    W->EndProcessHook = [] {};
    W->BeepHook = [] {};
    // As while a command runs: the document list appends.
    W->ListViewDoc->SetSorted(false);
    Options(true, true, false);
}

void TestScanner::cleanup()
{
    W.reset();
    FSettings.reset();
}

void TestScanner::duplicatesAndLetterCase()
{
    W->ListViewFile->Add("http://h/d/old.jpg");
    W->ListBoxParse1->Add("http://h/d/known.html");
    W->ParseDocument(Base,
                     "<a href=\"a.jpg\"><a href=\"A.JPG\"><a href=\"a.jpg\"><a href=\"old.jpg\">"
                     "<a href=\"p.html\"><a href=\"P.html\"><a href=\"p.html\"><a href=\"known.html\">",
                     1);
    QCOMPARE(Captions(W->ListViewFile), (QByteArrayList{"http://h/d/old.jpg", "http://h/d/a.jpg", "http://h/d/A.JPG"}));
    QCOMPARE(Lines(W->ListBoxParse1),
             (QByteArrayList{"http://h/d/known.html", "http://h/d/p.html", "http://h/d/P.html"}));
    // The last accepted file link was a duplicate that was not added: it is still the last one.
    QCOMPARE(W->LastFileLink, QByteArray("http://h/d/old.jpg"));

    // A second scan of the same page adds nothing.
    W->ParseDocument(Base, "<a href=\"a.jpg\"><img src=\"A.JPG\">", 2);
    QCOMPARE(W->ListViewFile->Count(), 3);
    QCOMPARE(W->LastFileLink, QByteArray("http://h/d/A.JPG"));
}

void TestScanner::pictureOption()
{
    const QByteArray page = "<img src=\"a.gif\"><img alt=\"x\" src=\"b.gif\"><IMG SRC=\"c.GIF\">";
    W->ParseDocument(Base, page, 2);
    QCOMPARE(Captions(W->ListViewFile), (QByteArrayList{"http://h/d/a.gif", "http://h/d/c.GIF"}));
    W->ListViewFile->Clear();
    Options(false, true, false);
    W->LastFileLink = "untouched";
    W->ParseDocument(Base, page, 2);
    QCOMPARE(W->ListViewFile->Count(), 0);
    QCOMPARE(W->LastFileLink, QByteArray("untouched"));  // a picture not taken is no file link
    // Link targets are not pictures: the option does not touch them.
    W->ParseDocument(Base, "<a href=\"a.gif\">", 2);
    QCOMPARE(Captions(W->ListViewFile), QByteArrayList{"http://h/d/a.gif"});
}

void TestScanner::childLinksOption()
{
    const QByteArray page = "<a href=\"p.html\"><a href=\"f.jpg\"><a href=\"q.htm\">";
    Options(true, false, false);
    W->ParseDocument(Base, page, 2);
    QCOMPARE(W->ListViewDoc->Count(), 0);
    QCOMPARE(Captions(W->ListViewFile), QByteArrayList{"http://h/d/f.jpg"});
    Options(true, true, false);
    W->ParseDocument(Base, page, 2);
    QCOMPARE(Captions(W->ListViewDoc), (QByteArrayList{"http://h/d/p.html", "http://h/d/q.htm"}));
}

void TestScanner::parseModes()
{
    // Mode 2 reads the parse list (a document listed there is not added) and never writes it;
    // it also skips documents already in the document list.
    W->ListBoxParse1->Add("http://h/d/main.html");
    W->ListViewDoc->Add("http://h/d/seen.html");
    const QByteArray page = "<a href=\"main.html\"><a href=\"seen.html\"><a href=\"new.html\"><a href=\"new.html\">";
    W->ParseDocument(Base, page, 2);
    QCOMPARE(Lines(W->ListBoxParse1), QByteArrayList{"http://h/d/main.html"});
    QCOMPARE(Captions(W->ListViewDoc), (QByteArrayList{"http://h/d/seen.html", "http://h/d/new.html"}));

    // Mode 1 writes the parse list only, whatever the document list holds.
    W->ParseDocument(Base, page, 1);
    QCOMPARE(Lines(W->ListBoxParse1),
             (QByteArrayList{"http://h/d/main.html", "http://h/d/seen.html", "http://h/d/new.html"}));
    QCOMPARE(W->ListViewDoc->Count(), 2);

    // Any other mode takes files but no documents.
    W->ParseDocument(Base, "<a href=\"other.html\"><a href=\"x.zip\">", 3);
    QCOMPARE(W->ListBoxParse1->Count(), 3);
    QCOMPARE(W->ListViewDoc->Count(), 2);
    QCOMPARE(Captions(W->ListViewFile), QByteArrayList{"http://h/d/x.zip"});
}

void TestScanner::orderOfAdditions()
{
    // Every link target in text order, then every picture in text order, markers in any case
    // and inside other links' values or comments.
    const QByteArray page = "<img src=\"p1.gif\"><!-- <a HREF=\"c.jpg\"> --><a href=\"l1.jpg\">"
                            "<IMG src=\"p2.gif\"><a hReF=\"l2.html\"><a href=\"imgsrc=\"p3.gif\">";
    QList<int> inserted;
    connect(W->ListViewFile, &TCheckListView::Insert, this, [&](int index) { inserted << index; });
    W->ParseDocument(Base, page, 2);
    QCOMPARE(Captions(W->ListViewFile),
             (QByteArrayList{"http://h/d/c.jpg", "http://h/d/l1.jpg", "http://h/d/p1.gif", "http://h/d/p2.gif",
                             "http://h/d/p3.gif"}));
    QCOMPARE(inserted, (QList<int>{0, 1, 2, 3, 4}));
    QCOMPARE(Captions(W->ListViewDoc), QByteArrayList{"http://h/d/l2.html"});
}

void TestScanner::newItemsAndAutoTick()
{
    Options(true, true, true);
    W->FirstFileTaken = false;
    W->ParseDocument(Base, "<a href=\"p.html\"><a href=\"dir/First.jpg\"><a href=\"second.zip\">", 2);
    TCheckListView* files = W->ListViewFile;
    QCOMPARE(files->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(files->ImageIndex(i), int(FilePending));
        QCOMPARE(files->SubItem(i, 2), QByteArray());
    }
    QCOMPARE(files->SubItem(0, 1), QByteArray("First.jpg"));
    QCOMPARE(files->SubItem(1, 1), QByteArray("second.zip"));
    QCOMPARE(files->StateImage(0), 1);  // the first file is ticked ...
    QCOMPARE(files->StateImage(1), 0);  // ... the rest show an empty box
    QVERIFY(W->FirstFileTaken);
    QCOMPARE(W->ListViewDoc->ImageIndex(0), int(DocPending));
    QCOMPARE(W->ListViewDoc->StateImage(0), 0);

    // Already taken: the next scan ticks nothing; cleared (as the parsing pass does per
    // document): the first new file is ticked, a duplicate does not use the tick up.
    W->ParseDocument(Base, "<a href=\"third.gif\">", 2);
    QCOMPARE(files->StateImage(2), 0);
    W->FirstFileTaken = false;
    W->ParseDocument(Base, "<a href=\"second.zip\"><a href=\"fourth.gif\">", 2);
    QCOMPARE(files->Count(), 4);
    QCOMPARE(files->StateImage(3), 1);
    QCOMPARE(files->StateImage(1), 0);

    // Option off: nothing ticked, the flag untouched.
    Options(true, true, false);
    W->FirstFileTaken = false;
    W->ParseDocument(Base, "<a href=\"fifth.gif\">", 2);
    QCOMPARE(files->StateImage(4), 0);
    QVERIFY(!W->FirstFileTaken);

    // Items appended by other code (loading the lists) get the same set-up from the handler.
    Options(true, true, true);
    W->LastFileLink = "http://h/x/loaded.jpeg";
    const int index = files->Add("http://elsewhere/whatever");
    QCOMPARE(files->SubItem(index, 1), QByteArray("loaded.jpeg"));
    QCOMPARE(files->StateImage(index), 1);
    QVERIFY(W->FirstFileTaken);
    const int doc = W->ListViewDoc->Add("http://h/loaded.html");
    QCOMPARE(W->ListViewDoc->ImageIndex(doc), int(DocPending));
    QCOMPARE(W->ListViewDoc->StateImage(doc), 0);
}

void TestScanner::optionsReadAtTheMomentOfUse()
{
    // The option changes while the scan runs (here from the first file item's insertion): the
    // pictures after that moment are no longer taken, the one before was.
    const QByteArray page = "<img src=\"p1.gif\"><a href=\"l1.jpg\"><img src=\"p2.gif\"><a href=\"l2.html\">";
    bool switched = false;
    connect(W->ListViewFile, &TCheckListView::Insert, this, [&](int) {
        if (!switched) {
            switched = true;
            W->Addembeddedimageswhenparsing1->setChecked(false);
            W->Addnewlinksfoundwhenparsingtoexistinglist1->setChecked(false);
        }
    });
    W->ParseDocument(Base, page, 2);
    QCOMPARE(Captions(W->ListViewFile), QByteArrayList{"http://h/d/l1.jpg"});
    QCOMPARE(W->ListViewDoc->Count(), 0);  // l2.html came after the switch

    // A click that arrives during the scan's first turn counts for the whole page.
    W->ListViewFile->Clear();
    Options(true, true, false);
    QTimer::singleShot(0, W.get(), [&] { W->Addembeddedimageswhenparsing1->setChecked(false); });
    W->ParseDocument(Base, "<img src=\"p1.gif\"><a href=\"l1.jpg\">", 2);
    QCOMPARE(Captions(W->ListViewFile), QByteArrayList{"http://h/d/l1.jpg"});
}

void TestScanner::statusTextAndTurns()
{
    W->SetStatusText(QStringLiteral("Status: Not active"));
    W->ParseDocument(Base, "<p>no markers here</p>", 1);
    QCOMPARE(W->StatusText(), QStringLiteral("Status: Parsing link"));
    QCOMPARE(W->ListBoxParse1->Count() + W->ListViewDoc->Count() + W->ListViewFile->Count(), 0);

    // A long scan keeps giving the window turns: a zero timer fires again and again meanwhile.
    QByteArray page;
    for (int i = 0; i < 300000; ++i)
        page += "<a href=\"f" + QByteArray::number(i % 5000) + ".jpg\"> filler filler filler filler\n";
    int ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start();
    W->ParseDocument(Base, page, 2);
    timer.stop();
    QCOMPARE(W->ListViewFile->Count(), 5000);
    QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));
}

void TestScanner::sameAsLiteralScan()
{
    // Lists, order, ticks and the last file link as the plain scan with walks over plain lists
    // gives them, over generated pages, modes, options and lists already holding entries.
    // clang-format off
    static const QList<QByteArray> markers = {
        "<a href=\"", "<A HREF = \"", "<img src=\"", "<IMG SRC=\"", "<img alt=\"x\" src=\"", "href=\"", "imgsrc=\"",
    };
    static const QList<QByteArray> values = {
        "a.jpg", "A.JPG", "b.gif", "p.html", "P.HTML", "../up.htm", "../../no.html", "/abs.zip", "http://h2/z.zip",
        "go.cgi?to=http://h2/z.zip", "mailto:x.html", "q.html?x", "http://s.com", "http://s.com/", "dir/a.jpg",
        "", "..", "x y.mpg", "c\r\nd.avi", "\xe9.jpeg",
    };
    // clang-format on
    static const QList<QByteArray> noise = {"\"", "\">", " ", "x", "\r\n", "\t", "\xe9", "href=", "=\""};
    static const QList<QByteArray> bases = {"http://h/d/", "http://h/a/b/", "http://h/"};
    QRandomGenerator random(42);
    for (int round = 0; round < 300; ++round) {
        W->ListViewDoc->Clear();
        W->ListViewFile->Clear();
        W->ListBoxParse1->Clear();
        TLiteralLists expected;
        TLiteralOptions options;
        options.pictures = random.bounded(4) != 0;
        options.childLinks = random.bounded(4) != 0;
        options.selectFirst = random.bounded(2) != 0;
        Options(options.pictures, options.childLinks, options.selectFirst);
        W->FirstFileTaken = expected.firstFileTaken = random.bounded(3) == 0;
        W->LastFileLink = expected.lastFileLink = "before";
        // Entries from earlier pages.
        for (const QByteArray& seed : {QByteArray("http://h/d/a.jpg"), QByteArray("http://h/d/p.html")}) {
            if (random.bounded(2)) {
                W->ListBoxParse1->Add(seed);
                expected.parse << seed;
            }
        }
        if (random.bounded(2)) {
            W->ListViewDoc->Add("http://h/d/P.HTML");
            expected.documents << "http://h/d/P.HTML";
        }
        QByteArray page;
        for (int n = random.bounded(30); n > 0; --n) {
            if (random.bounded(4) == 0) {
                page += noise.at(random.bounded(noise.size()));
            } else {
                page += markers.at(random.bounded(markers.size())) + values.at(random.bounded(values.size()));
                if (random.bounded(8) != 0)
                    page += "\">";
            }
        }
        const QByteArray& base = bases.at(random.bounded(bases.size()));
        const int mode = 1 + random.bounded(2);

        LiteralParse(base, page, mode, options, expected);
        W->ParseDocument(base, page, mode);
        const QByteArray where = "page " + page.toPercentEncoding() + " mode " + QByteArray::number(mode);
        QVERIFY2(Lines(W->ListBoxParse1) == expected.parse, where.constData());
        QVERIFY2(Captions(W->ListViewDoc) == expected.documents, where.constData());
        QVERIFY2(Captions(W->ListViewFile) == expected.files, where.constData());
        for (int i = 0; i < W->ListViewFile->Count(); ++i)
            QVERIFY2(W->ListViewFile->Checked(i) == expected.fileTicked.at(i), where.constData());
        QVERIFY2(W->LastFileLink == expected.lastFileLink, where.constData());
        QVERIFY2(W->FirstFileTaken == expected.firstFileTaken, where.constData());
    }
}

void TestScanner::badInput()
{
    // Binary bytes and NULs around real markers: the markers count, nothing else does.
    QByteArray binary;
    QRandomGenerator random(3);
    for (int i = 0; i < 200000; ++i)
        binary += char(random.bounded(256));
    binary.replace('"', '\0');  // no stray quotes, so the values below end where they should
    binary.insert(1000, QByteArray("href=\"bin\0.jpg\"", 15));
    binary.insert(5000, "IMGsrc=\"\xe9t\xe9.gif\"");
    W->ParseDocument(Base, binary, 2);
    QCOMPARE(Captions(W->ListViewFile),
             (QByteArrayList{QByteArray("http://h/d/bin\0.jpg", 19), "http://h/d/\xe9t\xe9.gif"}));
    // A control character (NUL, newline, escape) never reaches a local name.
    QCOMPARE(W->ListViewFile->SubItem(0, 1), QByteArray("bin_.jpg"));

    // CR, LF and TAB inside values stay part of the link; at the end they spoil the extension.
    W->ListViewFile->Clear();
    W->ParseDocument(Base, "<a href=\"a\r\nb.jpg\"><a href=\"c\td.zip\"><a href=\"e.jpg\r\n\"><a href=\"\tf.jpg\t\">",
                     2);
    QCOMPARE(Captions(W->ListViewFile), (QByteArrayList{"http://h/d/a\r\nb.jpg", "http://h/d/c\td.zip"}));
    QCOMPARE(W->ListViewFile->SubItem(0, 1), QByteArray("a__b.jpg"));
    QCOMPARE(W->ListViewFile->SubItem(1, 1), QByteArray("c_d.zip"));

    // No closing quote: the rest of the text is the link, which then fails the class test.
    W->ListViewFile->Clear();
    W->ParseDocument(Base, "<a href=\"x.jpg\"> <a href=\"y.jpg> and more text", 2);
    QCOMPARE(Captions(W->ListViewFile), QByteArrayList{"http://h/d/x.jpg"});
    W->ParseDocument(Base, "<a href=\"z.jpg", 2);  // ... unless the rest is a good link
    QCOMPARE(W->ListViewFile->Count(), 2);

    // Only markers, 2 MB of them: every one is taken, none gives a link.
    W->ListViewFile->Clear();
    QByteArray markers;
    while (markers.size() < 2'000'000)
        markers += "href=\"HREF=\"imgsrc=\"IMGSRC=\"";
    W->ParseDocument(Base, markers, 1);
    QCOMPARE(W->ListBoxParse1->Count() + W->ListViewDoc->Count() + W->ListViewFile->Count(), 0);

    // 50 MB of text with links spread through it.
    QByteArray big;
    big.reserve(52'000'000);
    const QByteArray filler(1000, 'x');
    int last = 0;
    for (int i = 0; big.size() < 50'000'000; ++i) {
        big += filler + "<a href=\"big" + QByteArray::number(i % 1000) + ".jpg\">";
        last = i % 1000;
    }
    W->ParseDocument(Base, big, 2);
    QCOMPARE(W->ListViewFile->Count(), 1000);
    QCOMPARE(W->LastFileLink, "http://h/d/big" + QByteArray::number(last) + ".jpg");
}

QTEST_MAIN(TestScanner)
#include "test_scanner.moc"
