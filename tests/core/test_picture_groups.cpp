// Copies of one picture: size variant keys, sizes stated by names, and the groups with their
// largest copy.
#include <QtTest>

#include "rules/PictureGroups.h"

using TCandidates = QList<TPictureCandidate>;
Q_DECLARE_METATYPE(TCandidates)

class TestPictureGroups : public QObject {
    Q_OBJECT
private slots:
    void variantsShareAKey_data()
    {
        QTest::addColumn<QByteArray>("copy");
        QTest::addColumn<QByteArray>("original");
        const QByteArray o = "http://example.test/photos/beach.jpg";
        QTest::newRow("-300x200 suffix") << QByteArray("http://example.test/photos/beach-300x200.jpg") << o;
        QTest::newRow("-150x150 suffix") << QByteArray("http://example.test/photos/beach-150x150.jpg") << o;
        QTest::newRow("_thumb suffix") << QByteArray("http://example.test/photos/beach_thumb.jpg") << o;
        QTest::newRow("_small suffix") << QByteArray("http://example.test/photos/beach_small.jpg") << o;
        QTest::newRow("/thumb/ folder") << QByteArray("http://example.test/photos/thumb/beach.jpg") << o;
        QTest::newRow("/thumbs/300x200/ folders")
            << QByteArray("http://example.test/photos/thumbs/300x200/beach.jpg") << o;
        QTest::newRow("@2x suffix") << QByteArray("http://example.test/photos/beach@2x.jpg") << o;
        QTest::newRow("two suffixes") << QByteArray("http://example.test/photos/beach-scaled-1024x683.jpg") << o;
        QTest::newRow("?w=300") << QByteArray("http://example.test/photos/beach.jpg?w=300") << o;
        QTest::newRow("?width=300&quality=80")
            << QByteArray("http://example.test/photos/beach.jpg?width=300&quality=80") << o;
        QTest::newRow("host letter case") << QByteArray("http://EXAMPLE.test/photos/beach-300x200.jpg") << o;
        QTest::newRow("extension letter case") << QByteArray("http://example.test/photos/beach_thumb.JPG") << o;
        QTest::newRow("fragment") << QByteArray("http://example.test/photos/beach.jpg#top") << o;
        QTest::newRow("other parameters kept")
            << QByteArray("http://example.test/img?id=7&w=300") << QByteArray("http://example.test/img?id=7");
    }
    void variantsShareAKey()
    {
        QFETCH(QByteArray, copy);
        QFETCH(QByteArray, original);
        QCOMPARE(PictureVariantKey(copy), PictureVariantKey(original));
    }

    void differentPicturesKeepTheirKeys_data()
    {
        QTest::addColumn<QByteArray>("one");
        QTest::addColumn<QByteArray>("other");
        QTest::newRow("numbered names") << QByteArray("http://a.test/p/img_0001.jpg")
                                        << QByteArray("http://a.test/p/img_0002.jpg");
        QTest::newRow("numbered with dash")
            << QByteArray("http://a.test/p/photo-1.jpg") << QByteArray("http://a.test/p/photo-2.jpg");
        QTest::newRow("other host") << QByteArray("http://a.test/beach-300x200.jpg")
                                    << QByteArray("http://b.test/beach.jpg");
        QTest::newRow("other folder") << QByteArray("http://a.test/2019/beach.jpg")
                                      << QByteArray("http://a.test/2020/beach.jpg");
        QTest::newRow("other extension") << QByteArray("http://a.test/beach.png")
                                         << QByteArray("http://a.test/beach.jpg");
        QTest::newRow("other id parameter")
            << QByteArray("http://a.test/img?id=7&w=300") << QByteArray("http://a.test/img?id=8&w=300");
        QTest::newRow("a word that is no size")
            << QByteArray("http://a.test/beach-sunset.jpg") << QByteArray("http://a.test/beach.jpg");
        QTest::newRow("name that is only a size")
            << QByteArray("http://a.test/300x200.jpg") << QByteArray("http://a.test/150x150.jpg");
        QTest::newRow("name that is only a word")
            << QByteArray("http://a.test/thumb.jpg") << QByteArray("http://a.test/small.jpg");
    }
    void differentPicturesKeepTheirKeys()
    {
        QFETCH(QByteArray, one);
        QFETCH(QByteArray, other);
        QVERIFY(PictureVariantKey(one) != PictureVariantKey(other));
    }

