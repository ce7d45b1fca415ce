#pragma once
// Hidden notification "windows": a QObject living in the thread that created it. A posted message
// is a custom event carrying (message number, first parameter, second parameter); the window
// procedure is a function bound to the window and called from event(). Platform timers are
// QObject timers on the window, delivered to the procedure as the timer message.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <cstdint>
#include <functional>

inline constexpr unsigned WM_ACTIVATEAPP = 0x001C;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_USER = 0x0400;

// Registers a window class by name; true when the class is registered (now or already).
// Safe from any thread: components on different threads register on first use.
bool RegisterWindowClass(const QByteArray& className);
bool IsWindowClassRegistered(const QByteArray& className);

class TMessageWindow : public QObject {
public:
    using Procedure = std::function<void(unsigned message, uintptr_t wParam, intptr_t lParam)>;

    // A hidden window of a registered class, living in the calling thread; nullptr when the class
    // is not registered.
    static TMessageWindow* Create(const QByteArray& className);
    ~TMessageWindow() override;

    const QByteArray& ClassName() const { return FClassName; }
    // Process-unique number that other threads use to post to this window while it exists.
    quint64 Id() const { return FId; }

    // Binds the window procedure (the per-window data); unbound windows ignore their messages.
    void Bind(Procedure procedure) { FProcedure = std::move(procedure); }
    void Unbind() { FProcedure = nullptr; }
    bool IsBound() const { return static_cast<bool>(FProcedure); }

    // Platform timers by identifier; false when the thread cannot run timers.
    bool SetTimer(unsigned id, unsigned milliseconds);
    bool KillTimer(unsigned id);

protected:
    bool event(QEvent* e) override;

private:
    explicit TMessageWindow(const QByteArray& className);
    void Deliver(unsigned message, uintptr_t wParam, intptr_t lParam);

    QByteArray FClassName;
    quint64 FId = 0;
    Procedure FProcedure;
    QHash<unsigned, int> FTimers;  // our identifier -> Qt timer id
};

// Posts a message to a window of the calling thread (or of any thread while it surely exists).
void PostWindowMessage(TMessageWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// Posts a message from any thread to the window with the given Id; false (and nothing posted)
// when that window no longer exists. `prepare` runs on the window's thread just before the message
// is handed to the procedure; when it returns false the message is dropped.
bool PostWindowMessageById(quint64 windowId, unsigned message, uintptr_t wParam, intptr_t lParam,
                           std::function<bool()> prepare = {});
