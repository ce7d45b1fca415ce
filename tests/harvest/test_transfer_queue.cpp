// The transfer queue against a scripted engine: the order and pacing of starts, eight slots at
// most, items that cannot start yet not holding up the next ones, re-queued items, Stop, and
// outcomes the owner takes later.
#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

#include "FakeEngine.h"
#include "core/TTransferQueue.h"

namespace {
TDownloadOutcome Try(TTryEnd end, int status, const QString& reason, qint64 retryAfterMs = -1, qint64 partBytes = 0)
{
    TDownloadOutcome o;
    o.State = end == TTryEnd::Done ? FileDownloaded : FileFailed;
    o.TryEnd = int(end);
    o.StatusCode = status;
    o.Reason = reason;
    o.RetryAfterMs = retryAfterMs;
    o.PartBytes = partBytes;
    o.Validator = partBytes ? QByteArray("\"v1\"") : QByteArray();
    return o;
}

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
    void retries_data();
    void retries();
    void hostThatAskedToWaitGetsNoRequest();
    void throttledHostGetsOneConnection();
    void stopDuringAWaitEndsAtOnce();
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

void TestTransferQueue::retries_data()
{
    QTest::addColumn<bool>("retries");
    QTest::addColumn<QList<TDownloadOutcome>>("tries");
    QTest::addColumn<int>("starts");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("waits");
    const TDownloadOutcome tooMany = Try(TTryEnd::HttpError, 429, "HTTP 429 Too Many Requests", 200);
    const TDownloadOutcome cut = Try(TTryEnd::Cut, 200, "Connection closed after 5 of 10 bytes", 50, 5);
    const TDownloadOutcome done = Try(TTryEnd::Done, 200, QString());
    QTest::newRow("429 waits as asked, then downloads")
        << true << QList<TDownloadOutcome>{tooMany, done} << 2 << int(FileDownloaded) << QString()
        << QStringList{"Waiting 1 s: HTTP 429 Too Many Requests, try 2 of 5"};
    QTest::newRow("five tries, then the last cause and the count")
        << true << QList<TDownloadOutcome>(5, cut) << 5 << int(FileFailed)
        << QString("Connection closed after 5 of 10 bytes (5 tries)")
        << QStringList{"Waiting 1 s: Connection closed after 5 of 10 bytes, try 2 of 5",
                       "Waiting 1 s: Connection closed after 5 of 10 bytes, try 3 of 5",
                       "Waiting 1 s: Connection closed after 5 of 10 bytes, try 4 of 5",
                       "Waiting 1 s: Connection closed after 5 of 10 bytes, try 5 of 5"};
    QTest::newRow("404 is final at once")
        << true << QList<TDownloadOutcome>{Try(TTryEnd::HttpError, 404, "HTTP 404 Not Found")} << 1 << int(FileFailed)
        << QString("HTTP 404 Not Found") << QStringList{};
    QTest::newRow("retries off: one try as it ended")
        << false << QList<TDownloadOutcome>{tooMany} << 1 << int(FileFailed) << QString("HTTP 429 Too Many Requests")
        << QStringList{};
}

void TestTransferQueue::retries()
{
    QFETCH(bool, retries);
    QFETCH(QList<TDownloadOutcome>, tries);
    QFETCH(int, starts);
    Harness h;
    h.queue.SetStartPause(0);
    h.queue.SetRetries(retries);
    h.queue.Jitter = [] { return 0.0; };
    QStringList waits;
    h.queue.Waits = [&](uint64_t, const QString& text) { waits << text; };
    QList<TDownloadOutcome> applied;
    h.queue.Apply = [&](const TDownloadOutcome& o) {
        applied << o;
        return true;
    };
    h.engine.Tries.insert("http://a/f", tries);
    h.Add("http://a/f");
    h.queue.Run();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.Started.size(), starts);
    QCOMPARE(applied.size(), 1);  // the owner sees the last try only
    QTEST(applied.first().State, "state");
    QTEST(applied.first().Reason, "reason");
    QTEST(waits, "waits");
    for (int i = 1; i < starts; ++i) {
        // A later try waits as long as it was told, and continues from the bytes kept.
        const qint64 asked = tries.at(i - 1).RetryAfterMs;
        QVERIFY(h.engine.StartedAt.at(i) - h.engine.StartedAt.at(i - 1) >= asked);
        QCOMPARE(h.engine.Started.at(i).ResumeFrom, tries.at(i - 1).PartBytes);
        QCOMPARE(h.engine.Started.at(i).Path, h.engine.Started.at(0).Path);
    }
    QCOMPARE(h.prepared, 1);  // named once, for its first try
}

