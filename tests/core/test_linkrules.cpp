// The scanner's text rules, without a window: preparation, resolution, classes, and the marker
// walk checked against a literal restart-from-the-start search over many generated texts.
#include <QRandomGenerator>
#include <QtTest>

#include "rules/LinkRules.h"
#include "support/LiteralScanner.h"

namespace {
using TRefLink = TLiteralMarker;

QList<TRefLink> ReferenceScan(const QByteArray& text) { return LiteralMarkers(text); }

QList<TRefLink> WalkScan(const QByteArray& text)
{
    QList<TRefLink> links;
    TMarkerWalk walk(text);
    TMarker marker;
    while (walk.Next(marker)) {
        if (marker.start < 1 || marker.end < marker.start || marker.end > text.size())
            qFatal("marker out of range");
        links.append({marker.kind == TMarkerKind::Picture, MarkerValue(text, marker)});
    }
    return links;
}

// Pieces chosen to make markers meet, overlap, nest in values, lose their quotes and hide
// behind spaces, letter case, 8-bit bytes and control characters.
const QList<QByteArray>& Pieces()
{
    // clang-format off
    static const QList<QByteArray> pieces = {
        "HREF=\"", "href=\"", "HrEf=\"", "IMGSRC=\"", "imgsrc=\"", "ImgSrc=\"", "H R E F = \"",
        "IMG SRC=\"", "<a ", "<img ", "\"", "\"", " ", "  ", "a", "x.jpg", "Pic.GIF", "../",
        "/", "//", "http://h/", "E", "R", "_", "=", "HREF", "IMGSRC", "HRE", "F=\"", "SRC=\"",
        "IMG", "HREF=", "IMGSRC=", QByteArray("\0", 1), "\xe9", "\xff", "\t", "\r\n", ">",
        "?", "mailto:", ".html", "HREF=\"HREF=\"", "IMGSRC=\"HREF=\"",
    };
    // clang-format on
    return pieces;
}

QByteArray GeneratedText(QRandomGenerator& random)
{
    QByteArray text;
    const int count = random.bounded(60);
    for (int i = 0; i < count; ++i)
        text += Pieces().at(random.bounded(Pieces().size()));
    return text;
}
}  // namespace

class TestLinkRules : public QObject {
    Q_OBJECT
private slots:
    void spacesAndOtherBytes();
    void resolution_data();
    void resolution();
    void classes_data();
    void classes();
    void walkOrderAndValues_data();
    void walkOrderAndValues();
    void walkMatchesLiteralSearch();
    void rulesMatchLiteralRules();
    void markerLinkPictureOption();
    void badInput();
};

void TestLinkRules::spacesAndOtherBytes()
{
    // Only code 32 goes from a value; tabs, CR, LF, NUL and 8-bit bytes stay where they were.
    const QByteArray text("href=\"a b\tc\r\nd  e\0f\xa0g \xe9\"", 24);
    TMarkerWalk walk(text);
    TMarker marker;
    QVERIFY(walk.Next(marker));
    QCOMPARE(MarkerValue(text, marker), QByteArray("ab\tc\r\nde\0f\xa0g\xe9", 13));
    TLinkBuffer buffer;
    QCOMPARE(MarkerLink(text, marker, "b/", true, buffer), QByteArray("b/ab\tc\r\nde\0f\xa0g\xe9", 15));
    QVERIFY(!walk.Next(marker));
    // Spaces anywhere inside a marker, but no other blank: a tab breaks it.
    QCOMPARE(WalkScan("<a h r e f  =  \"x.jpg\"> <img s r c=\"no.gif\"> <i m g s r c = \"y.gif\">"),
             (QList<TRefLink>{{false, "x.jpg"}, {true, "no.gif"}, {true, "y.gif"}}));
    QCOMPARE(WalkScan("href\t=\"a.jpg\" href=\t\"b.jpg\" h\0ref=\"c.jpg\""), QList<TRefLink>());
    // 8-bit letters are never folded into ASCII ones.
    QCOMPARE(WalkScan("\xc8REF=\"a.jpg\" hr\xe9"
                      "f=\"b.jpg\" IMG\xd3RC=\"c.gif\""),
             QList<TRefLink>());
    QCOMPARE(ClassifyLink("http://h/a.htm\xcc"), TLinkClass::None);
}

