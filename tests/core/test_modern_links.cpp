// The modern pages scanner on saved pages modelled on common markup (galleries, news, wikis,
// style sheets, base elements, broken and 8-bit pages), and its parts one by one: address
// resolution, srcset candidates, the largest picture, CSS urls and the file classes.
// Each expected line is "D address" (a page), "F address" (a file by its extension) or
// "P address" (a file found as a picture, video or audio source).
#include <QFile>
#include <QTest>

#include "rules/ModernLinks.h"

namespace {
QByteArrayList Lines(const QList<TModernLink>& links)
{
    QByteArrayList lines;
    for (const TModernLink& link : links)
        lines << (QByteArray(link.picture ? "P " : link.file ? "F " : "D ") + link.address);
    return lines;
}

QByteArray Fixture(const char* name)
{
    QFile file(QStringLiteral(KELVORN_SOURCE_DIR "/tests/fixtures/modern/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return file.readAll();
}

QByteArrayList Scan(const QByteArray& page, const QByteArray& address = "http://a/b/c/d;p?q")
{
    return Lines(ModernLinks(page, address));
}
}  // namespace

class TestModernLinks : public QObject {
    Q_OBJECT
private slots:
    void savedPages_data();
    void savedPages();
    void resolution_data();
    void resolution();
    void srcsetCandidates_data();
    void srcsetCandidates();
    void largestPicture_data();
    void largestPicture();
    void cssUrls_data();
    void cssUrls();
    void fileClasses_data();
    void fileClasses();
    void pageEncodings_data();
    void pageEncodings();
};

void TestModernLinks::savedPages_data()
{
    QTest::addColumn<QByteArray>("fixture");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArrayList>("expected");

    // clang-format off
    const QByteArray up = "https://blog.example/wp-content/uploads/2026/07/";
    QTest::newRow("gallery: srcset w, lazy data-src over a placeholder, noscript copy left out")
        << QByteArray("gallery.html") << QByteArray("https://blog.example/2026/07/summer-trip/")
        << QByteArrayList{"D https://blog.example/", "D https://blog.example/category/travel/",
                          "D https://blog.example/about/", "F " + up + "beach-scaled.jpg",
                          "P " + up + "beach-2048x1366.jpg", "D https://blog.example/2026/07/summer-trip/harbour/",
                          "P " + up + "harbour-2560x1707.webp", "P " + up + "sunset.png",
                          "D https://blog.example/2026/07/summer-trip/2/", "D https://blog.example/feed/"};

    const QByteArray cdn = "https://cdn.news.example/images/2026/05/";
    QTest::newRow("news: og and twitter pictures, image_src, picture sources, media, schemes ignored")
        << QByteArray("news.html") << QByteArray("https://www.news.example/news/2026/05/12/story")
        << QByteArrayList{"P " + cdn + "lead-1200x630.jpg?quality=85&w=1200", "P " + cdn + "lead-twitter.jpg",
                          "P https://www.news.example/images/2026/05/lead-thumb.jpg", "D https://www.news.example/",
                          "P https://www.news.example/static/logo.svg", "P " + cdn + "lead-1920.avif",
                          "D https://www.news.example/news/2026/05/11/earlier-story",
                          "D https://www.news.example/search?q=story&page=2",
                          "P https://www.news.example/media/clip-poster.jpg", "P https://www.news.example/media/clip.webm",
                          "P https://www.news.example/media/clip.mp4",
                          "P https://www.news.example/media/podcast-2026-05-12.mp3",
                          "F https://www.news.example/documents/report.pdf"};

    const QByteArray thumbs = "https://upload.wiki.example/thumb/";
    QTest::newRow("wiki: thumbnails at 2x, file pages classed by their extension, duplicates once")
        << QByteArray("wiki.html") << QByteArray("https://www.wiki.example/wiki/Lighthouse")
        << QByteArrayList{"D https://www.wiki.example/wiki/Tower", "D https://www.wiki.example/wiki/Lamp_(light)",
                          "D https://www.wiki.example/w/index.php?title=Beacon&action=edit&redlink=1",
                          "F https://www.wiki.example/wiki/File:Lighthouse_at_dusk.jpg",
                          "P " + thumbs + "a/ab/Lighthouse_at_dusk.jpg/440px-Lighthouse_at_dusk.jpg",
                          "F https://www.wiki.example/wiki/File:Lens_(Fresnel).png",
                          "P " + thumbs + "1/12/Lens_%28Fresnel%29.png/240px-Lens_%28Fresnel%29.png",
                          "D https://other.wiki.example/wiki/Phare"};

    QTest::newRow("styles: backgrounds and content, not imports, fonts or data")
        << QByteArray("styles.html") << QByteArray("http://s.example/dir/page.html")
        << QByteArrayList{"P http://s.example/img/hero.jpg", "P http://s.example/img/card.png",
                          "P http://s.example/dir/icons/star.svg", "P http://s.example/dir/banner.webp",
                          "P http://s.example/img/Upper.GIF"};

    const QByteArray v2 = "http://h.example/static/v2/";
    QTest::newRow("base element, quoting, letter case, relative forms, entities, schemes")
        << QByteArray("base.html") << QByteArray("http://h.example/a/b/page.html")
        << QByteArrayList{"D " + v2 + "before-base.html", "D " + v2 + "single.html", "D " + v2 + "unquoted.html",
                          "D " + v2 + "spaced.html", "D " + v2 + "UPPER/Case.HTML", "P " + v2 + "pics/img.PNG",
                          "D http://h.example/root.html", "F http://cdn.example/lib/file.zip",
                          "D http://h.example/way/up.html", "D " + v2 + "here/page.htm",
                          "D " + v2 + "get.php?id=5&size=large&format=jpg", "D " + v2 + "?page=2",
                          "F " + v2 + "my%20file.jpg", "D http://h.example/trimmed.html", "D " + v2 + "page.html",
                          "D https://h.example/Case/Kept.html", "D " + v2 + "map/area.html",
                          "D " + v2 + "embed/player.html", "F " + v2 + "archive.tar.gz",
                          "D " + v2 + "download.php?file=a.zip"};

    const QByteArray b = "http://h.example/a/b/";
    QTest::newRow("broken: unclosed tags, stray quotes, NUL bytes, odd comments, raw text, tables")
        << QByteArray("broken.html") << QByteArray("http://h.example/a/b/page.html")
        << QByteArrayList{"D " + b + "first.html", "D " + b + "second.html", "P " + b + "stray",
                          "D " + b + "after%EF%BF%BDnul.html", "D " + b + "after-nul.html", "P " + b + "unclosed.jpg",
                          "D " + b + "after-empty-comment.html", "P " + b + "foster.gif", "D " + b + "in-table.html"};
    // clang-format on
}

void TestModernLinks::savedPages()
{
    QFETCH(QByteArray, fixture);
    QFETCH(QByteArray, address);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(Scan(Fixture(fixture.constData()), address), expected);
}

// The examples of RFC 3986 section 5.4 against its base "http://a/b/c/d;p?q", written as links.
void TestModernLinks::resolution_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("address");  // empty: ignored
    const auto row = [](const char* link, const char* address) {
        QTest::newRow(link) << QByteArray(link) << QByteArray(address);
    };
    row("g", "http://a/b/c/g");
    row("./g", "http://a/b/c/g");
    row("g/", "http://a/b/c/g/");
    row("/g", "http://a/g");
    row("//g", "http://g/");
    row("?y", "http://a/b/c/d;p?y");
    row("g?y", "http://a/b/c/g?y");
    row("g#s", "http://a/b/c/g");
    row("g?y#s", "http://a/b/c/g?y");
    row(";x", "http://a/b/c/;x");
    row("g;x?y#s", "http://a/b/c/g;x?y");
    row(".", "http://a/b/c/");
    row("./", "http://a/b/c/");
    row("..", "http://a/b/");
    row("../g", "http://a/b/g");
    row("../..", "http://a/");
    row("../../g", "http://a/g");
    row("../../../g", "http://a/g");
    row("../../../../g", "http://a/g");
    row("/./g", "http://a/g");
    row("/../g", "http://a/g");
    row("g.", "http://a/b/c/g.");
    row("..g", "http://a/b/c/..g");
    row("./../g", "http://a/b/g");
    row("g/./h", "http://a/b/c/g/h");
    row("g/../h", "http://a/b/c/h");
    row("https://other/x?a=b", "https://other/x?a=b");
    row("HTTP://A:80/X", "http://a/X");
    row("g\\h", "http://a/b/c/g/h");
    QTest::newRow("tab, newline and spaces") << QByteArray(" \tg\nh ") << QByteArray("http://a/b/c/gh");
    row("#s", "");
    row("", "");
    row("g:h", "");
    row("ftp://a/x.zip", "");
    row("data:image/png;base64,AAAA", "");
    row("javascript:go()", "");
    row("mailto:a@b", "");
    row("tel:+1555", "");
    row("http://", "");
}

void TestModernLinks::resolution()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, address);
    const QList<TModernLink> links = ModernLinks("<a href=\"" + link + "\">x</a>", "http://a/b/c/d;p?q");
    if (address.isEmpty()) {
        QVERIFY2(links.isEmpty(), links.isEmpty() ? "" : links.first().address.constData());
    } else {
        QCOMPARE(links.size(), 1);
        QCOMPARE(links.first().address, address);
    }
}

