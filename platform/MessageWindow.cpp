#include "platform/MessageWindow.h"

#include "platform/Guarded.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSet>
#include <QTimerEvent>
#include <atomic>
#include <climits>
#include <mutex>
#include <unordered_map>

namespace {

// Both tables are deliberately never freed: look-up workers may still consult them while static
// objects are being destroyed at process end.
struct ClassTable {
    std::mutex Lock;
    QSet<QByteArray> Names;
};
ClassTable& Classes()
{
    static ClassTable* table = new ClassTable;
    return *table;
}

struct WindowTable {
    std::mutex Lock;
    std::unordered_map<quint64, TMessageWindow*> Windows;
};
WindowTable& Windows()
{
    static WindowTable* table = new WindowTable;
    return *table;
}

std::atomic<quint64> NextWindowId{1};

QEvent::Type MessageEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class MessageEvent : public QEvent {
public:
    MessageEvent(unsigned message, uintptr_t wParam, intptr_t lParam, std::function<bool()> prepare)
        : QEvent(MessageEventType()), Message(message), WParam(wParam), LParam(lParam), Prepare(std::move(prepare))
    {
    }
    unsigned Message;
    uintptr_t WParam;
    intptr_t LParam;
    std::function<bool()> Prepare;
};

}  // namespace

bool RegisterWindowClass(const QByteArray& className)
{
    if (className.isEmpty())
        return false;
    std::lock_guard guard(Classes().Lock);
    Classes().Names.insert(className);
    return true;
}

bool IsWindowClassRegistered(const QByteArray& className)
{
    std::lock_guard guard(Classes().Lock);
    return Classes().Names.contains(className);
}

TMessageWindow* TMessageWindow::Create(const QByteArray& className)
{
    if (!IsWindowClassRegistered(className))
        return nullptr;
    return new TMessageWindow(className);
}

TMessageWindow::TMessageWindow(const QByteArray& className) : FClassName(className), FId(NextWindowId.fetch_add(1))
{
    std::lock_guard guard(Windows().Lock);
    Windows().Windows.emplace(FId, this);
}

TMessageWindow::~TMessageWindow()
{
    // Once out of the table no other thread can post here; events already posted are discarded
    // by QObject's destructor.
    std::lock_guard guard(Windows().Lock);
    Windows().Windows.erase(FId);
}

bool TMessageWindow::SetTimer(unsigned id, unsigned milliseconds)
{
    KillTimer(id);
    const int interval = milliseconds > unsigned(INT_MAX) ? INT_MAX : int(milliseconds);
    const int timerId = startTimer(interval, Qt::PreciseTimer);  // never early, like platform timers
    if (timerId == 0)
        return false;
    FTimers.insert(id, timerId);
    return true;
}

bool TMessageWindow::KillTimer(unsigned id)
{
    const auto it = FTimers.find(id);
    if (it == FTimers.end())
        return false;
    killTimer(it.value());
    FTimers.erase(it);
    return true;
}

void TMessageWindow::Deliver(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (!FProcedure)
        return;
    // The window procedure is the outermost frame of a Qt event: nothing may escape it.
    Guarded(lcPlatform(), [&] { FProcedure(message, wParam, lParam); });
}

bool TMessageWindow::event(QEvent* e)
{
    if (e->type() == MessageEventType()) {
        auto* m = static_cast<MessageEvent*>(e);
        bool deliver = true;
        if (m->Prepare) {
            deliver = false;
            Guarded(lcPlatform(), [&] { deliver = m->Prepare(); });
        }
        if (deliver)
            Deliver(m->Message, m->WParam, m->LParam);
        return true;
    }
    if (e->type() == QEvent::Timer) {
        const int timerId = static_cast<QTimerEvent*>(e)->timerId();
        for (auto it = FTimers.cbegin(); it != FTimers.cend(); ++it) {
            if (it.value() == timerId) {
                Deliver(WM_TIMER, it.key(), 0);
                break;
            }
        }
        return true;
    }
    return QObject::event(e);
}

void PostWindowMessage(TMessageWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (window)
        QCoreApplication::postEvent(window, new MessageEvent(message, wParam, lParam, {}));
}

bool PostWindowMessageById(quint64 windowId, unsigned message, uintptr_t wParam, intptr_t lParam,
                           std::function<bool()> prepare)
{
    std::lock_guard guard(Windows().Lock);
    const auto it = Windows().Windows.find(windowId);
    if (it == Windows().Windows.end())
        return false;
    // Posting under the table lock: the window cannot be destroyed meanwhile.
    QCoreApplication::postEvent(it->second, new MessageEvent(message, wParam, lParam, std::move(prepare)));
    return true;
}
