// The transfer queue against a scripted engine: the order and pacing of starts, eight slots at
// most, items that cannot start yet not holding up the next ones, re-queued items, Stop, and
// outcomes the owner takes later.
#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

#include "FakeEngine.h"
#include "core/TTransferQueue.h"

namespace {
QList<QByteArray> Addresses(const QStringList& texts)
{
    QList<QByteArray> list;
    for (const QString& text : texts)
        list << text.toLatin1();
    return list;
}

// A queue whose items are numbered addresses; items are prepared with a path of their own.
struct Harness {
    FakeEngine engine;
    TTransferQueue queue{&engine};
    QSignalSpy drained{&queue, &TTransferQueue::Drained};
    QHash<uint64_t, QByteArray> addresses;
    int prepared = 0;
    uint64_t nextId = 1;

    Harness()
    {
        queue.Prepare = [this](uint64_t id) -> std::optional<TTransferJob> {
            ++prepared;
            TTransferJob job;
            job.Path = QStringLiteral("/dl/") + QString::number(id);
            return job;
        };
    }
    uint64_t Add(const QByteArray& address, qint64 notBefore = 0)
    {
        const uint64_t id = nextId++;
        addresses.insert(id, address);
        queue.Enqueue(id, address, notBefore);
        return id;
    }
    int RunningSlots() const
    {
        int count = 0;
        for (int s = 0; s < TTransferQueue::SlotCount; ++s)
            count += queue.Slot(s).Running ? 1 : 0;
        return count;
    }
};
}  // namespace

class TestTransferQueue : public QObject {
    Q_OBJECT
private slots:
    void startsEveryItemInOrder_data();
    void startsEveryItemInOrder();
    void eightSlotsAtMost();
    void itemThatCannotStartDoesNotHoldUpTheNext_data();
    void itemThatCannotStartDoesNotHoldUpTheNext();
    void requeuedItemRunsAgainLater();
    void stopGivesBackTheTakenItemAndDropsTheRest();
    void outcomeTheOwnerCannotTakeIsOfferedAgain();
    void itemsTheOwnerDealsWithAreLeftOut();
    void feedHandsItemsOverOneAtATime();
    void hostKeys_data();
    void hostKeys();
};

void TestTransferQueue::startsEveryItemInOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pause");
    QTest::newRow("one item, classic pause") << 1 << int(TTransferQueue::ClassicStartPause);
    QTest::newRow("nine items, classic pause") << 9 << int(TTransferQueue::ClassicStartPause);
    QTest::newRow("twenty items, no pause") << 20 << 0;
    QTest::newRow("nothing to do") << 0 << int(TTransferQueue::ClassicStartPause);
}

void TestTransferQueue::startsEveryItemInOrder()
{
    QFETCH(int, count);
    QFETCH(int, pause);
    Harness h;
    h.queue.SetStartPause(pause);
    QList<QByteArray> expected;
    for (int i = 0; i < count; ++i)
        expected << "http://h" + QByteArray::number(i % 3) + "/f" + QByteArray::number(i);
    for (const QByteArray& address : expected)
        h.Add(address);
    QElapsedTimer clock;
    clock.start();
    h.queue.Run();
    QVERIFY(h.queue.Active());
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.StartedAddresses(), expected);
    // The pause follows every start, so n starts take at least n - 1 pauses.
    if (count > 1)
        QVERIFY(clock.elapsed() >= qint64(count - 1) * pause);
    for (const TTransferJob& job : h.engine.Started)
        QCOMPARE(job.Path, QStringLiteral("/dl/") + QString::number(job.ItemId));
    QVERIFY(!h.queue.Active());
    QVERIFY(!h.queue.Running());
}