void TestModernLinks::srcsetCandidates_data()
{
    QTest::addColumn<QByteArray>("srcset");
    QTest::addColumn<QByteArrayList>("expected");  // "url width density"
    QTest::newRow("widths") << QByteArray("a.jpg 300w, b.jpg 1024w") << QByteArrayList{"a.jpg 300 1", "b.jpg 1024 1"};
    QTest::newRow("densities and none") << QByteArray("a.jpg, b.jpg 1.5x,c.jpg 2x")
                                        << QByteArrayList{"a.jpg 0 1", "b.jpg 0 1.5", "c.jpg 0 2"};
    QTest::newRow("commas inside a url") << QByteArray(
        "https://i.example/w_300,h_200/a.jpg 300w, https://i.example/w_900,h_600/a.jpg 900w")
                                         << QByteArrayList{"https://i.example/w_300,h_200/a.jpg 300 1",
                                                           "https://i.example/w_900,h_600/a.jpg 900 1"};
    QTest::newRow("trailing commas end a candidate")
        << QByteArray("a.jpg,, b.jpg 2x") << QByteArrayList{"a.jpg 0 1", "b.jpg 0 2"};
    QTest::newRow("a comma without space belongs to the url")
        << QByteArray("a.jpg,b.jpg 2x") << QByteArrayList{"a.jpg,b.jpg 0 2"};
    QTest::newRow("white space of all kinds")
        << QByteArray("\n  a.jpg\t640w ,\n b.jpg   1280w  \n") << QByteArrayList{"a.jpg 640 1", "b.jpg 1280 1"};
    QTest::newRow("bad and height descriptors ignored")
        << QByteArray("a.jpg 100h, b.jpg zw, c.jpg -2x") << QByteArrayList{"a.jpg 0 1", "b.jpg 0 1", "c.jpg 0 1"};
    QTest::newRow("empty") << QByteArray(" , ,") << QByteArrayList{};
}

