#pragma once
// Runs `action` once, from inside a command that is running (its event processing), as soon as
// `ready` holds.
#include <QObject>
#include <QTimer>
#include <functional>

class WhenReady : public QObject {
public:
    WhenReady(std::function<bool()> ready, std::function<void()> action)
        : FReady(std::move(ready)), FAction(std::move(action))
    {
        FTimer.setInterval(5);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            if (!Done && FReady()) {
                Done = true;
                FTimer.stop();
                FAction();
            }
        });
        FTimer.start();
    }
    bool Done = false;

private:
    std::function<bool()> FReady;
    std::function<void()> FAction;
    QTimer FTimer;
};
