// The modern pages scanner on saved pages modelled on common markup (galleries, news, wikis,
// style sheets, base elements, broken and 8-bit pages), and its parts one by one: address
// resolution, srcset candidates, the largest picture, CSS urls and the file classes.
// Each expected line is "D address" (a page), "F address" (a file by its extension) or
// "P address" (a file found as a picture, video or audio source).
#include <QFile>
#include <QTest>

#include "rules/AddressParts.h"
#include "rules/ModernClasses.h"
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
    void addressClasses_data();
    void addressClasses();
    void widthInName_data();
    void widthInName();
    void addressParts_data();
    void addressParts();
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
    QTest::newRow("wiki: thumbnails at 2x, file description pages are pages, duplicates once")
        << QByteArray("wiki.html") << QByteArray("https://www.wiki.example/wiki/Lighthouse")
        << QByteArrayList{"D https://www.wiki.example/wiki/Tower", "D https://www.wiki.example/wiki/Lamp_(light)",
                          "D https://www.wiki.example/w/index.php?title=Beacon&action=edit&redlink=1",
                          "D https://www.wiki.example/wiki/File:Lighthouse_at_dusk.jpg",
                          "P " + thumbs + "a/ab/Lighthouse_at_dusk.jpg/440px-Lighthouse_at_dusk.jpg",
                          "D https://www.wiki.example/wiki/File:Lens_(Fresnel).png",
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

    const QByteArray g = "https://gallery.example/";
    QTest::newRow("lazy: noscript merged, lazy values on any element, JSON, originals, beacons, wiki, office, blanks")
        << QByteArray("lazy.html") << QByteArray("https://gallery.example/album/index.html")
        << QByteArrayList{"P " + g + "photos/one-800.jpg", "F " + g + "photos/two-full.jpg",
                          "P " + g + "photos/two-2000.jpg", "P " + g + "photos/only-in-noscript.png",
                          "P " + g + "backgrounds/hero.webp", "P https://cdn.gallery.example/tiles/tile-7.jpg",
                          "P " + g + "pictures/span-original.png", "P " + g + "bg/large.jpg",
                          "P " + g + "photos/good.jpg", "P " + g + "photos/wp.jpg",
                          "D " + g + "wiki/File:Harbour.jpg", "P " + g + "thumbs/Harbour-220.jpg",
                          "D " + g + "w/index.php?title=File:Map.png&action=history",
                          "F " + g + "files/report.xlsx", "F " + g + "files/novel.mobi", "F " + g + "files/novel.azw3",
                          "F " + g + "files/setup.exe", "F " + g + "files/tool.AppImage", "F " + g + "files/disk.iso",
                          "D " + g + "zero/width.html", "D http://other.example/encoded-blank.html",
                          "D https://other.example/spaces.html"};

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
    QTest::newRow("zero-width space before") << QByteArray("\xE2\x80\x8Bg") << QByteArray("http://a/b/c/g");
    QTest::newRow("byte order mark and no-break space around")
        << QByteArray("\xEF\xBB\xBF\xC2\xA0g\xC2\xA0") << QByteArray("http://a/b/c/g");
    row("%20http://other/x.html", "http://other/x.html");
    row("%20%E2%80%8B//other/y.html", "http://other/y.html");
    QTest::newRow("an encoded blank before a relative path is part of it")
        << QByteArray("%20g") << QByteArray("http://a/b/c/%20g");
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
    row("JSON in data-src keeps src", "<img src=good.jpg data-src='{\"u\":\"x.jpg\"}'>", {"P http://h/d/good.jpg"});
    row("JSON in data-srcset keeps srcset", "<img src=a.jpg srcset='b.jpg 900w' data-srcset='[{\"w\":1}]'>",
        {"P http://h/d/b.jpg"});
    row("original with its stated size beats a wider srcset candidate",
        "<img src=a-300x200.jpg srcset='a-2048x1365.jpg 2048w' data-orig-file=a.jpg data-orig-size='4000,2667'>",
        {"P http://h/d/a.jpg"});
    row("smaller original loses by size, not order",
        "<img data-orig-file=o.jpg data-orig-size='800,600' srcset='a-2048x1365.jpg 2048w'>",
        {"P http://h/d/a-2048x1365.jpg"});
    row("original without a stated size is the largest", "<img srcset='a-2048.jpg 2048w' data-orig-file=o.jpg>",
        {"P http://h/d/o.jpg"});
    row("large copy sized by its name", "<img srcset='a-2048x1365.jpg 2048w' data-large-file=a-1024x683.jpg>",
        {"P http://h/d/a-2048x1365.jpg"});
    row("noscript img merged with the placeholder before it",
        "<img src=tiny.jpg><noscript><img src=real.jpg></noscript>", {"P http://h/d/real.jpg"});
    row("noscript after a wrapper of the img", "<a href=p.html><img src=t.jpg></a><noscript><img src=r.jpg></noscript>",
        {"D http://h/d/p.html", "P http://h/d/r.jpg"});
    row("noscript alone is read as markup", "<p>x</p><noscript><a href=n.html>n</a><img src=n.jpg></noscript>",
        {"D http://h/d/n.html", "P http://h/d/n.jpg"});
    row("noscript pixel not merged into a picture",
        "<img src=a.jpg><noscript><img width=1 height=1 src=c.gif></noscript>", {"P http://h/d/a.jpg"});
    row("declared 1x1 and 0x0 pictures left out", "<img src=a.gif width=1 height=1><img src=b.gif width=0 height='0'>",
        {});
    row("a tiny placeholder with a lazy value is kept", "<img src=p.gif width=1 height=1 data-src=real.jpg>",
        {"P http://h/d/real.jpg"});
    row("lazy background on a div", "<div data-bg='url(\"/bg/a.jpg\")'></div><div data-background=/bg/b.png></div>",
        {"P http://h/bg/a.jpg", "P http://h/bg/b.png"});
    row("ids and selectors on other elements are no pictures", "<div data-src=123></div><span data-src='#x'></span>",
        {});
    row("pages and data on other elements are no pictures",
        "<div data-src='/api/items.json'></div><a data-src='/next/page.html'></a><div data-src='https://h/x.js'></div>",
        {});
    row("an address without extension on another element is a picture",
        "<div data-src='https://img.example/photo/123?w=800'></div>", {"P https://img.example/photo/123?w=800"});
    row("a lazy frame is a page", "<iframe data-src='/embed/v1'></iframe>", {"D http://h/embed/v1"});
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
    QTest::newRow("nothing read inside a quoted data value") << QByteArray(
        "p{background:url(\"data:image/svg+xml,<svg fill='url(#a)' x='url(b.png)'/>\")} q{background:url(c.png)}")
                                                             << QByteArrayList{"c.png"};
    QTest::newRow("nothing read inside an unquoted data value")
        << QByteArray("p{background:url(data:image/svg+xml,%3Csvg%20fill=url(%23a)%3E) no-repeat, url(d.png)}")
        << QByteArrayList{"d.png"};
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
    for (const char* ext :
         {"jpg", "JPEG", "png",  "Gif", "webp", "avif", "bmp",  "tif",  "tiff", "svg", "avi",     "mpg", "mpeg", "mp4",
          "m4v", "mov",  "webm", "mkv", "mp3",  "m4a",  "ogg",  "opus", "flac", "wav", "zip",     "7z",  "rar",  "tar",
          "gz",  "tgz",  "bz2",  "xz",  "zst",  "pdf",  "EPUB", "xls",  "xlsx", "doc", "DOCX",    "ppt", "pptx", "odt",
          "ods", "mobi", "azw3", "iso", "dmg",  "exe",  "msi",  "apk",  "deb",  "rpm", "AppImage"})
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

void TestModernLinks::addressClasses_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("wikiFilePage");
    QTest::addColumn<bool>("tracking");
    const auto row = [](const char* name, const char* address, bool wiki, bool tracking) {
        QTest::newRow(name) << QByteArray(address) << wiki << tracking;
    };
    row("wiki File:", "https://w.example/wiki/File:A.jpg", true, false);
    row("wiki Image:", "https://w.example/wiki/Image:B.png", true, false);
    row("wiki File with an encoded colon", "https://w.example/wiki/File%3AA.jpg", true, false);
    row("wiki file page in another language", "https://de.w.example/wiki/Datei:Karte.png", true, false);
    row("index.php title=File:", "https://w.example/w/index.php?title=File:C.svg", true, false);
    row("title after another parameter", "https://w.example/w/index.php?action=raw&title=Image:D.gif", true, false);
    row("wiki article", "https://w.example/wiki/Lighthouse", false, false);
    row("uploaded file itself", "https://upload.w.example/a/ab/File_A.jpg", false, false);
    row("File: outside a wiki path", "https://h.example/files/File:x.jpg", false, false);
    row("social network pixel", "https://www.social.example/tr?id=1&ev=PageView", false, true);
    row("counting host", "https://sb.scorecardresearch.com/p?c1=2", false, true);
    row("pixel.gif", "https://h.example/stats/pixel.gif?u=1", false, true);
    row("beacon path", "https://h.example/beacon/v2?x=1", false, true);
    row("1x1 picture", "https://h.example/img/1x1.png", false, true);
    row("a picture about pixel art", "https://h.example/art/pixel-art.png", false, false);
    row("a path starting with tr", "https://h.example/trains/tram.jpg", false, false);
    row("ordinary picture", "https://h.example/photos/beach.jpg", false, false);
}

