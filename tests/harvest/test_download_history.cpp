// The download history's look-ups and the rule of "Skip files downloaded before".
#include <QTemporaryDir>
#include <QtTest>

#include "core/DownloadHistory.h"

namespace {
const QByteArray ShaA(32, 'a');
const QByteArray ShaB(32, 'b');
qint64 NoonOf(int year, int month, int day)
{
    return QDateTime(QDate(year, month, day), QTime(12, 0)).toMSecsSinceEpoch();
}
}  // namespace

class TestDownloadHistory : public QObject {
    Q_OBJECT
private slots:
    void skipReason_data();
    void skipReason();
    void laterEntryWins();
    void clearForgetsEverything();
    void fileSha256_data();
    void fileSha256();
};

void TestDownloadHistory::fileSha256_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("hex");  // empty: no file there
    QTest::newRow("empty file") << QByteArray()
                                << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << QByteArray("abc")
                         << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QTest::newRow("a million a's") << QByteArray(1000000, 'a')
                                   << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    QTest::newRow("no file") << QByteArray() << QByteArray();
}

void TestDownloadHistory::fileSha256()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, hex);
    QTemporaryDir dir;
    const QString path = dir.filePath("f.bin");
    if (!hex.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }
    QCOMPARE(FileSha256(path).toHex(), hex);
}

void TestDownloadHistory::skipReason_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("sha256");
    QTest::addColumn<QString>("reason");  // empty: not skipped
    QTest::newRow("same address, content not known yet")
        << QByteArray("http://a.test/1.jpg") << QByteArray() << "Downloaded before on 2026-03-14 as 1.jpg";
    QTest::newRow("same content at another address")
        << QByteArray("http://mirror.test/x.jpg") << ShaB
        << QString::fromUtf8("Downloaded before on 2026-11-02 as b\xc3\xa4r.png");
    QTest::newRow("address wins over content")
        << QByteArray("http://a.test/1.jpg") << ShaB << "Downloaded before on 2026-03-14 as 1.jpg";
    QTest::newRow("new address, content not known yet")
        << QByteArray("http://a.test/2.jpg") << QByteArray() << QString();
    QTest::newRow("new address, new content") << QByteArray("http://a.test/2.jpg") << QByteArray(32, 'c') << QString();
    QTest::newRow("address compared exactly") << QByteArray("http://A.test/1.jpg") << QByteArray() << QString();
}

void TestDownloadHistory::skipReason()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, sha256);
    QFETCH(QString, reason);
    THistoryIndex history;
    history.Add({"http://a.test/1.jpg", 4000, ShaA, "1.jpg", NoonOf(2026, 3, 14)});
    history.Add({"http://b.test/bar", 5000, ShaB, "b\xc3\xa4r.png", NoonOf(2026, 11, 2)});
    const std::optional<QString> found = SkipReason(history, address, sha256);
    QCOMPARE(found.value_or(QString()), reason);
    QCOMPARE(found.has_value(), !reason.isEmpty());
}

void TestDownloadHistory::laterEntryWins()
{
    THistoryIndex history;
    history.Add({"http://a.test/1.jpg", 4000, ShaA, "1.jpg", NoonOf(2026, 3, 14)});
    history.Add({"http://a.test/1.jpg", 4100, ShaB, "1(2).jpg", NoonOf(2026, 4, 1)});
    QCOMPARE(history.FindAddress("http://a.test/1.jpg")->FileName, QByteArray("1(2).jpg"));
    QCOMPARE(history.FindSha256(ShaA)->FileName, QByteArray("1.jpg"));
    QCOMPARE(history.Count(), 2);
}

void TestDownloadHistory::clearForgetsEverything()
{
    THistoryIndex history;
    history.Add({"http://a.test/1.jpg", 4000, ShaA, "1.jpg", NoonOf(2026, 3, 14)});
    history.Clear();
    QCOMPARE(history.Count(), 0);
    QVERIFY(!SkipReason(history, "http://a.test/1.jpg", ShaA));
}

QTEST_GUILESS_MAIN(TestDownloadHistory)
#include "test_download_history.moc"
