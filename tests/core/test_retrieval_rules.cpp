// The text rules of document retrieval: directories for link resolution and the loop's status.
#include <QTest>

#include "rules/RetrievalRules.h"

class TestRetrievalRules : public QObject {
    Q_OBJECT
private slots:
    void documentDirectory_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("directory");
        QTest::newRow("page in a folder") << QByteArray("http://h/a/b.html") << QByteArray("http://h/a/");
        QTest::newRow("no path keeps the scheme's slashes") << QByteArray("http://h") << QByteArray("http://");
        QTest::newRow("folder address stays whole") << QByteArray("http://h/a/") << QByteArray("http://h/a/");
        QTest::newRow("letter case kept") << QByteArray("http://H/Dir/X.htm") << QByteArray("http://H/Dir/");
        QTest::newRow("no slash at all") << QByteArray("page.html") << QByteArray();
        QTest::newRow("query with a slash cuts there")
            << QByteArray("http://h/p?a=1/2") << QByteArray("http://h/p?a=1/");
    }
    void documentDirectory()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, directory);
        QCOMPARE(DocumentDirectory(address), directory);
    }

    void parseBaseDirectory_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("directory");
        QTest::newRow("upper-case path is lowered")
            << QByteArray("http://Host/Pics/Page.HTM") << QByteArray("http://host/pics/");
        QTest::newRow("folder address keeps its folder")
            << QByteArray("http://h/Gallery/") << QByteArray("http://h/gallery/");
        QTest::newRow("8-bit letters unchanged")
            << QByteArray("http://h/\xC4x/\xD6.htm") << QByteArray("http://h/\xC4x/");
        QTest::newRow("no slash gives nothing") << QByteArray("ABC") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void parseBaseDirectory()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, directory);
        QCOMPARE(ParseBaseDirectory(address), directory);
    }

    void parsingLinkStatus()
    {
        QCOMPARE(ParsingLinkStatus(3, 12), QStringLiteral("Status: Parsing link 3 of 12"));
        QCOMPARE(ParsingLinkStatus(1, 1), QStringLiteral("Status: Parsing link 1 of 1"));
    }
};

QTEST_GUILESS_MAIN(TestRetrievalRules)
#include "test_retrieval_rules.moc"