void TestTransferQueue::hostThatAskedToWaitGetsNoRequest()
{
    Harness h;
    h.queue.SetStartPause(0);
    h.queue.SetRetries(true);
    h.queue.SetHostLimit(2);
    constexpr qint64 Wait = 700;
    h.engine.Tries.insert("http://a/1", {Try(TTryEnd::HttpError, 503, "HTTP 503 Service Unavailable", Wait)});
    qint64 refusedAt = 0;
    qint64 clock = 0;  // the queue's time of the refusal
    h.queue.Now = [&] { return clock = QDateTime::currentMSecsSinceEpoch(); };
    qsizetype startsBefore = 0;
    h.queue.Waits = [&](uint64_t, const QString&) {
        refusedAt = clock;
        startsBefore = h.engine.Started.size();
    };
    h.engine.Held << "http://a/2";  // runs while a/1 is refused
    for (const char* address : {"http://a/1", "http://a/2", "http://a/3", "http://a/4", "http://b/1", "http://b/2"})
        h.Add(address);
    h.queue.Run();
    QTRY_VERIFY_WITH_TIMEOUT(refusedAt > 0, 30000);
    // Other hosts go on meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(h.engine.StartedAddresses().contains("http://b/2"), 30000);
    h.engine.Release("http://a/2");
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.Started.size(), 7);
    for (qsizetype i = startsBefore; i < h.engine.Started.size(); ++i) {
        if (!h.engine.Started.at(i).Address.startsWith("http://a/"))
            continue;
        QVERIFY2(h.engine.StartedAt.at(i) >= refusedAt + Wait, h.engine.Started.at(i).Address.constData());
    }
}

void TestTransferQueue::throttledHostGetsOneConnection()
{
    Harness h;
    h.queue.SetStartPause(0);
    h.queue.SetRetries(true);
    h.queue.SetHostLimit(2);
    h.engine.Tries.insert("http://a/1", {Try(TTryEnd::HttpError, 429, "HTTP 429 Too Many Requests", 0)});
    h.engine.Held << "http://a/2"
                  << "http://a/3"
                  << "http://a/4";
    bool throttled = false;
    h.queue.Waits = [&](uint64_t, const QString&) { throttled = true; };
    for (int i = 1; i <= 6; ++i)
        h.Add("http://a/" + QByteArray::number(i));
    h.queue.Run();
    QTRY_VERIFY_WITH_TIMEOUT(throttled, 30000);
    // The pass after the refusal starts nothing: a/2 holds the host's one connection.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(h.engine.StartedAddresses(), (QList<QByteArray>{"http://a/1", "http://a/2"}));
    QCOMPARE(h.RunningSlots(), 1);
    // A good answer gives the host its two connections back.
    h.engine.Release("http://a/2");
    QTRY_COMPARE_WITH_TIMEOUT(h.RunningSlots(), 2, 30000);
    QCOMPARE(h.engine.StartedAddresses().mid(2), (QList<QByteArray>{"http://a/3", "http://a/4"}));
    h.engine.Release("http://a/3");
    h.engine.Release("http://a/4");
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QCOMPARE(h.engine.Started.size(), 7);
}

void TestTransferQueue::stopDuringAWaitEndsAtOnce()
{
    Harness h;
    h.queue.SetStartPause(0);
    h.queue.SetRetries(true);
    h.queue.SetHostLimit(1);
    h.engine.Tries.insert("http://a/1", {Try(TTryEnd::HttpError, 429, "HTTP 429 Too Many Requests", 60000)});
    QList<uint64_t> pendingAgain;
    h.queue.Unprepare = [&](uint64_t id) { pendingAgain << id; };
    bool waiting = false;
    h.queue.Waits = [&](uint64_t, const QString&) { waiting = true; };
    const uint64_t first = h.Add("http://a/1");
    h.Add("http://a/2");
    h.queue.Run();
    QTRY_VERIFY_WITH_TIMEOUT(waiting, 30000);
    QElapsedTimer clock;
    clock.start();
    h.queue.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(h.drained.count(), 1, 30000);
    QVERIFY(clock.elapsed() < 30000);
    QCOMPARE(pendingAgain, QList<uint64_t>{first});
    QCOMPARE(h.engine.Started.size(), 1);  // the host's other file never went
}

QTEST_GUILESS_MAIN(TestTransferQueue)
#include "test_transfer_queue.moc"
