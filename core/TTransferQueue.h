#pragma once
// Hands files to up to eight engine slots through a transfer engine. Each slot's state (running,
// item, progress, hint) is data here; the window's bars and lights only show it.
//
// An item that cannot start now (its host has as many transfers running as it may, its host asks
// for no request before a time, or the item itself waits) does not hold up the items behind it.
// One item at a time is taken from the waiting ones and prepared (named, marked) by the queue's
// owner; it starts in the first free slot. After each start the queue pauses before taking the
// next item (50 ms by default, the program's classic pacing).
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

    // ---- Runs ------------------------------------------------------------------------------
    // Starts taking items; the run ends (Drained) when nothing waits, nothing is fed and every
    // slot is free.
    void Run();
    // Nothing more starts: waiting items are dropped, a taken one is given back, and every
    // running job is told to stop; the run ends when their outcomes are in.
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
    };
    void Schedule();  // a pass after the event at hand
    void Pass();
    bool Take();                                // prepares the next item that may start; false when none may
    qint64 ReadyAt(const TEntry& entry) const;  // epoch ms from which the entry may start
    int RunningFor(const QByteArray& host) const;
    void Launch(int slot, TTransferJob job, const QByteArray& host);
    void Offer(const TDownloadOutcome& outcome);
    void EndIfDone();

    TTransferEngine* FEngine;
    std::array<TTransferSlot, SlotCount> FSlots;
    std::list<TEntry> FWaiting;
    std::optional<TEntry> FTaken;
    TTransferJob FTakenJob;
    QHash<QByteArray, qint64> FHostNotBefore;
    int FHostLimit = 0;
    int FStartPause = ClassicStartPause;
    bool FActive = false;
    bool FStopping = false;
    bool FPassDue = false;
    QTimer FPause;  // the pause after a start
    QTimer FWake;   // the earliest waiting time
};
