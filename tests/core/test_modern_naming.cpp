// Names and request details of modern items: file names from addresses with queries, escapes
// and odd characters; extensions from the Content-Type; request targets; which small
// downloads are deleted.
#include <QTest>

#include "rules/ModernNaming.h"

class TestModernNaming : public QObject {
    Q_OBJECT
private slots:
    void fileNames_data();
    void fileNames();
    void typeExtensions_data();
    void typeExtensions();
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
    row("too long keeps its extension", "http://h/" + QByteArray(300, 'n') + ".jpeg", QByteArray(250, 'n') + ".jpeg");
}

void TestModernNaming::fileNames()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, name);
    QCOMPARE(ModernFileName(address), name);
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
    QCOMPARE(NameWithTypeExtension(name, contentType), result);
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