void TestLinkRules::resolution_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("resolved");
    QTest::newRow("relative keeps case") << QByteArray("http://h/d/") << QByteArray("Pics/One.JPG")
                                         << QByteArray("http://h/d/Pics/One.JPG");
    QTest::newRow("leading slash is the document's directory")
        << QByteArray("http://h/d/") << QByteArray("/x/y.jpg") << QByteArray("http://h/d/x/y.jpg");
    QTest::newRow("one level up") << QByteArray("http://h/a/b/") << QByteArray("../up.html")
                                  << QByteArray("http://h/a/up.html");
    QTest::newRow("two levels up keeps the second ..")
        << QByteArray("http://h/a/b/") << QByteArray("../../x.html") << QByteArray("http://h/a/../x.html");
    QTest::newRow("up without slash in link")
        << QByteArray("http://h/a/b/") << QByteArray("..x.jpg") << QByteArray("http://h/a/..x.jpg");
    QTest::newRow("up from the host's root eats the host")
        << QByteArray("http://h/") << QByteArray("../x.html") << QByteArray("http://x.html");
    QTest::newRow("up from a base without slash") << QByteArray("abc") << QByteArray("../x.jpg") << QByteArray("x.jpg");
    QTest::newRow("up then absolute") << QByteArray("http://h/a/b/") << QByteArray("../http://h2/z.zip")
                                      << QByteArray("http://h2/z.zip");
    QTest::newRow("absolute unchanged") << QByteArray("http://h/d/") << QByteArray("http://h2/z.zip")
                                        << QByteArray("http://h2/z.zip");
    QTest::newRow("two slashes and a host unchanged")
        << QByteArray("http://h/d/") << QByteArray("//h2/p.gif") << QByteArray("//h2/p.gif");
    QTest::newRow("redirect cut to the address")
        << QByteArray("http://h/d/") << QByteArray("go.cgi?to=http://h2/z.zip") << QByteArray("http://h2/z.zip");
    QTest::newRow("cut finds the scheme in any case")
        << QByteArray("http://h/d/") << QByteArray("go.cgi?to=HtTp://h2/z.zip") << QByteArray("HtTp://h2/z.zip");
    QTest::newRow("scheme first keeps a second address")
        << QByteArray("http://h/d/") << QByteArray("http://h/go?u=http://h2/z.zip")
        << QByteArray("http://h/go?u=http://h2/z.zip");
    QTest::newRow("other scheme in the base stays")
        << QByteArray("ftp://h/d/") << QByteArray("x.jpg") << QByteArray("ftp://h/d/x.jpg");
    QTest::newRow("base holding http after the start")
        << QByteArray("x/http:/d/") << QByteArray("y.jpg") << QByteArray("http:/d/y.jpg");
    QTest::newRow("empty link is the base") << QByteArray("http://h/d/") << QByteArray() << QByteArray("http://h/d/");
    QTest::newRow("only a slash is the base")
        << QByteArray("http://h/d/") << QByteArray("/") << QByteArray("http://h/d/");
    QTest::newRow("two leading slashes without host")
        << QByteArray("http://h/d/") << QByteArray("//") << QByteArray("//");
    QTest::newRow("empty base") << QByteArray() << QByteArray("a.jpg") << QByteArray("a.jpg");
}

void TestLinkRules::resolution()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, resolved);
    QCOMPARE(ResolveLink(base, link), resolved);
}

void TestLinkRules::classes_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<int>("linkClass");
    const int none = int(TLinkClass::None), doc = int(TLinkClass::Document), file = int(TLinkClass::File);
    QTest::newRow("htm") << QByteArray("http://h/a.htm") << doc;
    QTest::newRow("html any case") << QByteArray("http://h/a.HtMl") << doc;
    QTest::newRow("shtml") << QByteArray("http://h/a.shtml") << doc;
    QTest::newRow("bare .com site") << QByteArray("http://www.h.com") << doc;
    QTest::newRow(".com with slash") << QByteArray("http://www.h.com/") << none;
    QTest::newRow("mailto lower case") << QByteArray("mailto:x@h.html") << none;
    QTest::newRow("MAILTO upper case is a document") << QByteArray("MAILTO:x@h.html") << doc;
    QTest::newRow("mailto file is still a file") << QByteArray("http://h/mailto.jpg") << file;
    QTest::newRow("query document") << QByteArray("http://h/page.html?x=1") << none;
    QTest::newRow("query file") << QByteArray("http://h/go.cgi?to=z.zip") << none;
    QTest::newRow("dots document") << QByteArray("http://h/a/../x.html") << none;
    QTest::newRow("dots file") << QByteArray("http://h/../x.jpg") << none;
    for (const char* ext : {"jpg", "JPEG", "Gif", "avi", "mpg", "MPEG", "zip"})
        QTest::newRow(ext) << (QByteArray("http://h/f.") + ext) << file;
    QTest::newRow("extension is after the last dot") << QByteArray("http://h/a.jpg.txt") << none;
    QTest::newRow("dot in directory only") << QByteArray("http://h.jpg/file") << none;
    QTest::newRow("no dot") << QByteArray("http://h/") << none;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("trailing dot") << QByteArray("http://h/a.") << none;
    QTest::newRow("8-bit extension") << QByteArray("http://h/a.jp\xe7") << none;
    QTest::newRow("CR in extension") << QByteArray("http://h/a.jpg\r") << none;
}