    void sizesStatedByNames_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("reduced");
        QTest::newRow("suffix") << QByteArray("http://a.test/b-1024x683.jpg") << 1024 << 683 << false;
        QTest::newRow("square thumbnail") << QByteArray("http://a.test/b-150x150.jpg") << 150 << 150 << true;
        QTest::newRow("large square") << QByteArray("http://a.test/b-800x800.jpg") << 800 << 800 << false;
        QTest::newRow("folder") << QByteArray("http://a.test/640x480/b.jpg") << 640 << 480 << false;
        QTest::newRow("query") << QByteArray("http://a.test/b.jpg?h=200&w=300") << 300 << 200 << false;
        QTest::newRow("thumb word") << QByteArray("http://a.test/b_thumb.jpg") << 0 << 0 << true;
        QTest::newRow("thumbs folder") << QByteArray("http://a.test/thumbs/b.jpg") << 0 << 0 << true;
        QTest::newRow("plain name") << QByteArray("http://a.test/b.jpg") << 0 << 0 << false;
    }
    void sizesStatedByNames()
    {
        QFETCH(QByteArray, address);
        const TNamedSize size = SizeInName(address);
        QTEST(size.width, "width");
        QTEST(size.height, "height");
        QTEST(NamedAsReduced(address), "reduced");
    }

    void sizesKnownBeforeDownload_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<int>("declaredWidth");
        QTest::addColumn<int>("declaredHeight");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("declared wins over the name")
            << QByteArray("http://a.test/b-300x200.jpg") << 1024 << 683 << 1024 << 683;
        QTest::newRow("declared width alone") << QByteArray("http://a.test/b-300x200.jpg") << 1024 << 0 << 1024 << 0;
        QTest::newRow("the name when nothing is declared")
            << QByteArray("http://a.test/b-300x200.jpg") << 0 << 0 << 300 << 200;
        QTest::newRow("declared height with the name's width")
            << QByteArray("http://a.test/b.jpg?w=640") << 0 << 480 << 640 << 480;
        QTest::newRow("nothing known") << QByteArray("http://a.test/b.jpg") << 0 << 0 << 0 << 0;
    }
    void sizesKnownBeforeDownload()
    {
        QFETCH(QByteArray, address);
        QFETCH(int, declaredWidth);
        QFETCH(int, declaredHeight);
        const TNamedSize size = StatedSize(address, declaredWidth, declaredHeight);
        QTEST(size.width, "width");
        QTEST(size.height, "height");
    }

    // Each row: the candidates in page order and, for each, the index of its group's largest.
    void groupsAndTheirLargestCopy_data()
    {
        QTest::addColumn<TCandidates>("candidates");
        QTest::addColumn<QList<int>>("leaders");
        const QByteArray h = "http://g.test/";
        QTest::newRow("link around a thumbnail: the linked full size leads")
            << TCandidates{{h + "full/p1.jpg", {}, 0, 0}, {h + "img/p1-1024.jpg", h + "full/p1.jpg", 1024, 0}}
            << QList<int>{0, 0};
        QTest::newRow("link around found after the picture")
            << TCandidates{{h + "img/a.jpg", h + "big/a-photo.jpg", 300, 200}, {h + "big/a-photo.jpg", {}, 0, 0}}
            << QList<int>{1, 1};
        QTest::newRow("size suffixes: the plain name is the original")
            << TCandidates{{h + "b-300x200.jpg", {}, 0, 0}, {h + "b.jpg", {}, 0, 0}, {h + "b-1024x683.jpg", {}, 0, 0}}
            << QList<int>{1, 1, 1};
        QTest::newRow("size suffixes without original: the widest") << TCandidates{{h + "b-300x200.jpg", {}, 0, 0},
                                                                                   {h + "b_thumb.jpg", {}, 0, 0},
                                                                                   {h + "b-1024x683.jpg", {}, 0, 0}}
                                                                    << QList<int>{2, 2, 2};
        QTest::newRow("declared sizes win over names")
            << TCandidates{{h + "c.jpg?w=2000", {}, 400, 0}, {h + "c.jpg?w=100", {}, 800, 0}} << QList<int>{1, 1};
        QTest::newRow("different pictures stay apart") << TCandidates{{h + "img_0001.jpg", {}, 0, 0},
                                                                      {h + "img_0002.jpg", {}, 0, 0},
                                                                      {h + "other/img_0001.jpg", {}, 0, 0}}
                                                       << QList<int>{0, 1, 2};
        QTest::newRow("a gallery of two with thumbnails and links")
            << TCandidates{{h + "photos/one.jpg", {}, 0, 0},
                           {h + "thumbs/one.jpg", h + "photos/one.jpg", 0, 0},
                           {h + "photos/two.jpg", {}, 0, 0},
                           {h + "thumbs/two.jpg", h + "photos/two.jpg", 0, 0}}
            << QList<int>{0, 0, 2, 2};
        QTest::newRow("link around to a picture not listed groups nothing")
            << TCandidates{{h + "x.jpg", h + "elsewhere.jpg", 0, 0}, {h + "y.jpg", {}, 0, 0}} << QList<int>{0, 1};
        QTest::newRow("equal copies: the first on the page")
            << TCandidates{{h + "d-large.jpg", {}, 0, 0}, {h + "d.jpg", {}, 0, 0}} << QList<int>{0, 0};
        QTest::newRow("nothing") << TCandidates{} << QList<int>{};
    }
    void groupsAndTheirLargestCopy()
    {
        QFETCH(TCandidates, candidates);
        QTEST(PictureGroupLeaders(candidates), "leaders");
    }
};

QTEST_GUILESS_MAIN(TestPictureGroups)
#include "test_picture_groups.moc"
