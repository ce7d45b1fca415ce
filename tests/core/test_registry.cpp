// The settings store: keys, typed reads that report absent or mistyped values, list texts.
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "support/IsolatedSettings.h"
#include "platform/TRegistry.h"

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void integersReadOnlyWhenTheyParse_data();
    void integersReadOnlyWhenTheyParse();
    void textsRoundTripThroughTheFile();
    void keysOpenAndCreate();
    void listTexts_data();
    void listTexts();
    void defaultFileFollowsTheUsersConfigDirectory();
};

void TestRegistry::integersReadOnlyWhenTheyParse_data()
{
    QTest::addColumn<QByteArray>("stored");  // the raw INI line's value; empty = no line
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("value");
    QTest::newRow("absent") << QByteArray() << false << 0;
    QTest::newRow("zero") << QByteArray("0") << true << 0;
    QTest::newRow("one") << QByteArray("1") << true << 1;
    QTest::newRow("negative") << QByteArray("-188") << true << -188;
    QTest::newRow("largest 32-bit") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("smallest 32-bit") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("beyond 32 bits") << QByteArray("4294967296") << false << 0;
    QTest::newRow("text") << QByteArray("yes") << false << 0;
    QTest::newRow("number with tail") << QByteArray("12px") << false << 0;
    QTest::newRow("empty value") << QByteArray("\"\"") << false << 0;
    QTest::newRow("list") << QByteArray("1, 2") << false << 0;
}

void TestRegistry::integersReadOnlyWhenTheyParse()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, present);
    QFETCH(int, value);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("store.conf"));
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write("[SoftWare]\n");
    if (!stored.isEmpty())
        raw.write("Kelvorn\\Number=" + stored + "\n");
    raw.close();

    TRegistry reg(file);
    QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), true));
    const std::optional<int32_t> read = reg.ReadInteger(QStringLiteral("Number"));
    QCOMPARE(read.has_value(), present);
    if (present)
        QCOMPARE(*read, value);
    QCOMPARE(reg.ValueExists(QStringLiteral("Number")), !stored.isEmpty());
}

void TestRegistry::textsRoundTripThroughTheFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sub/folder/store.conf"));  // folders made on demand
    const QString awkward = QStringLiteral("a,b; \"c\" =d \\e @f \xe9\xff");
    const QString lines = QStringLiteral("http://x/1\r\nhttp://x/2\r\n");
    {
        TRegistry reg(file);
        QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), true));
        reg.WriteString(QStringLiteral("Awkward"), awkward);
        reg.WriteString(QStringLiteral("Lines"), lines);
        reg.WriteString(QStringLiteral("Empty"), QString());
        reg.WriteString(QStringLiteral("Digits"), QStringLiteral("42"));
        reg.WriteInteger(QStringLiteral("Count"), -7);
        reg.WriteBool(QStringLiteral("On"), true);
        reg.WriteBool(QStringLiteral("Off"), false);
        reg.CloseKey();
    }
    QVERIFY(QFile::exists(file));
    TRegistry reg(file);
    QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), false));
    QCOMPARE(reg.ReadString(QStringLiteral("Awkward")), awkward);
    QCOMPARE(reg.ReadString(QStringLiteral("Lines")), lines);
    QVERIFY(reg.ValueExists(QStringLiteral("Empty")));
    QCOMPARE(reg.ReadString(QStringLiteral("Empty")), QString());
    QCOMPARE(reg.ReadString(QStringLiteral("Missing")), QString());
    QCOMPARE(reg.ReadString(QStringLiteral("Digits")), QStringLiteral("42"));
    QCOMPARE(reg.ReadInteger(QStringLiteral("Count")), std::optional<int32_t>(-7));
    QCOMPARE(reg.ReadInteger(QStringLiteral("On")), std::optional<int32_t>(1));
    QCOMPARE(reg.ReadInteger(QStringLiteral("Off")), std::optional<int32_t>(0));
    QVERIFY(!reg.ReadInteger(QStringLiteral("Awkward")).has_value());
    reg.DeleteValue(QStringLiteral("Count"));
    QVERIFY(!reg.ValueExists(QStringLiteral("Count")));
}

void TestRegistry::keysOpenAndCreate()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("store.conf"));
    TRegistry reg(file);
    QVERIFY(!reg.KeyExists(QStringLiteral("\\SoftWare\\Kelvorn")));
    QVERIFY(!reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), false));
    QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), true));
    reg.WriteInteger(QStringLiteral("A"), 1);
    reg.CloseKey();
    QVERIFY(reg.KeyExists(QStringLiteral("\\SoftWare\\Kelvorn")));
    // Values of one key are not seen under another.
    QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Other"), true));
    QVERIFY(!reg.ValueExists(QStringLiteral("A")));
    QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), false));
    QVERIFY(reg.ValueExists(QStringLiteral("A")));
}

void TestRegistry::listTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("written");  // what the entries are stored as
    QTest::newRow("empty") << QString() << QStringList() << QString();
    QTest::newRow("one") << QStringLiteral("a\r\n") << QStringList{QStringLiteral("a")} << QStringLiteral("a\r\n");
    QTest::newRow("two") << QStringLiteral("a\r\nb\r\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                         << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("last line without break")
        << QStringLiteral("a\r\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")}
        << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("bare LF and CR") << QStringLiteral("a\nb\rc") << QStringList{"a", "b", "c"}
                                    << QStringLiteral("a\r\nb\r\nc\r\n");
    QTest::newRow("empty line kept") << QStringLiteral("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"}
                                     << QStringLiteral("a\r\n\r\nb\r\n");
}

void TestRegistry::listTexts()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QFETCH(QString, written);
    QCOMPARE(StringsFromText(text), entries);
    QCOMPARE(TextFromStrings(entries), written);
}

void TestRegistry::defaultFileFollowsTheUsersConfigDirectory()
{
    IsolatedSettings isolated;
    QCOMPARE(TRegistry::DefaultFileName(), isolated.Root() + QStringLiteral("/config/Kelvorn/Kelvorn.conf"));
    TRegistry reg;
    QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), true));
    reg.WriteString(QStringLiteral("X"), QStringLiteral("y"));
    reg.CloseKey();
    QVERIFY(QFile::exists(isolated.SettingsFile()));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_registry.moc"
