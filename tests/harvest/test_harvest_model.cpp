// A list as data: stable ids through sorting and removals, caption order for equal captions,
// tick boxes, moves of changed captions, and Qt's own model checks on every change.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "core/THarvestModel.h"

namespace {
QList<QByteArray> Addresses(const THarvestModel& model)
{
    QList<QByteArray> list;
    for (int i = 0; i < model.Count(); ++i)
        list << model.Item(i).Address;
    return list;
}
}  // namespace

class TestHarvestModel : public QObject {
    Q_OBJECT
private slots:
    void rowsFollowSortingAndAdding_data();
    void rowsFollowSortingAndAdding();
    void idsStayWithTheirItems();
    void changedAddressMovesWhileSorted_data();
    void changedAddressMovesWhileSorted();
    void tickBoxes_data();
    void tickBoxes();
    void fullAddressesAndColumns();
};

void TestHarvestModel::rowsFollowSortingAndAdding_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<bool>("sortedBefore");  // sorting on before the adds, else after them
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("unsorted keeps the order of adding")
        << QStringList{"c", "a", "b"} << false << QStringList{"a", "b", "c"};
    QTest::newRow("sorted adds go to their place") << QStringList{"c", "a", "b"} << true << QStringList{"a", "b", "c"};
    QTest::newRow("equal captions keep their order")
        << QStringList{"b", "a", "b", "a"} << true << QStringList{"a", "a", "b", "b"};
    QTest::newRow("a prefix comes first") << QStringList{"ab", "a"} << true << QStringList{"a", "ab"};
}

void TestHarvestModel::rowsFollowSortingAndAdding()
{
    QFETCH(QStringList, added);
    QFETCH(bool, sortedBefore);
    QFETCH(QStringList, rows);
    THarvestModel model(1);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetSorted(sortedBefore);
    QList<uint64_t> ids;
    for (const QString& caption : added)
        ids << model.Item(model.Add(caption.toLatin1())).Id;
    if (!sortedBefore) {
        QCOMPARE(Addresses(model).size(), added.size());
        model.SetSorted(true);
    }
    QList<QByteArray> expected;
    for (const QString& caption : rows)
        expected << caption.toLatin1();
    QCOMPARE(Addresses(model), expected);
    // Equal captions keep the order they came in: their ids rise.
    for (int i = 1; i < model.Count(); ++i)
        if (model.Item(i).Address == model.Item(i - 1).Address)
            QVERIFY(model.Item(i).Id > model.Item(i - 1).Id);
}

void TestHarvestModel::idsStayWithTheirItems()
{
    THarvestModel model(3);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const uint64_t c = model.Item(model.Add("http://h/c")).Id;
    const uint64_t a = model.Item(model.Add("http://h/a")).Id;
    const uint64_t b = model.Item(model.Add("http://h/b")).Id;
    QVERIFY(a != b && b != c && a != c);
    QPersistentModelIndex current = model.index(model.RowOf(c), 0);
    model.SetSorted(true);
    QCOMPARE(model.RowOf(a), 0);
    QCOMPARE(model.RowOf(c), 2);
    QCOMPARE(current.row(), 2);  // a view's current item follows the sort
    model.Remove(model.RowOf(a));
    QCOMPARE(model.RowOf(a), -1);
    QCOMPARE(model.RowOf(b, 0), 0);
    QCOMPARE(model.RowOf(c, 0), 1);
    QVERIFY(!model.Contains("http://h/a"));
    QVERIFY(model.Contains("http://h/b"));
    // An id is never given again, not even after the list is emptied.
    model.Clear();
    QCOMPARE(model.Count(), 0);
    QVERIFY(!model.Contains("http://h/b"));
    QVERIFY(model.Item(model.Add("http://h/a")).Id > c);
    QCOMPARE(model.RowOf(0), -1);
}

void TestHarvestModel::changedAddressMovesWhileSorted_data()
{
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QByteArray>("newAddress");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("sorted: down to the end") << true << QByteArray("z") << QStringList{"b", "c", "z"};
    QTest::newRow("sorted: stays") << true << QByteArray("a2") << QStringList{"a2", "b", "c"};
    QTest::newRow("sorted: between") << true << QByteArray("bb") << QStringList{"b", "bb", "c"};
    QTest::newRow("unsorted: in place") << false << QByteArray("z") << QStringList{"z", "b", "c"};
}