void TestModernLinks::addressClasses()
{
    QFETCH(QByteArray, address);
    QFETCH(bool, wikiFilePage);
    QFETCH(bool, tracking);
    QCOMPARE(IsWikiFilePage(address), wikiFilePage);
    QCOMPARE(IsTrackingAddress(address), tracking);
}

void TestModernLinks::widthInName_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("width");
    QTest::newRow("scaled copy") << QByteArray("https://h/up/photo-1024x683.jpg") << 1024;
    QTest::newRow("with a query") << QByteArray("https://h/up/photo-300x200.webp?v=2") << 300;
    QTest::newRow("no size") << QByteArray("https://h/up/photo.jpg") << 0;
    QTest::newRow("size not at the end of the stem") << QByteArray("https://h/up/800x600-photo.jpg") << 0;
    QTest::newRow("no dash before the width") << QByteArray("https://h/up/photo1024x683.jpg") << 0;
    QTest::newRow("size in a directory") << QByteArray("https://h/800x600/photo.jpg") << 0;
}

void TestModernLinks::widthInName()
{
    QFETCH(QByteArray, address);
    QFETCH(int, width);
    QCOMPARE(WidthInName(address), width);
}

void TestModernLinks::addressParts_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArrayList>("parts");  // host, path, query, then the path's segments
    QTest::newRow("everything") << QByteArray("https://h.example:8443/a/b.jpg?x=1&y=2#top")
                                << QByteArrayList{"h.example", "/a/b.jpg", "x=1&y=2", "a", "b.jpg"};
    QTest::newRow("root") << QByteArray("http://h/") << QByteArrayList{"h", "/", "", ""};
    QTest::newRow("host only") << QByteArray("http://h") << QByteArrayList{"h", "", ""};
    QTest::newRow("query right after the host") << QByteArray("http://h?q=/x") << QByteArrayList{"h", "", "q=/x"};
    QTest::newRow("slashes in the query and fragment")
        << QByteArray("http://h/d/?a=/b#c/d") << QByteArrayList{"h", "/d/", "a=/b", "d", ""};
    QTest::newRow("no scheme") << QByteArray("a/b.png") << QByteArrayList{"", "a/b.png", "", "a", "b.png"};
}

void TestModernLinks::addressParts()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArrayList, parts);
    const TAddressParts got = AddressParts(address);
    QByteArrayList list{got.host.toByteArray(), got.path.toByteArray(), got.query.toByteArray()};
    for (QByteArrayView segment : PathSegments(got.path))
        list << segment.toByteArray();
    QCOMPARE(list, parts);
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
