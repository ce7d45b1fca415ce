// Names and request details of modern items: file names from addresses with queries, escapes
// and odd characters; names told apart within one harvest; names from Content-Disposition;
// extensions from the Content-Type and the first bytes; request targets and the Referer sent;
// which small downloads are deleted.
#include <QCryptographicHash>
#include <QTest>
#include <algorithm>

#include "rules/ModernNaming.h"
#include "rules/ReferrerPolicy.h"

class TestModernNaming : public QObject {
    Q_OBJECT
private slots:
    void fileNames_data();
    void fileNames();
    void typeExtensions_data();
    void typeExtensions();
    void disambiguatedNames_data();
    void disambiguatedNames();
    void harvestNames_data();
    void harvestNames();
    void dispositionNames_data();
    void dispositionNames();
    void sniffedExtensions_data();
    void sniffedExtensions();
    void finalNames_data();
    void finalNames();
    void referrers_data();
    void referrers();
    void requestTargets_data();
    void requestTargets();
    void discardedDownloads_data();
    void discardedDownloads();
};

void TestModernNaming::fileNames_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("name");
    const auto row = [](const char* name, const QByteArray& address, const QByteArray& fileName) {
        QTest::newRow(name) << address << fileName;
    };
    row("plain", "http://h/a/pic.jpg", "pic.jpg");
    row("query and fragment cut", "http://h/a/pic.jpg?w=300&h=200#x", "pic.jpg");
    row("a query holding slashes", "http://h/img/view?src=/a/b.jpg", "view");
    row("percent-decoded", "http://h/my%20pic%2B1.jpg", "my pic+1.jpg");
    row("decoded UTF-8 bytes kept", "http://h/caf%C3%A9.jpg", "caf\xc3\xa9.jpg");
    row("decoded slash replaced", "http://h/a%2Fb.jpg", "a_b.jpg");
    row("decoded NUL and controls replaced", "http://h/a%00b%0A.jpg", "a_b_.jpg");
    row("characters unsafe on other systems", "http://h/a:b*c%3F%22%3C%3E%7C%5C.png", "a_b_c______.png");
    row("broken escapes stay", "http://h/100%.jpg", "100%.jpg");
    row("escapes at the very end", "http://h/a%41%4", "aA%4");
    row("no extension", "http://h/photo/12345", "12345");
    row("directory", "http://h/gallery/", "index");
    row("host only", "http://h", "index");
    row("dot segment names", "http://h/a/%2E%2E", "__");
    row("too long keeps its extension", "http://h/" + QByteArray(300, 'n') + ".jpeg",
        QByteArray(MaxModernNameBytes - 5, 'n') + ".jpeg");
    row("escaped 8-bit bytes that are no UTF-8 read as Latin-1", "http://h/caf%E9.jpg", "caf\xc3\xa9.jpg");
    row("long UTF-8 name cut between characters", "http://h/" + QByteArray("%E5%A4%A7").repeated(100) + ".png",
        QByteArray("\xe5\xa4\xa7").repeated((MaxModernNameBytes - 4) / 3) + ".png");
}

void TestModernNaming::fileNames()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, name);
    QCOMPARE(ModernFileName(address), name);
    // With the part file's suffix and the rename rule's underscores it still fits 255 bytes.
    QVERIFY(name.size() + PartSuffixBytes + MaxUnderscores <= 255);
}

void TestModernNaming::typeExtensions_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("jpeg") << QByteArray("12345") << QByteArray("image/jpeg") << QByteArray("12345.jpg");
    QTest::newRow("webp with parameters and case")
        << QByteArray("x") << QByteArray(" Image/WebP ; q=1") << QByteArray("x.webp");
    QTest::newRow("svg") << QByteArray("logo") << QByteArray("image/svg+xml") << QByteArray("logo.svg");
    QTest::newRow("mp4") << QByteArray("clip") << QByteArray("video/mp4") << QByteArray("clip.mp4");
    QTest::newRow("pdf") << QByteArray("report") << QByteArray("application/pdf") << QByteArray("report.pdf");
    QTest::newRow("own extension kept") << QByteArray("a.png") << QByteArray("image/jpeg") << QByteArray("a.png");
    QTest::newRow("hidden name gets one") << QByteArray(".x") << QByteArray("image/png") << QByteArray(".x.png");
    QTest::newRow("unknown type") << QByteArray("blob") << QByteArray("application/x-unknown") << QByteArray("blob");
    QTest::newRow("no type") << QByteArray("blob") << QByteArray() << QByteArray("blob");
}

