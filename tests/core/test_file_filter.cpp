// The file filter as a predicate: kinds by extension, pixel and byte bounds, host and keyword.
#include <QtTest>

#include "rules/FileFilter.h"

Q_DECLARE_METATYPE(TFileFilter)
Q_DECLARE_METATYPE(TFileFacts)
Q_DECLARE_METATYPE(TFileKind)

class TestFileFilter : public QObject {
    Q_OBJECT
private slots:
    void kindsByExtension_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("foundAsPicture");
        QTest::addColumn<TFileKind>("kind");
        QTest::newRow("jpg") << QByteArray("http://a.test/p/x.JPG") << false << TFileKind::Picture;
        QTest::newRow("webp with query") << QByteArray("http://a.test/x.webp?w=3") << false << TFileKind::Picture;
        QTest::newRow("mp4") << QByteArray("http://a.test/v.mp4") << false << TFileKind::Video;
        QTest::newRow("opus") << QByteArray("http://a.test/s.opus") << false << TFileKind::Audio;
        QTest::newRow("tar.gz") << QByteArray("http://a.test/x.tar.gz") << false << TFileKind::Archive;
        QTest::newRow("pdf") << QByteArray("https://a.test/book.pdf#page=2") << false << TFileKind::Document;
        QTest::newRow("dot only in the folder") << QByteArray("http://a.test/x.jpg/file") << false << TFileKind::Other;
        QTest::newRow("dot only in the host") << QByteArray("http://a.test") << false << TFileKind::Other;
        QTest::newRow("picture without extension")
            << QByteArray("http://a.test/photo?id=7") << true << TFileKind::Picture;
        QTest::newRow("extension decides over the finding")
            << QByteArray("http://a.test/v.webm") << true << TFileKind::Video;
    }
    void kindsByExtension()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, foundAsPicture);
        QTEST(FileKindOf(address, foundAsPicture), "kind");
    }

    void hosts_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("host");
        QTest::newRow("plain") << QByteArray("http://Img.Example.test/a.jpg") << QByteArray("img.example.test");
        QTest::newRow("port and user") << QByteArray("https://u:p@a.test:8443/x") << QByteArray("a.test");
        QTest::newRow("query right after host") << QByteArray("http://a.test?x=/y") << QByteArray("a.test");
        QTest::newRow("ipv6") << QByteArray("http://[::1]:8080/x") << QByteArray("[::1]");
        QTest::newRow("no scheme") << QByteArray("a.test/x") << QByteArray();
    }
    void hosts()
    {
        QFETCH(QByteArray, address);
        QTEST(HostOf(address), "host");
    }

    void filterKeepsAndDrops_data()
    {
        QTest::addColumn<TFileFilter>("filter");
        QTest::addColumn<TFileFacts>("file");
        QTest::addColumn<bool>("kept");
        const TFileFacts photo{"http://img.a.test/p/Beach.jpg", TFileKind::Picture, 1600, 1200, 400000};
        const TFileFacts icon{"http://a.test/icon.png", TFileKind::Picture, 16, 16, 300};
        const TFileFacts unknown{"http://a.test/new.jpg", TFileKind::Picture, -1, -1, -1};
        const TFileFacts movie{"http://a.test/m.mp4", TFileKind::Video, -1, -1, 9000000};
        TFileFilter none;
        QTest::newRow("no filter keeps everything") << none << icon << true;

        TFileFilter pictures;
        pictures.kinds = KindBit(TFileKind::Picture);
        QTest::newRow("pictures only keeps a photo") << pictures << photo << true;
        QTest::newRow("pictures only drops a video") << pictures << movie << false;

        TFileFilter wide;
        wide.minWidth = 800;
        wide.minHeight = 600;
        QTest::newRow("minimum size keeps a photo") << wide << photo << true;
        QTest::newRow("minimum size drops an icon") << wide << icon << false;
        QTest::newRow("minimum size keeps a picture of unknown size") << wide << unknown << true;
        TFileFilter edge;
        edge.minWidth = 1600;
        edge.maxWidth = 1600;
        QTest::newRow("bounds are inclusive") << edge << photo << true;
        TFileFilter narrow;
        narrow.maxHeight = 1000;
        QTest::newRow("maximum height drops a tall one") << narrow << photo << false;
        TFileFilter crossed;
        crossed.minWidth = 100;
        crossed.maxWidth = 50;
        QTest::newRow("maximum below minimum keeps nothing known") << crossed << icon << false;

        TFileFilter bytes;
        bytes.minBytes = 1000;
        bytes.maxBytes = 1000000;
        QTest::newRow("bytes keep a photo") << bytes << photo << true;
        QTest::newRow("bytes drop a tiny file") << bytes << icon << false;
        QTest::newRow("bytes drop a big video") << bytes << movie << false;

        TFileFilter host;
        host.host = "A.test";
        QTest::newRow("host keeps a subdomain") << host << photo << true;
        QTest::newRow("host keeps itself") << host << icon << true;
        TFileFilter otherHost;
        otherHost.host = "b.a.test";
        QTest::newRow("host drops a parent domain") << otherHost << icon << false;
        TFileFilter suffixOnly;
        suffixOnly.host = "test";
        QTest::newRow("host is matched by whole labels") << suffixOnly << icon << true;
        TFileFilter lookalike;
        lookalike.host = "aa.test";
        QTest::newRow("host look-alike is dropped") << lookalike << icon << false;

        TFileFilter keyword;
        keyword.keyword = "beach";
        QTest::newRow("keyword ignores letter case") << keyword << photo << true;
        QTest::newRow("keyword drops others") << keyword << icon << false;
    }
    void filterKeepsAndDrops()
    {
        QFETCH(TFileFilter, filter);
        QFETCH(TFileFacts, file);
        QTEST(PassesFilter(filter, file), "kept");
    }
};

QTEST_GUILESS_MAIN(TestFileFilter)
#include "test_file_filter.moc"
