#pragma once
// Gives the window a turn (processes its pending events) during a long loop, paced by time
// rather than by iteration: a turn per item would cost more than the items, and a fixed interval
// would make a loop quadratic, since each turn lays out lists that keep growing. A turn is due
// no sooner than `minimumNs` after the last one, and no sooner than `costFactor` times what the
// last turn took, so turns take at most 1 / (costFactor + 1) of the loop's time. A `maximumNs`
// (0: none) bounds how long the window may wait for its turn, for loops that must stay as
// responsive as a screen refresh even where turns are dear: it wins over the cost factor.
#include <QElapsedTimer>
#include <QtGlobal>
#include <algorithm>
#include <functional>
#include <utility>

class TEventPacer {
public:
    enum class First { Now, AfterMinimum };

    TEventPacer(qint64 minimumNs, qint64 costFactor, std::function<void()> turn, First first = First::Now,
                qint64 maximumNs = 0)
        : FMinimumNs(minimumNs), FMaximumNs(maximumNs), FCostFactor(costFactor), FTurn(std::move(turn))
    {
        FClock.start();
        FDueNs = first == First::Now ? 0 : FMinimumNs;
    }

    // A turn at once, whatever the pace.
    void Turn()
    {
        const qint64 start = FClock.nsecsElapsed();
        FTurn();
        const qint64 end = FClock.nsecsElapsed();
        qint64 pause = std::max(FMinimumNs, FCostFactor * (end - start));
        if (FMaximumNs > 0)
            pause = std::min(pause, std::max(FMinimumNs, FMaximumNs));
        FDueNs = end + pause;
    }
    // A turn when one is due.
    void MaybeTurn()
    {
        if (FClock.nsecsElapsed() >= FDueNs)
            Turn();
    }

private:
    const qint64 FMinimumNs;
    const qint64 FMaximumNs;
    const qint64 FCostFactor;
    std::function<void()> FTurn;
    QElapsedTimer FClock;
    qint64 FDueNs = 0;
};
