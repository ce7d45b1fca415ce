// The options table and the option values: defaults, the start-up's reading that stops at the
// first absent value, the option kept apart, and the round trip through the settings store.
#include <QSignalSpy>
#include <QtTest>

#include "core/HarvestOptions.h"
#include "platform/TRegistry.h"
#include "support/IsolatedSettings.h"

namespace {
const QString Key = QStringLiteral("\\SoftWare\\Kelvorn");

// The start-up's reading order of the group, as older settings files were written.
const char* const ReadOrder[] = {"SkipFile",        "AutoDownload", "AutoSave",    "BossName",    "AddFilesWhenParse",
                                 "ParseOneLevelUp", "Beep",         "Preview",     "IncludeEmb",  "PreviewJump",
                                 "SaveWindow",      "AddLinks",     "SelectFirst", "ShowProgress"};
}  // namespace

class TestHarvestOptions : public QObject {
    Q_OBJECT
private slots:
    void readingStopsAtFirstAbsentValue_data();
    void readingStopsAtFirstAbsentValue();
    void roundTripKeepsEveryValue();
    void namesFindTheirOption_data();
    void namesFindTheirOption();
    void changesAreAnnouncedOnce();
    void hostConnectionsKept_data();
    void hostConnectionsKept();
};

void TestHarvestOptions::readingStopsAtFirstAbsentValue_data()
{
    QTest::addColumn<int>("stored");     // how many values of the group, in reading order, are stored
    QTest::addColumn<bool>("mistyped");  // the value after them is stored as text instead of missing
    QTest::addColumn<bool>("modern");    // the option kept apart is stored as 1
    QTest::newRow("nothing stored") << 0 << false << false;
    QTest::newRow("first only") << 1 << false << false;
    QTest::newRow("half, then a mistyped value") << 7 << true << false;
    QTest::newRow("all but the last") << 13 << false << true;
    QTest::newRow("the whole group") << 14 << false << false;
    QTest::newRow("group empty, modern kept apart") << 0 << false << true;
}

void TestHarvestOptions::readingStopsAtFirstAbsentValue()
{
    QFETCH(int, stored);
    QFETCH(bool, mistyped);
    QFETCH(bool, modern);
    IsolatedSettings isolated;
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(Key, true));
        // Every stored value is the opposite of its default, so a value read shows.
        for (int i = 0; i < stored; ++i)
            reg.WriteBool(QLatin1String(ReadOrder[i]), !FindOption(QLatin1String(ReadOrder[i]))->Default);
        if (mistyped)
            reg.WriteString(QLatin1String(ReadOrder[stored]), QStringLiteral("yes"));
        // Values after the gap are never read.
        for (int i = stored + 1; i < 14; ++i)
            reg.WriteBool(QLatin1String(ReadOrder[i]), !FindOption(QLatin1String(ReadOrder[i]))->Default);
        if (modern)
            reg.WriteBool(QStringLiteral("ModernLinks"), true);
        reg.CloseKey();
    }
    THarvestOptions options;
    TRegistry reg;
    QVERIFY(reg.OpenKey(Key, false));
    options.ReadGroup(reg);
    options.ReadApart(reg);
    for (int i = 0; i < 14; ++i) {
        const TOptionInfo* info = FindOption(QLatin1String(ReadOrder[i]));
        QVERIFY(info);
        const bool expected = i < stored ? !info->Default : info->Default;
        QVERIFY2(options.Get(info->Id) == expected, ReadOrder[i]);
    }
    QCOMPARE(options.Get(TOption::ModernLinks), modern);
}

void TestHarvestOptions::roundTripKeepsEveryValue()
{
    IsolatedSettings isolated;
    THarvestOptions written;
    for (const TOptionInfo& info : OptionTable())
        written.Set(info.Id, !info.Default);
    {
        TRegistry reg;
        reg.OpenKey(Key, true);
        written.WriteGroup(reg);
        written.WriteApart(reg);
        reg.CloseKey();
    }
    THarvestOptions read;
    TRegistry reg;
    reg.OpenKey(Key, false);
    read.ReadGroup(reg);
    read.ReadApart(reg);
    for (const TOptionInfo& info : OptionTable()) {
        QVERIFY2(read.Get(info.Id) == !info.Default, info.SettingsName);
        QCOMPARE(reg.ReadString(QLatin1String(info.SettingsName)),
                 info.Default ? QStringLiteral("0") : QStringLiteral("1"));
    }
}

void TestHarvestOptions::namesFindTheirOption_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("option");  // -1: no option
    QTest::newRow("settings name") << QStringLiteral("IncludeEmb") << int(TOption::IncludeEmbedded);
    QTest::newRow("menu item name") << QStringLiteral("Includelinksonelevelupwhenparsingmaindocument1")
                                    << int(TOption::ParseOneLevelUp);
    QTest::newRow("option kept apart") << QStringLiteral("ModernLinks") << int(TOption::ModernLinks);
    QTest::newRow("case matters") << QStringLiteral("skipfile") << -1;
    QTest::newRow("a geometry value is no option") << QStringLiteral("FormTop") << -1;
}

void TestHarvestOptions::namesFindTheirOption()
{
    QFETCH(QString, name);
    QFETCH(int, option);
    const TOptionInfo* info = FindOption(name);
    QCOMPARE(info ? int(info->Id) : -1, option);
    if (info)
        QCOMPARE(&OptionInfo(info->Id), info);
}

void TestHarvestOptions::changesAreAnnouncedOnce()
{
    THarvestOptions options;
    QSignalSpy changed(&options, &THarvestOptions::Changed);
    options.Set(TOption::Beep, true);  // already on by default
    QCOMPARE(changed.count(), 0);
    options.Set(TOption::Beep, false);
    options.Set(TOption::Beep, false);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<TOption>(), TOption::Beep);
    QCOMPARE(changed.at(0).at(1).toBool(), false);
}

void TestHarvestOptions::hostConnectionsKept_data()
{
    QTest::addColumn<QString>("stored");  // empty: no value
    QTest::addColumn<int>("read");
    QTest::newRow("absent: two") << QString() << 2;
    QTest::newRow("one") << QStringLiteral("1") << 1;
    QTest::newRow("eight") << QStringLiteral("8") << 8;
    QTest::newRow("not a choice: two") << QStringLiteral("3") << 2;
    QTest::newRow("mistyped: two") << QStringLiteral("many") << 2;
}

void TestHarvestOptions::hostConnectionsKept()
{
    QFETCH(QString, stored);
    QFETCH(int, read);
    IsolatedSettings isolated;
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(Key, true));
        if (!stored.isEmpty())
            reg.WriteString(QLatin1String(HostConnectionsOption.SettingsName), stored);
        reg.CloseKey();
    }
    THarvestOptions options;
    QSignalSpy changed(&options, &THarvestOptions::HostConnectionsChanged);
    TRegistry reg;
    QVERIFY(reg.OpenKey(Key, true));
    options.ReadApart(reg);
    QCOMPARE(options.HostConnections(), read);
    QCOMPARE(changed.size(), read == 2 ? 0 : 1);
    // Written back as a number.
    options.SetHostConnections(4);
    options.WriteApart(reg);
    QCOMPARE(reg.ReadString(QLatin1String(HostConnectionsOption.SettingsName)), QStringLiteral("4"));
}

QTEST_GUILESS_MAIN(TestHarvestOptions)
#include "test_harvest_options.moc"