void TestModernLinks::srcsetCandidates()
{
    QFETCH(QByteArray, srcset);
    QFETCH(QByteArrayList, expected);
    QByteArrayList got;
    for (const TSrcsetCandidate& c : ParseSrcset(srcset))
        got << c.url + ' ' + QByteArray::number(c.width) + ' ' + QByteArray::number(c.density);
    QCOMPARE(got, expected);
}

void TestModernLinks::largestPicture_data()
{
    QTest::addColumn<QByteArray>("markup");
    QTest::addColumn<QByteArrayList>("expected");
    const auto row = [](const char* name, const char* markup, QByteArrayList expected) {
        QTest::newRow(name) << QByteArray(markup) << expected;
    };
    row("w beats src without one", "<img src=m.jpg srcset='s.jpg 300w, l.jpg 1200w, m.jpg 800w'>",
        {"P http://h/d/l.jpg"});
    row("highest density", "<img src=a.jpg srcset='b.jpg 3x, c.jpg 2x'>", {"P http://h/d/b.jpg"});
    row("equal widths: the first", "<img srcset='a.jpg 500w, b.jpg 500w'>", {"P http://h/d/a.jpg"});
    row("lazy attribute replaces the placeholder", "<img src='/spinner.gif' data-src='real.webp'>",
        {"P http://h/d/real.webp"});
    row("lazy srcset beats lazy src", "<img src=p.gif data-src=m.jpg data-srcset='s.jpg 300w, l.jpg 900w'>",
        {"P http://h/d/l.jpg"});
    row("unusable candidates skipped", "<img src='data:image/gif;base64,R0lGOD' srcset='javascript:x 4x, ok.png 2x'>",
        {"P http://h/d/ok.png"});
    row("nothing usable, nothing listed", "<img src='data:image/gif;base64,R0lGOD'>", {});
    row("picture sources join their img",
        "<picture><source srcset='a.avif 1600w' type=image/avif><source srcset='a.webp 800w'><img src=a.jpg></picture>",
        {"P http://h/d/a.avif"});
    row("lazy picture sources",
        "<picture><source data-srcset='big.webp 2000w' srcset=ph.gif><img src=ph.gif data-src=mid.jpg></picture>",
        {"P http://h/d/big.webp"});
    row("a picture with no img loads nothing", "<picture><source srcset='a.webp 800w'></picture>", {});
    row("two imgs, two pictures", "<img src=a.jpg><img src=b.jpg>", {"P http://h/d/a.jpg", "P http://h/d/b.jpg"});
    row("any extension is a file in a picture context", "<img src='/thumb?id=7'><video src='/stream/9'></video>",
        {"P http://h/thumb?id=7", "P http://h/stream/9"});
}

