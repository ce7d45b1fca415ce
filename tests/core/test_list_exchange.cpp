// Export and import of the file list as plain text and as an aria2 input file: what each format
// writes, what a reader takes from files made by hand or by other tools, and round trips.
#include <QtTest>

#include "rules/ListExchange.h"

using TEntries = QList<TExchangeEntry>;
Q_DECLARE_METATYPE(TListFormat)

namespace {
TExchangeEntry Entry(const QByteArray& address, const QByteArray& name = {}, const QByteArray& referrer = {})
{
    return TExchangeEntry{address, name, referrer};
}
}  // namespace

class TestListExchange : public QObject {
    Q_OBJECT
private slots:
    void writes_data();
    void writes();
    void reads_data();
    void reads();
    void roundTrips_data();
    void roundTrips();
    void guessesTheFormat_data();
    void guessesTheFormat();
};

void TestListExchange::writes_data()
{
    QTest::addColumn<TListFormat>("format");
    QTest::addColumn<TEntries>("entries");
    QTest::addColumn<QByteArray>("text");
    const TEntries two{Entry("http://a.test/1.jpg", "1.jpg", "http://a.test/"), Entry("http://a.test/2.zip")};
    QTest::newRow("plain: addresses only")
        << TListFormat::PlainText << two << QByteArray("http://a.test/1.jpg\nhttp://a.test/2.zip\n");
    QTest::newRow("aria2: name and referrer indented under their address")
        << TListFormat::Aria2Input << two
        << QByteArray("http://a.test/1.jpg\n  out=1.jpg\n  referer=http://a.test/\nhttp://a.test/2.zip\n");
    QTest::newRow("empty list: empty file") << TListFormat::Aria2Input << TEntries{} << QByteArray();
    QTest::newRow("an item without address is left out")
        << TListFormat::PlainText << TEntries{Entry(""), Entry("http://b.test/x")} << QByteArray("http://b.test/x\n");
    QTest::newRow("line breaks and tabs in an address are percent-encoded")
        << TListFormat::PlainText << TEntries{Entry("http://b.test/a\r\nb\tc")}
        << QByteArray("http://b.test/a%0D%0Ab%09c\n");
    QTest::newRow("a name with a line break is left out, not split")
        << TListFormat::Aria2Input << TEntries{Entry("http://b.test/x", "bad\nname", "http://b.test/")}
        << QByteArray("http://b.test/x\n  referer=http://b.test/\n");
}

void TestListExchange::writes()
{
    QFETCH(TListFormat, format);
    QFETCH(TEntries, entries);
    QFETCH(QByteArray, text);
    QCOMPARE(WriteListExchange(format, entries), text);
}

void TestListExchange::reads_data()
{
    QTest::addColumn<TListFormat>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<TEntries>("entries");
    QTest::newRow("plain: blank lines, comments and CRLF")
        << TListFormat::PlainText << QByteArray("# saved list\r\nhttp://a.test/1\r\n\r\n  http://a.test/2  \r\n")
        << TEntries{Entry("http://a.test/1"), Entry("http://a.test/2")};
    QTest::newRow("plain: no line end after the last address")
        << TListFormat::PlainText << QByteArray("http://a.test/1") << TEntries{Entry("http://a.test/1")};
    QTest::newRow("aria2: tab-indented options, unknown options ignored")
        << TListFormat::Aria2Input
        << QByteArray("http://a.test/1\n\tdir=/tmp\n\tout=one.jpg\n\treferer=http://a.test/\nhttp://a.test/2\n")
        << TEntries{Entry("http://a.test/1", "one.jpg", "http://a.test/"), Entry("http://a.test/2")};
    QTest::newRow("aria2: the first of several mirrors")
        << TListFormat::Aria2Input << QByteArray("http://a.test/1\thttp://mirror.test/1\n out=1\n")
        << TEntries{Entry("http://a.test/1", "1")};
    QTest::newRow("aria2: options before any address are dropped")
        << TListFormat::Aria2Input << QByteArray("  out=stray\nhttp://a.test/1\n")
        << TEntries{Entry("http://a.test/1")};
    QTest::newRow("aria2: an option without a value or key is ignored")
        << TListFormat::Aria2Input << QByteArray("http://a.test/1\n  out\n  =x\n  out=\n")
        << TEntries{Entry("http://a.test/1")};
    QTest::newRow("aria2: a comment between address and options")
        << TListFormat::Aria2Input << QByteArray("http://a.test/1\n# note\n  out=1.bin\n")
        << TEntries{Entry("http://a.test/1", "1.bin")};
    QTest::newRow("empty file") << TListFormat::Aria2Input << QByteArray() << TEntries{};
}

void TestListExchange::reads()
{
    QFETCH(TListFormat, format);
    QFETCH(QByteArray, text);
    QFETCH(TEntries, entries);
    QCOMPARE(ReadListExchange(format, text), entries);
}

void TestListExchange::roundTrips_data()
{
    QTest::addColumn<TListFormat>("format");
    QTest::addColumn<TEntries>("entries");
    const QByteArray longAddress = "https://cdn.test/img?" + QByteArray(2000, 'q');
    const QByteArray utf8Name = QStringLiteral("Bild_\u00e4\u00f6\u00fc_\u65e5\u672c.jpg").toUtf8();
    const TEntries rich{Entry(longAddress, utf8Name, "https://gallery.test/page?x=1"),
                        Entry("http://a.test/=odd=name", "a=b.txt"), Entry("http://a.test/plain")};
    QTest::newRow("aria2: long addresses, UTF-8 names, '=' in values") << TListFormat::Aria2Input << rich;
    TEntries plain;
    for (const TExchangeEntry& e : rich)
        plain.append(Entry(e.Address));
    QTest::newRow("plain: addresses") << TListFormat::PlainText << plain;
}

void TestListExchange::roundTrips()
{
    QFETCH(TListFormat, format);
    QFETCH(TEntries, entries);
    const QByteArray text = WriteListExchange(format, entries);
    QCOMPARE(ReadListExchange(format, text), entries);
    QCOMPARE(GuessListFormat(text), format);
}

void TestListExchange::guessesTheFormat_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<TListFormat>("format");
    QTest::newRow("addresses only") << QByteArray("http://a/1\nhttp://a/2\n") << TListFormat::PlainText;
    QTest::newRow("an option under an address") << QByteArray("http://a/1\n  out=x\n") << TListFormat::Aria2Input;
    QTest::newRow("indented text without '=' is plain")
        << QByteArray("http://a/1\n  http://a/2\n") << TListFormat::PlainText;
    QTest::newRow("an option before any address is not enough")
        << QByteArray("  out=x\nhttp://a/1\n") << TListFormat::PlainText;
}

void TestListExchange::guessesTheFormat()
{
    QFETCH(QByteArray, text);
    QFETCH(TListFormat, format);
    QCOMPARE(GuessListFormat(text), format);
}

QTEST_GUILESS_MAIN(TestListExchange)
#include "test_list_exchange.moc"