void TestModernNaming::typeExtensions()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, result);
    QCOMPARE(ModernFinalName(name, QByteArray(), contentType, QByteArray()), result);
}

void TestModernNaming::disambiguatedNames_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("name");
    const auto row = [](const char* name, const QByteArray& address, const QByteArray& fileName) {
        QTest::newRow(name) << address << fileName;
    };
    row("query words", "http://h/img?id=3", "img-id-3");
    row("query words before the extension", "http://h/thumb.jpg?w=90&h=90", "thumb-w-90-h-90.jpg");
    row("escaped query decoded", "http://h/get?f=caf%C3%A9%20b", "get-f-caf\xc3\xa9-b");
    row("parent directory without a query", "http://h/2024/07/90x90.png", "90x90-07.png");
    row("fragment ignored", "http://h/img?id=4#top", "img-id-4");
    row("nothing to tell it by", "http://h/pic.jpg", "pic.jpg");
    row("long name gives way to its tag", "http://h/" + QByteArray(300, 'n') + ".jpg?id=3",
        QByteArray(MaxModernNameBytes - 9, 'n') + "-id-3.jpg");
    row("long query cut short", "http://h/i?" + QByteArray("abcdefgh").repeated(20),
        "i-" + QByteArray("abcdefgh").repeated(6));
}

void TestModernNaming::disambiguatedNames()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, name);
    QCOMPARE(DisambiguatedName(address), name);
}

void TestModernNaming::harvestNames_data()
{
    QTest::addColumn<QByteArrayList>("addresses");
    QTest::addColumn<QByteArrayList>("fixed");  // "address name": items not to be renamed
    QTest::addColumn<QByteArrayList>("names");
    QTest::newRow("different names stay as they are")
        << QByteArrayList{"http://h/a.jpg", "http://h/b.jpg"} << QByteArrayList{} << QByteArrayList{"a.jpg", "b.jpg"};
    QTest::newRow("a gallery at /img?id=N")
        << QByteArrayList{"http://h/img?id=1", "http://h/img?id=2", "http://h/img?id=3"} << QByteArrayList{}
        << QByteArrayList{"img-id-1", "img-id-2", "img-id-3"};
    QTest::newRow("one name in two directories")
        << QByteArrayList{"http://h/a/90x90.png", "http://h/b/90x90.png", "http://h/c/other.png"} << QByteArrayList{}
        << QByteArrayList{"90x90-a.png", "90x90-b.png", "other.png"};
    QTest::newRow("same path on two hosts gets a mark from the address")
        << QByteArrayList{"http://one/x/p.jpg", "http://two/x/p.jpg"} << QByteArrayList{}
        << QByteArrayList{
               "p-x-" + QCryptographicHash::hash("http://one/x/p.jpg", QCryptographicHash::Sha1).toHex().left(8)
                   + ".jpg",
               "p-x-" + QCryptographicHash::hash("http://two/x/p.jpg", QCryptographicHash::Sha1).toHex().left(8)
                   + ".jpg"};
    QTest::newRow("a downloaded item keeps its name, the new one moves aside")
        << QByteArrayList{"http://h/img?id=2"} << QByteArrayList{"http://h/img?id=1 img"}
        << QByteArrayList{"img-id-2", "img"};
}

void TestModernNaming::harvestNames()
{
    QFETCH(QByteArrayList, addresses);
    QFETCH(QByteArrayList, fixed);
    QFETCH(QByteArrayList, names);
    QList<TNamedAddress> items;
    for (const QByteArray& address : addresses)
        items.append({address, "whatever", true});
    for (const QByteArray& item : fixed)
        items.append({item.left(item.indexOf(' ')), item.mid(item.indexOf(' ') + 1), false});
    QList<TNamedAddress> reversed(items.crbegin(), items.crend());
    HarvestNames(items);
    QByteArrayList got;
    for (const TNamedAddress& item : items) {
        got << item.name;
        QVERIFY(!item.renamable || IsAutomaticName(item.address, item.name));
    }
    QCOMPARE(got, names);
    // The same names whatever the order the items were found in.
    HarvestNames(reversed);
    std::reverse(reversed.begin(), reversed.end());
    for (qsizetype i = 0; i < items.size(); ++i)
        QCOMPARE(reversed[i].name, items[i].name);
}

