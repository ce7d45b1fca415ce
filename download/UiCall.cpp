#include "download/UiCall.h"

#include <QCoreApplication>
#include <QThread>

// Qt is not built with ThreadSanitizer, so the sanitizer cannot see the hand-over that Qt's
// queued calls make between threads. We tell it: the sender releases the parcel before posting
// and the receiver acquires it on arrival; Qt's own bookkeeping of the call is not tracked.
#if defined(__SANITIZE_THREAD__)
extern "C" {
void __tsan_acquire(void* addr);
void __tsan_release(void* addr);
void __tsan_ignore_thread_begin();
void __tsan_ignore_thread_end();
}
#define KELVORN_TSAN_ACQUIRE(p) __tsan_acquire(p)
#define KELVORN_TSAN_RELEASE(p) __tsan_release(p)
#define KELVORN_TSAN_IGNORE_BEGIN() __tsan_ignore_thread_begin()
#define KELVORN_TSAN_IGNORE_END() __tsan_ignore_thread_end()
#else
#define KELVORN_TSAN_ACQUIRE(p) (void)(p)
#define KELVORN_TSAN_RELEASE(p) (void)(p)
#define KELVORN_TSAN_IGNORE_BEGIN() (void)0
#define KELVORN_TSAN_IGNORE_END() (void)0
#endif

namespace {
using Parcel = std::function<void()>;

void Run(Parcel* parcel)
{
    try {
        (*parcel)();
    } catch (...) {
        // Nothing may leave a call that Qt delivers.
    }
}

Parcel* Unwrap(Parcel* const& captured)
{
    KELVORN_TSAN_IGNORE_BEGIN();
    Parcel* parcel = captured;
    KELVORN_TSAN_IGNORE_END();
    KELVORN_TSAN_ACQUIRE(parcel);
    return parcel;
}
}  // namespace

void PostToUi(std::function<void()> change)
{
    auto* parcel = new Parcel(std::move(change));
    KELVORN_TSAN_RELEASE(parcel);
    KELVORN_TSAN_IGNORE_BEGIN();
    QMetaObject::invokeMethod(
        qApp,
        [parcel] {
            Parcel* p = Unwrap(parcel);
            Run(p);
            delete p;
        },
        Qt::QueuedConnection);
    KELVORN_TSAN_IGNORE_END();
}

void WaitOnUi(std::function<void()> change)
{
    if (QThread::currentThread() == qApp->thread()) {
        Run(&change);
        return;
    }
    Parcel* parcel = &change;
    KELVORN_TSAN_RELEASE(parcel);
    KELVORN_TSAN_IGNORE_BEGIN();
    QMetaObject::invokeMethod(
        qApp,
        [parcel] {
            Parcel* p = Unwrap(parcel);
            Run(p);
            KELVORN_TSAN_RELEASE(p);
        },
        Qt::BlockingQueuedConnection);
    KELVORN_TSAN_IGNORE_END();
    KELVORN_TSAN_ACQUIRE(parcel);
}