void TestTransferQueue::eightSlotsAtMost()
{
    Harness h;
    h.queue.SetStartPause(0);
    for (int i = 0; i < 10; ++i) {
        const QByteArray address = "http://h/" + QByteArray::number(i);
        h.engine.Held << address;
        h.Add(address);
    }
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.engine.Started.size(), 8, 30000);
    // The ninth is taken and waits for a slot; the tenth is not looked at yet.
    QTRY_COMPARE_WITH_TIMEOUT(h.prepared, 9, 30000);
    QCOMPARE(h.RunningSlots(), 8);
    QVERIFY(h.queue.PathInUse(QStringLiteral("/dl/1")));
    QVERIFY(!h.queue.PathInUse(QStringLiteral("/dl/9")));
    const int slotOfThird = h.engine.Started.at(2).Slot;
    h.engine.Release("http://h/2");
    QTRY_COMPARE_WITH_TIMEOUT(h.engine.Started.size(), 9, 30000);
    QCOMPARE(h.engine.Started.at(8).Address, QByteArray("http://h/8"));
    QCOMPARE(h.engine.Started.at(8).Slot, slotOfThird);
    QCOMPARE(h.RunningSlots(), 8);
    for (const QByteArray& address : QSet<QByteArray>(h.engine.Held))
        h.engine.Release(address);
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.Started.size(), 10);
}

void TestTransferQueue::itemThatCannotStartDoesNotHoldUpTheNext_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("held");  // their jobs run until every first start is in
    QTest::addColumn<int>("hostLimit");
    QTest::addColumn<int>("itemWait");             // ms the first item waits; 0 none
    QTest::addColumn<int>("hostWait");             // ms host a waits; 0 none
    QTest::addColumn<QStringList>("firstStarts");  // before anything is released or due
    QTest::addColumn<QStringList>("allStarts");
    const QStringList abc{"http://a/1", "http://a/2", "http://b/1"};
    QTest::newRow("no limit: all at once") << abc << QStringList{"http://a/1"} << 0 << 0 << 0 << abc << abc;
    QTest::newRow("host at its limit") << abc << QStringList{"http://a/1"} << 1 << 0 << 0
                                       << QStringList{"http://a/1", "http://b/1"}
                                       << QStringList{"http://a/1", "http://b/1", "http://a/2"};
    QTest::newRow("limit two lets two of a host run")
        << abc << QStringList{"http://a/1", "http://a/2"} << 2 << 0 << 0 << abc << abc;
    QTest::newRow("item waits for its time")
        << abc << QStringList{} << 0 << 1500 << 0 << QStringList{"http://a/2", "http://b/1"}
        << QStringList{"http://a/2", "http://b/1", "http://a/1"};
    QTest::newRow("host waits for its time") << abc << QStringList{} << 0 << 0 << 1500 << QStringList{"http://b/1"}
                                             << QStringList{"http://b/1", "http://a/1", "http://a/2"};
}

void TestTransferQueue::itemThatCannotStartDoesNotHoldUpTheNext()
{
    QFETCH(QStringList, items);
    QFETCH(QStringList, held);
    QFETCH(int, hostLimit);
    QFETCH(int, itemWait);
    QFETCH(int, hostWait);
    QFETCH(QStringList, firstStarts);
    QFETCH(QStringList, allStarts);
    Harness h;
    h.queue.SetStartPause(0);
    h.queue.SetHostLimit(hostLimit);
    for (const QByteArray& address : Addresses(held))
        h.engine.Held << address;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (hostWait)
        h.queue.SetHostNotBefore(TransferHostKey("http://a/"), now + hostWait);
    for (int i = 0; i < items.size(); ++i)
        h.Add(items[i].toLatin1(), i == 0 && itemWait ? now + itemWait : 0);
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.engine.StartedAddresses(), Addresses(firstStarts), 30000);
    QCOMPARE(h.drained.count(), 0);
    for (const QByteArray& address : Addresses(held))
        h.engine.Release(address);
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.StartedAddresses(), Addresses(allStarts));
    if (itemWait || hostWait)
        QVERIFY(QDateTime::currentMSecsSinceEpoch() >= now + itemWait + hostWait);
}

void TestTransferQueue::requeuedItemRunsAgainLater()
{
    Harness h;
    h.engine.Outcome.insert("http://a/flaky", FileFailed);
    int tries = 0;
    qint64 again = 0;
    h.queue.Apply = [&](const TDownloadOutcome& outcome) {
        if (outcome.State == FileFailed && ++tries < 3) {
            again = QDateTime::currentMSecsSinceEpoch() + 100;
            h.queue.Enqueue(outcome.ItemId, h.addresses.value(outcome.ItemId), again);
        }
        return true;
    };
    h.Add("http://a/flaky");
    h.Add("http://a/fine");
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.StartedAddresses(),
             (QList<QByteArray>{"http://a/flaky", "http://a/fine", "http://a/flaky", "http://a/flaky"}));
    QCOMPARE(tries, 3);
    QVERIFY(QDateTime::currentMSecsSinceEpoch() >= again);
}

