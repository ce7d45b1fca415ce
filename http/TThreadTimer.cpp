#include "http/TThreadTimer.h"

#include "platform/Guarded.h"

#include "http/SockExceptions.h"
#include "platform/ApplicationException.h"
#include "platform/MessageWindow.h"
#include "platform/OwnerLink.h"

namespace {
const QByteArray TimerWindowClass = "TmrWindowClass";
constexpr unsigned TimerId = 1;
}  // namespace

struct TThreadTimer::OwnerLink : TOwnerLink {
    using TOwnerLink::TOwnerLink;
};

TThreadTimer::TThreadTimer(QObject* owner)
{
    if (RegisterWindowClass(TimerWindowClass))
        FWindow = TMessageWindow::Create(TimerWindowClass);
    if (FWindow)
        FWindow->Bind([this](unsigned message, uintptr_t, intptr_t) { WindowProc(message); });
    FOwnerLink = new OwnerLink(owner, [this] { delete this; });
}

TThreadTimer::~TThreadTimer()
{
    delete FOwnerLink;
    FEnabled = false;
    Guarded(lcHttp(), [this] { UpdateTimer(); });
    delete FWindow;
}

void TThreadTimer::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(unsigned value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(std::function<void(TThreadTimer* sender)> handler)
{
    FOnTimer = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer()
{
    if (FWindow)
        FWindow->KillTimer(TimerId);
    if (FInterval != 0 && FEnabled && FOnTimer) {
        if (!FWindow || !FWindow->SetTimer(TimerId, FInterval))
            throw Exception("No Timer");
    }
}

void TThreadTimer::WindowProc(unsigned message)
{
    if (message != WM_TIMER)
        return;  // activation and everything else: nothing to do
    try {
        if (FOnTimer)
            FOnTimer(this);
    } catch (...) {
        HandleApplicationException();
    }
}