void TestLinkRules::classes()
{
    QFETCH(QByteArray, link);
    QFETCH(int, linkClass);
    QCOMPARE(int(ClassifyLink(link)), linkClass);
    QCOMPARE(IncludeDocument(link), linkClass == int(TLinkClass::Document));
    QCOMPARE(IncludeFile(link), linkClass == int(TLinkClass::File));
}

void TestLinkRules::walkOrderAndValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("expected");  // "L:" link value, "P:" picture value
    QTest::newRow("no markers") << QByteArray("<p>hello</p>") << QByteArrayList();
    QTest::newRow("links before pictures")
        << QByteArray("<img src=\"p1.gif\"><a href=\"a.html\">x</a><IMG SRC=\"p2.gif\"><A HREF=\"b.jpg\">")
        << QByteArrayList{"L:a.html", "L:b.jpg", "P:p1.gif", "P:p2.gif"};
    QTest::newRow("spaces around = and inside the value")
        << QByteArray("<a href = \"my file.jpg\">") << QByteArrayList{"L:myfile.jpg"};
    QTest::newRow("src not first attribute is not a picture")
        << QByteArray("<img alt=\"x\" src=\"p.gif\">") << QByteArrayList();
    QTest::newRow("single quotes and no quotes find nothing")
        << QByteArray("<a href='a.jpg'><a href=b.jpg>") << QByteArrayList();
    QTest::newRow("marker inside a value")
        << QByteArray("href=\"x href=\"y.jpg\"") << QByteArrayList{"L:xhref=", "L:y.jpg"};
    QTest::newRow("marker right after a marker")
        << QByteArray("HREF=\"HREF=\"a.jpg\"") << QByteArrayList{"L:HREF=", "L:a.jpg"};
    QTest::newRow("picture marker inside a link value")
        << QByteArray("href=\"imgsrc=\"p.gif\"") << QByteArrayList{"L:imgsrc=", "P:p.gif"};
    QTest::newRow("no closing quote takes the rest")
        << QByteArray("a href=\"x.jpg\r\nmore") << QByteArrayList{"L:x.jpg\r\nmore"};
    QTest::newRow("marker at the very end") << QByteArray("x href=\"") << QByteArrayList{"L:"};
    QTest::newRow("empty value") << QByteArray("href=\"\"") << QByteArrayList{"L:"};
    QTest::newRow("comments and text count too")
        << QByteArray("<!-- href=\"c.jpg\" --> see href=\"t.jpg\"") << QByteArrayList{"L:c.jpg", "L:t.jpg"};
    QTest::newRow("tab between name and = is no marker")
        << QByteArray("href\t=\"a.jpg\" href=\"b.jpg\"") << QByteArrayList{"L:b.jpg"};
}

void TestLinkRules::walkOrderAndValues()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, expected);
    QByteArrayList got;
    for (const TRefLink& link : WalkScan(text))
        got.append((link.picture ? "P:" : "L:") + link.value);
    QCOMPARE(got, expected);
    QCOMPARE(WalkScan(text), ReferenceScan(text));
}

void TestLinkRules::walkMatchesLiteralSearch()
{
    // Same sequence of (kind, value) as the literal search, over many generated texts and random
    // byte strings; any difference names the failing text.
    QRandomGenerator random(20261207);
    for (int round = 0; round < 30000; ++round) {
        QByteArray text;
        if (round % 5 == 4) {
            text.resize(random.bounded(200));
            for (char& c : text)
                c = char(random.bounded(256));
        } else {
            text = GeneratedText(random);
        }
        const QList<TRefLink> expected = ReferenceScan(text);
        const QList<TRefLink> got = WalkScan(text);
        if (got != expected)
            QFAIL(qPrintable("walk differs for text: " + text.toPercentEncoding()));
    }
}