void TestModernLinks::largestPicture()
{
    QFETCH(QByteArray, markup);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(Scan(markup, "http://h/d/page"), expected);
}

void TestModernLinks::cssUrls_data()
{
    QTest::addColumn<QByteArray>("css");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("quotes and spaces") << QByteArray(
        "a{background:url( 'x.png' )} b{background:url(\"y.png\")} c{background:url(z.png)}")
                                       << QByteArrayList{"x.png", "y.png", "z.png"};
    QTest::newRow("style attribute") << QByteArray("color:red; background-image: url(bg.jpg)")
                                     << QByteArrayList{"bg.jpg"};
    QTest::newRow("imports and fonts skipped") << QByteArray(
        "@import url(a.css); @font-face{font-family:F;src:url(f.woff2),url(f.woff)} p{list-style:url(dot.gif)}")
                                               << QByteArrayList{"dot.gif"};
    QTest::newRow("letter case") << QByteArray("P{BACKGROUND:URL(A.GIF)}") << QByteArrayList{"A.GIF"};
    QTest::newRow("unterminated") << QByteArray("p{background:url(a.png") << QByteArrayList{};
}

void TestModernLinks::cssUrls()
{
    QFETCH(QByteArray, css);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(CssPictureUrls(css), expected);
}

void TestModernLinks::fileClasses_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("file");
    for (const char* ext : {"jpg",  "JPEG", "png", "Gif", "webp", "avif", "bmp", "tif", "tiff", "svg",  "avi",  "mpg",
                            "mpeg", "mp4",  "m4v", "mov", "webm", "mkv",  "mp3", "m4a", "ogg",  "opus", "flac", "wav",
                            "zip",  "7z",   "rar", "tar", "gz",   "tgz",  "bz2", "xz",  "zst",  "pdf",  "EPUB"})
        QTest::newRow(ext) << ("/a/file." + QByteArray(ext)) << true;
    for (const char* path : {"/a/page.html", "/news/2026/story", "/a/", "/", "/a.jpg/page", "/a/file.jpgx",
                             "/a/archive.tar.gz.part", "/a/css.css", "/noext"})
        QTest::newRow(path) << QByteArray(path) << false;
}

void TestModernLinks::fileClasses()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, file);
    QCOMPARE(HasModernFileExtension(path), file);
}

void TestModernLinks::pageEncodings_data()
{
    QTest::addColumn<QByteArray>("fixture");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("undeclared 8-bit page read as windows-1252")
        << QByteArray("latin1.html")
        << QByteArrayList{"F http://h.example/a/caf%C3%A9.jpg", "D http://h.example/a/men%C3%BC/seite.html"};
    QTest::newRow("windows-1251 from http-equiv")
        << QByteArray("cp1251.html") << QByteArrayList{"F http://h.example/a/%D1%84%D0%BE%D1%82%D0%BE.jpg"};
    QTest::newRow("Shift_JIS from meta charset")
        << QByteArray("shiftjis.html") << QByteArrayList{"P http://h.example/a/%E5%86%99%E7%9C%9F.png"};
}

void TestModernLinks::pageEncodings()
{
    QFETCH(QByteArray, fixture);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(Scan(Fixture(fixture.constData()), "http://h.example/a/index.html"), expected);
}

QTEST_APPLESS_MAIN(TestModernLinks)
#include "test_modern_links.moc"