void TestModernNaming::dispositionNames_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("name");
    const auto row = [](const char* name, const QByteArray& value, const QByteArray& fileName) {
        QTest::newRow(name) << value << fileName;
    };
    row("quoted", "attachment; filename=\"report 2024.pdf\"", "report 2024.pdf");
    row("token", "attachment; filename=photo.jpg", "photo.jpg");
    row("inline with spaces around", "inline ;  filename = a.png ; size=10", "a.png");
    row("extended UTF-8", "attachment; filename*=UTF-8''%E2%82%AC%20rates.pdf", "\xe2\x82\xac rates.pdf");
    row("extended before plain, whatever the order",
        "attachment; filename=\"EURO rates.pdf\"; filename*=utf-8'en'%E2%82%AC%20rates.pdf", "\xe2\x82\xac rates.pdf");
    row("extended Latin-1", "attachment; filename*=iso-8859-1''caf%E9.jpg", "caf\xc3\xa9.jpg");
    row("unknown charset falls back to plain", "attachment; filename*=koi8-r''%C1.jpg; filename=a.jpg", "a.jpg");
    row("escaped quote inside", "attachment; filename=\"say \\\"hi\\\".txt\"", "say _hi_.txt");
    row("semicolon inside quotes", "attachment; filename=\"a;b.zip\"", "a;b.zip");
    row("raw UTF-8 in plain", "attachment; filename=\"\xe5\xa4\xa7.png\"", "\xe5\xa4\xa7.png");
    row("raw 8-bit in plain read as Latin-1", "attachment; filename=\"\xe9t\xe9.png\"", "\xc3\xa9t\xc3\xa9.png");
    row("directories dropped", "attachment; filename=\"../../etc/passwd\"", "passwd");
    row("backslash directories dropped", "attachment; filename=\"C:\\\\tmp\\\\x.exe\"", "x.exe");
    row("dot-dot alone", "attachment; filename=\"..\"", "__");
    row("no name", "attachment", "");
    row("empty name", "attachment; filename=\"\"", "");
    row("filename parameter missing its value", "attachment; filename", "");
    row("nothing sent", "", "");
}

void TestModernNaming::dispositionNames()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, name);
    QCOMPARE(ContentDispositionName(value), name);
}

void TestModernNaming::sniffedExtensions_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("extension");
    const auto row = [](const char* name, const QByteArray& head, const char* extension) {
        QTest::newRow(name) << head << QByteArray(extension);
    };
    row("JPEG", QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), ".jpg");
    row("PNG", QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), ".png");
    row("GIF", QByteArray("GIF89a\x01\0\x01\0", 10), ".gif");
    row("WebP", QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16), ".webp");
    row("AVIF",
        QByteArray("\0\0\0\x1C"
                   "ftypavif\0\0\0\0",
                   16),
        ".avif");
    row("MP4",
        QByteArray("\0\0\0\x20"
                   "ftypisom\0\0\x02\0",
                   16),
        ".mp4");
    row("WebM", QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x86\x81\x01\x42\x82\x84webm", 16), ".webm");
    row("PDF", "%PDF-1.7\n", ".pdf");
    row("ZIP", QByteArray("PK\x03\x04\x14\0", 6), ".zip");
    row("HTML is none of them", "<!DOCTYPE html>", "");
    row("too short to tell", "\xFF\xD8", "");
    row("RIFF that is no WebP", QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16), "");
    row("nothing", "", "");
}

void TestModernNaming::sniffedExtensions()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, extension);
    QCOMPARE(SniffedExtension(head), extension);
}

void TestModernNaming::finalNames_data()
{
    QTest::addColumn<QByteArray>("listed");
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("name");
    const QByteArray png("\x89PNG\r\n\x1A\n", 8);
    QTest::newRow("type names the extension")
        << QByteArray("img-id-3") << QByteArray() << QByteArray("image/jpeg") << png << QByteArray("img-id-3.jpg");
    QTest::newRow("generic type: the first bytes tell")
        << QByteArray("img-id-4") << QByteArray() << QByteArray("application/octet-stream") << png
        << QByteArray("img-id-4.png");
    QTest::newRow("no type: the first bytes tell")
        << QByteArray("dims") << QByteArray() << QByteArray() << QByteArray("GIF89a") << QByteArray("dims.gif");
    QTest::newRow("disposition gives the name")
        << QByteArray("download") << QByteArray("attachment; filename=\"Holiday.jpg\"") << QByteArray("image/jpeg")
        << QByteArray() << QByteArray("Holiday.jpg");
    QTest::newRow("disposition name without extension gets one")
        << QByteArray("download") << QByteArray("attachment; filename=scan") << QByteArray("application/pdf")
        << QByteArray() << QByteArray("scan.pdf");
    QTest::newRow("script extension replaced")
        << QByteArray("image-id-3.php") << QByteArray() << QByteArray("image/webp") << QByteArray()
        << QByteArray("image-id-3.webp");
    QTest::newRow("other dots stay") << QByteArray("photo.v2") << QByteArray() << QByteArray("image/png")
                                     << QByteArray() << QByteArray("photo.v2.png");
    QTest::newRow("own extension equal to the type's")
        << QByteArray("index.html") << QByteArray() << QByteArray("text/html") << QByteArray()
        << QByteArray("index.html");
    QTest::newRow("long name keeps its new extension within the limit")
        << QByteArray(MaxModernNameBytes, 'a') << QByteArray() << QByteArray("image/jpeg") << QByteArray()
        << QByteArray(MaxModernNameBytes - 4, 'a') + ".jpg";
}

