#pragma once
// A timer that delivers its ticks through a hidden window of its own, so it works in whichever
// thread created it (the thread must process its events). Re-armed whenever Enabled, Interval or
// OnTimer changes; ticks repeat every Interval ms until disabled.
#include <functional>

class QObject;
class TMessageWindow;

class TThreadTimer {
public:
    // An owner, when given, destroys the timer with itself (unless the timer went first).
    explicit TThreadTimer(QObject* owner = nullptr);
    ~TThreadTimer();
    TThreadTimer(const TThreadTimer&) = delete;
    TThreadTimer& operator=(const TThreadTimer&) = delete;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    unsigned Interval() const { return FInterval; }
    void SetInterval(unsigned value);
    const std::function<void(TThreadTimer* sender)>& OnTimer() const { return FOnTimer; }
    void SetOnTimer(std::function<void(TThreadTimer* sender)> handler);

private:
    void UpdateTimer();
    void WindowProc(unsigned message);

    bool FEnabled = true;
    unsigned FInterval = 1000;
    std::function<void(TThreadTimer* sender)> FOnTimer;
    TMessageWindow* FWindow = nullptr;
    struct OwnerLink;
    OwnerLink* FOwnerLink = nullptr;
};