void TestTransferQueue::stopGivesBackTheTakenItemAndDropsTheRest()
{
    Harness h;
    h.queue.SetStartPause(0);
    QList<uint64_t> givenBack;
    h.queue.Unprepare = [&](uint64_t id) { givenBack << id; };
    for (int i = 0; i < 12; ++i) {
        const QByteArray address = "http://h/" + QByteArray::number(i);
        h.engine.Held << address;
        h.Add(address);
    }
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.prepared, 9, 30000);
    h.queue.Stop();
    QCOMPARE(givenBack, QList<uint64_t>{9});
    QCOMPARE(h.engine.Stops, 1);
    QCOMPARE(h.queue.Waiting(), 0);
    QVERIFY(h.queue.Active());  // until the stopped jobs report
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.Started.size(), 8);
    QCOMPARE(h.RunningSlots(), 0);

    // A new run starts afresh.
    h.engine.Held.clear();
    h.Add("http://h/again");
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 2, 30000);
    QCOMPARE(h.engine.Started.last().Address, QByteArray("http://h/again"));
}

void TestTransferQueue::outcomeTheOwnerCannotTakeIsOfferedAgain()
{
    Harness h;
    QList<int> runningAtOffer;
    QList<qint64> receivedAtOffer;
    h.queue.Apply = [&](const TDownloadOutcome& outcome) {
        runningAtOffer << h.RunningSlots();
        receivedAtOffer << h.queue.Slot(outcome.Slot).Received;
        return runningAtOffer.size() >= 3;
    };
    h.Add("http://a/1");
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    // Refused twice: the slot ran on, with its progress, until the third offer was taken.
    QCOMPARE(runningAtOffer, (QList<int>{1, 1, 1}));
    QCOMPARE(receivedAtOffer, (QList<qint64>{10, 10, 10}));
    QCOMPARE(h.RunningSlots(), 0);
}

void TestTransferQueue::itemsTheOwnerDealsWithAreLeftOut()
{
    Harness h;
    h.queue.Prepare = [&](uint64_t id) -> std::optional<TTransferJob> {
        ++h.prepared;
        if (id % 2 == 0)
            return std::nullopt;  // skipped
        return TTransferJob{};
    };
    for (int i = 1; i <= 6; ++i)
        h.Add("http://h/" + QByteArray::number(i));
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.prepared, 6);
    QCOMPARE(h.engine.StartedAddresses(), (QList<QByteArray>{"http://h/1", "http://h/3", "http://h/5"}));
    // A job without an address from the owner gets the queued one.
    QCOMPARE(h.engine.Started.at(1).ItemId, uint64_t(3));
}

void TestTransferQueue::feedHandsItemsOverOneAtATime()
{
    Harness h;
    h.queue.SetStartPause(0);
    QList<QByteArray> source{"http://h/1", "http://h/2", "http://h/3"};
    int feeds = 0;
    QList<int> waitingWhenFed;
    h.queue.Feed = [&] {
        ++feeds;
        waitingWhenFed << h.queue.Waiting();
        if (source.isEmpty())
            return false;
        h.Add(source.takeFirst());
        return true;
    };
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.StartedAddresses(), (QList<QByteArray>{"http://h/1", "http://h/2", "http://h/3"}));
    // Asked only when nothing waits; once it has nothing more, every later pass asks again.
    QVERIFY(feeds >= 4);
    QCOMPARE(waitingWhenFed, QList<int>(feeds, 0));
}

void TestTransferQueue::hostKeys_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("path dropped") << QByteArray("http://Host.Example/a/b.jpg") << QByteArray("http://host.example");
    QTest::newRow("port kept") << QByteArray("http://h:8080/x") << QByteArray("http://h:8080");
    QTest::newRow("scheme kept") << QByteArray("https://h/x") << QByteArray("https://h");
    QTest::newRow("no path") << QByteArray("http://h") << QByteArray("http://h");
}

void TestTransferQueue::hostKeys()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, key);
    QCOMPARE(TransferHostKey(address), key);
}

QTEST_GUILESS_MAIN(TestTransferQueue)
#include "test_transfer_queue.moc"