void TestModernNaming::finalNames()
{
    QFETCH(QByteArray, listed);
    QFETCH(QByteArray, disposition);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, name);
    QCOMPARE(ModernFinalName(listed, disposition, contentType, head), name);
}

void TestModernNaming::referrers_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("referer");
    const auto row = [](const char* name, const char* page, const char* target, const char* referer) {
        QTest::newRow(name) << QByteArray(page) << QByteArray(target) << QByteArray(referer);
    };
    row("same origin: the whole address", "http://h/a/page?x=1", "http://h/pic.jpg", "http://h/a/page?x=1");
    row("same origin, default port spelled out", "https://h:443/p", "https://h/q.jpg", "https://h/p");
    row("another host: the origin", "https://h/a/page?secret=1", "https://cdn.h/pic.jpg", "https://h/");
    row("another port: the origin", "http://h:8080/a/page", "http://h/pic.jpg", "http://h:8080/");
    row("http page to https: the origin", "http://h/a/page", "https://h/pic.jpg", "http://h/");
    row("https page to http: nothing", "https://h/a/page", "http://h/pic.jpg", "");
    row("credentials and fragment never sent", "http://u:pw@h/a/page#top", "http://h/pic.jpg", "http://h/a/page");
    row("credentials never sent across sites", "http://u:pw@h/a/page", "http://other/pic.jpg", "http://h/");
    row("no page, nothing", "", "http://h/pic.jpg", "");
}

void TestModernNaming::referrers()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, referer);
    QCOMPARE(ReferrerFor(page, target), referer);
}

void TestModernNaming::requestTargets_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("plain stays") << QByteArray("/a/b.jpg?x=1&y=%20") << QByteArray("/a/b.jpg?x=1&y=%20");
    QTest::newRow("spaces") << QByteArray("/my pic.jpg") << QByteArray("/my%20pic.jpg");
    QTest::newRow("8-bit bytes") << QByteArray("/caf\xe9/\xc3\xa9.jpg") << QByteArray("/caf%E9/%C3%A9.jpg");
    QTest::newRow("controls and DEL") << QByteArray("/a\tb\x7f") << QByteArray("/a%09b%7F");
}

void TestModernNaming::requestTargets()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, encoded);
    QCOMPARE(RequestTarget(target), encoded);
}

void TestModernNaming::discardedDownloads_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<bool>("modern");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("discard");
    QTest::newRow("classic small") << qint64(999) << false << false << 200 << QByteArray("image/png") << true;
    QTest::newRow("classic at the limit") << qint64(1000) << false << false << 200 << QByteArray() << false;
    QTest::newRow("classic failed") << qint64(5000) << true << false << 200 << QByteArray() << true;
    QTest::newRow("modern small picture kept")
        << qint64(120) << false << true << 200 << QByteArray("image/png") << false;
    QTest::newRow("modern small error page") << qint64(300) << false << true << 404 << QByteArray("image/png") << true;
    QTest::newRow("modern small html answer")
        << qint64(300) << false << true << 200 << QByteArray("Text/HTML; charset=utf-8") << true;
    QTest::newRow("modern large html kept") << qint64(4000) << false << true << 200 << QByteArray("text/html") << false;
    QTest::newRow("modern failed") << qint64(4000) << true << true << 200 << QByteArray("image/png") << true;
}

void TestModernNaming::discardedDownloads()
{
    QFETCH(qint64, size);
    QFETCH(bool, failed);
    QFETCH(bool, modern);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, discard);
    QCOMPARE(DiscardDownload(size, failed, modern, status, contentType), discard);
}

QTEST_APPLESS_MAIN(TestModernNaming)
#include "test_modern_naming.moc"
