// Local file names: the name taken from an address, the underscore rule for taken names, and
// the plain-name rule that keeps every joined path inside the download directory.
#include <QSet>
#include <QTest>

#include "rules/FileNaming.h"

class TestFileNaming : public QObject {
    Q_OBJECT
private slots:
    void fileNameFromAddress_data();
    void fileNameFromAddress();
    void underscoreName_data();
    void underscoreName();
    void freeName_data();
    void freeName();
    void plainNames_data();
    void plainNames();
};

void TestFileNaming::fileNameFromAddress_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("http://h/a/pic.jpg") << QByteArray("pic.jpg");
    QTest::newRow("escapes stay as written") << QByteArray("http://h/my%20pic.jpg") << QByteArray("my%20pic.jpg");
    QTest::newRow("no slash") << QByteArray("pic.jpg") << QByteArray("pic.jpg");
    QTest::newRow("trailing slash") << QByteArray("http://h/dir/") << QByteArray("");
    QTest::newRow("query kept") << QByteArray("http://h/get?f=a.jpg") << QByteArray("get?f=a.jpg");
    QTest::newRow("high bytes kept") << QByteArray("http://h/\xe6\xf8.jpg") << QByteArray("\xe6\xf8.jpg");
    QTest::newRow("newline made _") << QByteArray("http://h/a\nb.jpg") << QByteArray("a_b.jpg");
    QTest::newRow("escape sequence made _") << QByteArray("http://h/\x1b[31mred.jpg") << QByteArray("_[31mred.jpg");
    QTest::newRow("tab, CR and DEL made _") << QByteArray("http://h/a\tb\rc\x7f.jpg") << QByteArray("a_b_c_.jpg");
}

void TestFileNaming::fileNameFromAddress()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, name);
    QCOMPARE(FilNavn(address), name);
}

void TestFileNaming::underscoreName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("next");
    QTest::newRow("before the dot") << QByteArray("pic.jpg") << QByteArray("pic_.jpg");
    QTest::newRow("first dot only") << QByteArray("a.b.jpg") << QByteArray("a_.b.jpg");
    QTest::newRow("no dot") << QByteArray("photo") << QByteArray("_.photo");
    QTest::newRow("no dot, second step") << QByteArray("_.photo") << QByteArray("__.photo");
    QTest::newRow("leading dot") << QByteArray(".hidden") << QByteArray("_.hidden");
    QTest::newRow("trailing dot") << QByteArray("name.") << QByteArray("name_.");
}

void TestFileNaming::underscoreName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, next);
    QCOMPARE(UnderscoreName(name), next);
}

void TestFileNaming::freeName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QList<QByteArray>>("taken");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("free at once") << QByteArray("pic.jpg") << QList<QByteArray>{} << QByteArray("pic.jpg");
    QTest::newRow("two taken") << QByteArray("pic.jpg") << QList<QByteArray>{"pic.jpg", "pic_.jpg"}
                               << QByteArray("pic__.jpg");
    QTest::newRow("five underscores is the last try")
        << QByteArray("pic.jpg") << QList<QByteArray>{"pic.jpg", "pic_.jpg", "pic__.jpg", "pic___.jpg", "pic____.jpg"}
        << QByteArray("pic_____.jpg");
    QTest::newRow("all six taken") << QByteArray(
        "pic.jpg") << QList<QByteArray>{"pic.jpg", "pic_.jpg", "pic__.jpg", "pic___.jpg", "pic____.jpg", "pic_____.jpg"}
                                   << QByteArray();
    QTest::newRow("no dot taken") << QByteArray("photo") << QList<QByteArray>{"photo", "_.photo"}
                                  << QByteArray("__.photo");
    QTest::newRow("a gap is not used") << QByteArray("pic.jpg") << QList<QByteArray>{"pic.jpg", "pic__.jpg"}
                                       << QByteArray("pic_.jpg");
}

void TestFileNaming::freeName()
{
    QFETCH(QByteArray, name);
    QFETCH(QList<QByteArray>, taken);
    QFETCH(QByteArray, result);
    const QSet<QByteArray> set(taken.begin(), taken.end());
    int asked = 0;
    QCOMPARE(FreeFileName(name,
                          [&](const QByteArray& n) {
                              ++asked;
                              return set.contains(n);
                          }),
             result);
    QVERIFY(asked <= MaxUnderscores + 1);  // never more than six names tried
}

void TestFileNaming::plainNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("plain");
    QTest::newRow("ordinary") << QByteArray("pic.jpg") << true;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("dot") << QByteArray(".") << false;
    QTest::newRow("dot dot") << QByteArray("..") << false;
    QTest::newRow("climbs out") << QByteArray("../../etc/x") << false;
    QTest::newRow("subfolder") << QByteArray("a/b.jpg") << false;
    QTest::newRow("nul") << QByteArray("a\0b", 3) << false;
    QTest::newRow("three dots is a name") << QByteArray("...") << true;
    QTest::newRow("absolute") << QByteArray("/etc/passwd") << false;
    QTest::newRow("climbs out after a name") << QByteArray("a/../../x.jpg") << false;
}

void TestFileNaming::plainNames()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, plain);
    QCOMPARE(IsPlainFileName(name), plain);
    // The joined path exists only for a plain name, and then lies directly in the directory.
    const QString path = LocalFilePath(QStringLiteral("/home/u/dl"), name);
    QCOMPARE(path.isEmpty(), !plain);
    if (plain)
        QCOMPARE(path, QStringLiteral("/home/u/dl/") + QString::fromLatin1(name));
    QVERIFY(LocalFilePath(QString(), name).isEmpty());
}

QTEST_GUILESS_MAIN(TestFileNaming)
#include "test_filenaming.moc"
