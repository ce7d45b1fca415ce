// The thread timer: ticks in the creating thread, re-arming, the cases that never tick, "No Timer"
// where the thread cannot run timers, and errors of a tick handed to the application handler.
#include "http/TThreadTimer.h"
#include "http/SockExceptions.h"
#include "platform/ApplicationException.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

namespace {
// Lets a few ticks of a witness timer pass: long enough for a timer of the same interval that
// is wrongly still running to show itself, without a fixed sleep.
void LetTicksPass(unsigned interval)
{
    int ticks = 0;
    TThreadTimer witness;
    witness.SetInterval(interval);
    witness.SetOnTimer([&](TThreadTimer*) { ++ticks; });
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 4, 10000);
}
}  // namespace

class TestThreadTimer : public QObject {
    Q_OBJECT

private slots:
    void defaultsAndTicks();
    void neverTicks_data();
    void neverTicks();
    void ticksInCreatingThread();
    void noTimerWithoutEventDispatcher();
    void tickErrorsGoToApplicationHandler();
    void ownerDestroysTimer();
};

void TestThreadTimer::defaultsAndTicks()
{
    TThreadTimer timer;
    QVERIFY(timer.Enabled());
    QCOMPARE(timer.Interval(), 1000u);
    int ticks = 0;
    TThreadTimer* sender = nullptr;
    timer.SetInterval(20);
    timer.SetOnTimer([&](TThreadTimer* s) {
        sender = s;
        ++ticks;
    });
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 10000);  // repeats until disabled
    QCOMPARE(sender, &timer);
    timer.SetEnabled(false);
    const int stopped = ticks;
    LetTicksPass(20);
    QCOMPARE(ticks, stopped);
    // Enabling again re-arms it.
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks > stopped, 10000);
}

void TestThreadTimer::neverTicks_data()
{
    QTest::addColumn<unsigned>("interval");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("handler");
    QTest::newRow("interval 0") << 0u << true << true;
    QTest::newRow("disabled") << 20u << false << true;
    QTest::newRow("no handler") << 20u << true << false;
}

void TestThreadTimer::neverTicks()
{
    QFETCH(unsigned, interval);
    QFETCH(bool, enabled);
    QFETCH(bool, handler);
    int ticks = 0;
    {
        TThreadTimer timer;
        timer.SetEnabled(enabled);
        timer.SetInterval(interval);
        timer.SetOnTimer(handler ? std::function<void(TThreadTimer*)>([&](TThreadTimer*) { ++ticks; }) : nullptr);
        LetTicksPass(20);
        // A handler set afterwards on a timer that is enabled with an interval starts it: the
        // timer was merely idle, not broken.
        if (!handler) {
            timer.SetOnTimer([&](TThreadTimer*) { ++ticks; });
            QTRY_VERIFY_WITH_TIMEOUT(ticks > 0, 10000);
            return;
        }
    }
    QCOMPARE(ticks, 0);
}

void TestThreadTimer::ticksInCreatingThread()
{
    std::atomic<int> ticks{0};
    std::atomic<bool> rightThread{true};
    QThread* worker = QThread::create([&] {
        TThreadTimer timer;
        QThread* self = QThread::currentThread();
        timer.SetInterval(10);
        timer.SetOnTimer([&](TThreadTimer*) {
            if (QThread::currentThread() != self)
                rightThread = false;
            ++ticks;
        });
        QElapsedTimer limit;
        limit.start();
        while (ticks < 3 && limit.elapsed() < 10000) {
            QThread::msleep(2);
            QCoreApplication::processEvents();
        }
    });
    worker->start();
    QVERIFY(worker->wait(20000));
    delete worker;
    QVERIFY(ticks >= 3);
    QVERIFY(rightThread);
}

void TestThreadTimer::noTimerWithoutEventDispatcher()
{
    // A plain thread has no event dispatcher: arming must fail loudly, not stay silent.
    QByteArray message;
    std::thread plain([&] {
        TThreadTimer timer;
        timer.SetInterval(10);
        try {
            timer.SetOnTimer([](TThreadTimer*) {});
        } catch (const Exception& e) {
            message = e.Message;
        }
    });
    plain.join();
    QCOMPARE(message, QByteArray("No Timer"));
}

void TestThreadTimer::tickErrorsGoToApplicationHandler()
{
    QList<QByteArray> handled;
    const auto previous = SetApplicationExceptionHandler([&](const QByteArray& m) { handled << m; });
    {
        TThreadTimer timer;
        timer.SetInterval(10);
        int ticks = 0;
        timer.SetOnTimer([&](TThreadTimer* t) {
            if (++ticks == 2)
                t->SetEnabled(false);
            throw ESockError("tick failed");
        });
        QTRY_COMPARE_WITH_TIMEOUT(handled.size(), 2, 10000);
    }
    SetApplicationExceptionHandler(previous);
    QCOMPARE(handled.first(), QByteArray("tick failed"));
}

void TestThreadTimer::ownerDestroysTimer()
{
    int ticks = 0;
    auto* owner = new QObject;
    auto* timer = new TThreadTimer(owner);
    timer->SetInterval(10);
    timer->SetOnTimer([&](TThreadTimer*) { ++ticks; });
    QTRY_VERIFY_WITH_TIMEOUT(ticks > 0, 10000);
    delete owner;  // takes the timer with it: no further ticks
    const int before = ticks;
    LetTicksPass(10);
    QCOMPARE(ticks, before);
    // A timer destroyed before its owner leaves the owner alone.
    auto* owner2 = new QObject;
    delete new TThreadTimer(owner2);
    delete owner2;
}

QTEST_GUILESS_MAIN(TestThreadTimer)
#include "test_threadtimer.moc"
