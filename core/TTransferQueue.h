#pragma once
// Hands files to up to eight engine slots through a transfer engine. Each slot's state (running,
// item, progress, hint) is data here; the window's bars and lights only show it.
//
// An item that cannot start now (its host has as many transfers running as it may, its host asks
// for no request before a time, or the item itself waits) does not hold up the items behind it.
// One item at a time is taken from the waiting ones and prepared (named, marked) by the queue's
// owner; it starts in the first free slot. After each start the queue pauses before taking the
// next item (50 ms by default, the program's classic pacing).
//
// With retries on (the modern engine), a try that another try may mend puts its item back to wait
// (backoff, or the server's Retry-After), up to five tries in all; a host that asked to wait gets
// no request at all until then, and one that throttles gets one connection until it answers well.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>

#include "core/TRetryPolicy.h"
#include "download/TTransferEngine.h"

// One engine slot, as the window's bar and light show it.
struct TTransferSlot {
    bool Running = false;
    uint64_t ItemId = 0;
    QByteArray Host;
    QString Path;
    QString Hint;
    qint64 Received = 0;
    qint64 Total = 0;  // as the engine announced it; 0 when no length was announced
    int Reports = 0;   // progress reports so far, so that a view shows each one once
};

// The key that per-host limits count by: scheme, host and port of the address, lower case.
QByteArray TransferHostKey(const QByteArray& address);

class TTransferQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int SlotCount = 8;
    static constexpr int ClassicStartPause = 50;  // ms after each engine start

    explicit TTransferQueue(TTransferEngine* engine, QObject* parent = nullptr);

    // ---- What the owner decides ------------------------------------------------------------
    // Asked when no waiting item may start: adds the next item(s) with Enqueue and returns true,
    // or returns false when it has none. Lets the owner hand items over one at a time.
    std::function<bool()> Feed;
    // Asked when an item is taken: the job to start it with, or nothing when the owner dealt with
    // the item itself (skipped, failed) and the queue goes on with the next one.
    std::function<std::optional<TTransferJob>(uint64_t itemId)> Prepare;
    // A taken item that a Stop caught before it started: the owner makes it pending again.
    std::function<void(uint64_t itemId)> Unprepare;
    // An engine's outcome, while its slot is still running. Returns false when the owner cannot
    // take it now; it is offered again shortly, the slot still running.
    std::function<bool(const TDownloadOutcome& outcome)> Apply;
    // The clock (epoch milliseconds) for the waiting times; tests replace it.
    std::function<qint64()> Now;
    // With retries on: an item waits for its next try; `text` says for what and how long.
    std::function<void(uint64_t itemId, const QString& text)> Waits;
    // With retries on: the spread of the waits, in [0, 1); tests replace it.
    std::function<double()> Jitter;

    // ---- Waiting items ---------------------------------------------------------------------
    // Adds an item behind the others; it starts no earlier than `notBeforeMs` (0: at once).
    void Enqueue(uint64_t itemId, const QByteArray& address, qint64 notBeforeMs = 0);
    int Waiting() const { return int(FWaiting.size()); }
    // Starts a job at once in the first free slot, past the waiting items; false when all eight
    // run.
    bool StartNow(const TTransferJob& job);

    // ---- Limits (0 / none by default: the classic behaviour) ---------------------------------
    void SetHostLimit(int transfers) { FHostLimit = transfers; }
    // No request to `host` (a TransferHostKey) starts before `epochMs`.
    void SetHostNotBefore(const QByteArray& host, qint64 epochMs);
    void SetStartPause(int ms) { FStartPause = ms; }
    // Retries and the hosts' manners, up to `maxTries` tries of an item in all; off: one try per
    // item, whatever it ends with.
    void SetRetries(bool on, int maxTries = MaxTries)
    {
        FRetries = on;
        FMaxTries = maxTries;
    }
    // Jobs go to `engine` from now on; only while no slot runs.
    void SetEngine(TTransferEngine* engine);
    TTransferEngine* Engine() const { return FEngine; }

    // ---- Runs ------------------------------------------------------------------------------
    // Starts taking items; the run ends (Drained) when nothing waits, nothing is fed and every
    // slot is free.
    void Run();
    // Nothing more starts: waiting items are dropped, a taken one and those waiting for another
    // try are given back, and every running job is told to stop; the run ends when their
    // outcomes are in.
    void Stop();
    bool Active() const { return FActive; }
    bool Running() const;  // a slot is running
    bool PathInUse(const QString& path) const;
    const TTransferSlot& Slot(int slot) const { return FSlots[std::size_t(slot)]; }

signals:
    void SlotChanged(int slot);
    void Drained();

private:
    struct TEntry {
        uint64_t ItemId = 0;
        QByteArray Address;
        QByteArray Host;
        qint64 NotBefore = 0;
        int Tries = 0;                     // tries done
        std::optional<TTransferJob> Next;  // the next try's job, for an item tried before
    };
    // What a running slot was started with, for a later try.
    struct TRun {
        TTransferJob Job;
        int Tries = 0;  // this one included
    };
    void Schedule();  // a pass after the event at hand
    void Pass();
    bool Take();                                // prepares the next item that may start; false when none may
    qint64 ReadyAt(const TEntry& entry) const;  // epoch ms from which the entry may start
    int RunningFor(const QByteArray& host) const;
    void Launch(int slot, TTransferJob job, const QByteArray& host, int tries = 1);
    void Offer(const TDownloadOutcome& outcome);
    // True when the outcome put its item back to wait for another try.
    bool Retried(TDownloadOutcome& outcome);
    void Deliver(const TDownloadOutcome& outcome);
    int HostLimit(const QByteArray& host) const;
    void EndIfDone();

    TTransferEngine* FEngine = nullptr;
    std::array<TTransferSlot, SlotCount> FSlots;
    std::array<TRun, SlotCount> FRuns;
    std::list<TEntry> FWaiting;
    std::optional<TEntry> FTaken;
    TTransferJob FTakenJob;
    QHash<QByteArray, qint64> FHostNotBefore;
    int FHostLimit = 0;
    bool FRetries = false;
    int FMaxTries = MaxTries;
    THostManners FManners;
    int FStartPause = ClassicStartPause;
    bool FActive = false;
    bool FStopping = false;
    bool FPassDue = false;
    QTimer FPause;  // the pause after a start
    QTimer FWake;   // the earliest waiting time
};