void TestLinkRules::rulesMatchLiteralRules()
{
    // Resolution and classes against their plain transcription, over generated bases and links.
    static const QList<QByteArray> bases = {"http://h/a/b/", "http://h/", "/", "", "abc", "x/http:/d/", "HTTP://H/D/"};
    static const QList<QByteArray> parts = {
        "..",    "../",  "/",     "//",      ".",      "?",          "a",    "B",  "http:", "HtTp:", "h2",    ".jpg",
        ".HTML", ".com", ".com/", "mailto:", "MAILTO", "go.cgi?to=", ".zip", "\t", "\xe9",  ".mpeg", ".shtml"};
    QRandomGenerator random(7);
    TLinkBuffer buffer;
    for (int round = 0; round < 20000; ++round) {
        const QByteArray& base = bases.at(random.bounded(bases.size()));
        QByteArray link;
        for (int n = random.bounded(6); n > 0; --n)
            link += parts.at(random.bounded(parts.size()));
        const QByteArray expected = LiteralResolve(base, link);
        const QByteArray got = ResolveLink(base, link);
        if (got != expected)
            QFAIL(qPrintable("resolution differs for " + base + " + " + link));
        const TLinkClass literal = LiteralIsDocument(expected) ? TLinkClass::Document
            : LiteralIsFile(expected)                          ? TLinkClass::File
                                                               : TLinkClass::None;
        if (ClassifyLink(got) != literal)
            QFAIL(qPrintable("class differs for " + got));
        // The buffered form gives the same, whatever the buffer held before.
        ResolveLinkInto(base, link, buffer.link);
        if (buffer.link != expected)
            QFAIL(qPrintable("buffered resolution differs for " + base + " + " + link));
    }
}

void TestLinkRules::markerLinkPictureOption()
{
    const QByteArray prepared("<img src=\"p.gif\"><a href=\"q.jpg\">");
    TMarkerWalk walk(prepared);
    TMarker link, picture, none;
    QVERIFY(walk.Next(link));
    QVERIFY(walk.Next(picture));
    QVERIFY(!walk.Next(none));
    QVERIFY(!walk.Next(none));  // stays finished
    TLinkBuffer buffer;
    // A link kept elsewhere survives the buffer's reuse for the next marker.
    const QByteArray kept = MarkerLink(prepared, link, "http://h/d/", false, buffer);
    QCOMPARE(MarkerLink(prepared, picture, "http://h/d/", true, buffer), QByteArray("http://h/d/p.gif"));
    QCOMPARE(kept, QByteArray("http://h/d/q.jpg"));
    // A picture not taken resolves to the base itself, which no class accepts.
    QCOMPARE(MarkerLink(prepared, picture, "http://h/d/", false, buffer), QByteArray("http://h/d/"));
    QCOMPARE(ClassifyLink(buffer.link), TLinkClass::None);
}

void TestLinkRules::badInput()
{
    // Only markers: every one is found once, each value empty or the next marker's name.
    QByteArray markers;
    for (int i = 0; i < 100000; ++i)
        markers += i % 3 ? "HREF=\"" : "imgsrc=\"";
    const QList<TRefLink> found = WalkScan(markers);
    QCOMPARE(found.size(), 100000);
    QCOMPARE(found.first().value, QByteArray("HREF="));  // up to the next marker's quote
    QCOMPARE(found.last().value, QByteArray());          // the last picture marker is at the end

    // 50 MB of NUL, 8-bit bytes and spaces, no quote but the one of a marker at the start: one
    // value running to the end of the text, without its spaces.
    QByteArray big(50 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); i += 97)
        big[i] = char(0x80 + i % 128);
    for (qsizetype i = 50; i < big.size(); i += 89)
        big[i] = ' ';
    big.replace(0, 6, "href=\"");
    const QByteArray& prepared = big;
    TMarkerWalk walk(prepared);
    TMarker marker;
    QVERIFY(walk.Next(marker));
    QCOMPARE(marker.start, qsizetype(6));
    QCOMPARE(marker.end, big.size());
    QVERIFY(!walk.Next(marker));
    const QByteArray value = MarkerValue(prepared, marker);
    QCOMPARE(value.size(), big.size() - 6 - big.count(' '));
    QVERIFY(!value.contains(' '));
    TLinkBuffer buffer;
    QCOMPARE(ClassifyLink(MarkerLink(prepared, marker, "http://h/", true, buffer)), TLinkClass::None);
}

QTEST_APPLESS_MAIN(TestLinkRules)
#include "test_linkrules.moc"
