// What the modern scanner reports about each picture besides its address: the link around it
// when that leads to a picture, its smallest candidate, and the size the page declares.
#include <QtTest>

#include "rules/ModernLinks.h"

class TestPictureFacts : public QObject {
    Q_OBJECT
private slots:
    void factsOfPictures_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("address");  // the link whose facts are checked
        QTest::addColumn<QByteArray>("around");
        QTest::addColumn<QByteArray>("thumbnail");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        const QByteArray h = "http://g.test/a/";
        QTest::newRow("thumbnail in a link to its full size")
            << QByteArray("<a href='full/p1.jpg'><img src='t/p1.jpg' srcset='t/p1.jpg 200w, m/p1.jpg 1024w'></a>")
            << h + "m/p1.jpg" << h + "full/p1.jpg" << h + "t/p1.jpg" << 1024 << 0;
        QTest::newRow("link around deeper up the tree")
            << QByteArray("<a href='/big/x.png'><figure><span><img src='x-s.png'></span></figure></a>") << h + "x-s.png"
            << QByteArray("http://g.test/big/x.png") << h + "x-s.png" << 0 << 0;
        QTest::newRow("link around to a page is no copy")
            << QByteArray("<a href='photo/17'><img src='t/17.jpg' width=150 height=100></a>") << h + "t/17.jpg"
            << QByteArray() << h + "t/17.jpg" << 150 << 100;
        QTest::newRow("srcset width with the attributes' proportions")
            << QByteArray("<img width=300 height=200 src=s.jpg srcset='s.jpg 300w, l.jpg 1200w'>") << h + "l.jpg"
            << QByteArray() << h + "s.jpg" << 1200 << 800;
        QTest::newRow("density descriptors declare no size")
            << QByteArray("<img width=300 height=200 src=s.jpg srcset='d.jpg 2x'>") << h + "d.jpg" << QByteArray()
            << h + "s.jpg" << 0 << 0;
        QTest::newRow("picture sources: the smallest is the thumbnail")
            << QByteArray("<picture><source srcset='w.webp 1600w, n.webp 400w'><img src=n.jpg></picture>")
            << h + "w.webp" << QByteArray() << h + "n.jpg" << 1600 << 0;
        QTest::newRow("odd attributes are no size") << QByteArray("<img src=o.jpg width='50%' height=-3>")
                                                    << h + "o.jpg" << QByteArray() << h + "o.jpg" << 0 << 0;
        QTest::newRow("plain links have no facts")
            << QByteArray("<a href='z.zip'>z</a>") << h + "z.zip" << QByteArray() << QByteArray() << 0 << 0;
    }
    void factsOfPictures()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, address);
        QList<TPictureFacts> facts;
        const QList<TModernLink> links = ModernLinks(page, "http://g.test/a/index.html", nullptr, &facts);
        QCOMPARE(facts.size(), links.size());
        // The facts leave the links as the scanner without them finds them.
        QCOMPARE(links, ModernLinks(page, "http://g.test/a/index.html"));
        qsizetype at = -1;
        for (qsizetype i = 0; i < links.size(); ++i)
            if (links[i].address == address)
                at = i;
        QVERIFY2(at >= 0, address.constData());
        QTEST(facts[at].around, "around");
        QTEST(facts[at].thumbnail, "thumbnail");
        QTEST(facts[at].width, "width");
        QTEST(facts[at].height, "height");
    }
};

QTEST_GUILESS_MAIN(TestPictureFacts)
#include "test_picture_facts.moc"