void TestHarvestModel::changedAddressMovesWhileSorted()
{
    QFETCH(bool, sorted);
    QFETCH(QByteArray, newAddress);
    QFETCH(QStringList, rows);
    THarvestModel model(1);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetSorted(sorted);
    const uint64_t id = model.Item(model.Add("a")).Id;
    model.Add("b");
    model.Add("c");
    const int row = model.Update(0, [&](THarvestItem& item) {
        item.Address = newAddress;
        item.Id = 999;  // ignored: ids never change
    });
    QCOMPARE(model.Item(row).Id, id);
    QCOMPARE(model.Item(row).Address, newAddress);
    QList<QByteArray> expected;
    for (const QString& caption : rows)
        expected << caption.toLatin1();
    QCOMPARE(Addresses(model), expected);
    QVERIFY(model.Contains(newAddress));
    QVERIFY(!model.Contains("a"));
}

void TestHarvestModel::tickBoxes_data()
{
    QTest::addColumn<int>("stateImage");
    QTest::addColumn<bool>("tick");  // then SetChecked with this
    QTest::addColumn<int>("afterwards");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QVariant>("checkState");
    QTest::newRow("unticked box ticked") << 0 << true << 1 << true << QVariant(int(Qt::Checked));
    QTest::newRow("ticked box unticked") << 1 << false << 0 << false << QVariant(int(Qt::Unchecked));
    QTest::newRow("no box stays without one when ticked") << 3 << true << 3 << true << QVariant();
    QTest::newRow("no box unticked shows the box again") << 3 << false << 0 << false << QVariant(int(Qt::Unchecked));
}

void TestHarvestModel::tickBoxes()
{
    QFETCH(int, stateImage);
    QFETCH(bool, tick);
    QFETCH(int, afterwards);
    QFETCH(bool, checked);
    QFETCH(QVariant, checkState);
    THarvestModel model(3);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.Add("http://h/x.jpg");
    model.SetStateImage(0, stateImage);
    model.SetChecked(0, tick);
    QCOMPARE(model.StateImage(0), afterwards);
    QCOMPARE(model.Checked(0), checked);
    QCOMPARE(model.Item(0).Checked, checked);
    const QVariant shown = model.data(model.index(0, 0), Qt::CheckStateRole);
    QCOMPARE(shown.isValid() ? QVariant(shown.toInt()) : QVariant(), checkState);
    QVERIFY(!model.data(model.index(0, 1), Qt::CheckStateRole).isValid());
}

void TestHarvestModel::fullAddressesAndColumns()
{
    THarvestModel model(3);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Far beyond the 255 characters a list file record keeps, with every byte value.
    QByteArray address = "http://h/" + QByteArray(2000, 'x');
    for (int byte = 128; byte < 256; ++byte)
        address += char(byte);
    const int row = model.Add(address);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.Update(row, [](THarvestItem& item) {
        item.FileName = "x.jpg";
        item.SizeText = "1234";
        item.State = FileFailed;
        item.Reason = QStringLiteral("Not found");
    });
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.data(model.index(row, 0), THarvestModel::AddressRole).toByteArray(), address);
    QCOMPARE(model.data(model.index(row, 0)).toString().toLatin1(), address);
    QCOMPARE(model.data(model.index(row, 1)).toString(), QStringLiteral("x.jpg"));
    QCOMPARE(model.data(model.index(row, 2)).toString(), QStringLiteral("1234"));
    QCOMPARE(model.data(model.index(row, 0), THarvestModel::StateRole).toInt(), int(FileFailed));
    QCOMPARE(model.data(model.index(row, 1), Qt::ToolTipRole).toString(), QStringLiteral("Not found"));
    QCOMPARE(THarvestModel(1).columnCount(), 1);
}

QTEST_GUILESS_MAIN(TestHarvestModel)
#include "test_harvest_model.moc"
