#pragma once
// The window's side of the transfer queue, on the user-interface thread: the eight bars and
// lights show the queue's slots, and each engine's outcome is written into its file item, found
// by the item's id: the file list may be sorted, emptied or reloaded while engines wind down,
// and nothing waits for them.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <array>
#include <functional>

#include "download/DownloadTypes.h"

class TCheckListView;
class TGauge;
class TLed;
class TClassicEngine;
class TCurlEngine;
class TTransferQueue;

// Writes the finished-file check into a file item: the size, and for a deleted file the failed
// state, "Not available" and "(Deleted)".
void ApplyFileCheck(TCheckListView& files, int index, const TFileCheck& check);

// What the file list does not show of a file's transfers, kept for the session.
struct TTransferFacts {
    QByteArray ContentType;    // of the last answer
    qint64 BytesReceived = 0;  // the file's bytes on disk after the last try (its part file's, when cut)
    qint64 BytesTotal = -1;    // as the server announced it; -1 unknown
    int Tries = 0;
};

class TDownloadScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int SlotCount = 8;
    TDownloadScheduler(TCheckListView* files, const std::array<TGauge*, SlotCount>& gauges,
                       const std::array<TLed*, SlotCount>& leds, QObject* parent = nullptr);
    // Running engines are told to stop; they end by themselves and their reports go nowhere.
    ~TDownloadScheduler() override;

    TTransferQueue& Queue() { return *FQueue; }
    // The engine the next run uses: the program's own HTTP/1.0 engine with its pause after each
    // start, or (modern) the curl engine with retries and at most `hostConnections` per host.
    // Kept as it is while a slot runs.
    void UseEngine(bool modern, int hostConnections);
    // An item that waited for another try is pending again: its row no longer says it waits.
    void ForgetWaiting(uint64_t itemId);
    // Starts an engine for the file item at `index` in the first free slot (slot 1 first); false
    // when all eight are busy.
    bool Start(const QByteArray& url, const QString& localPath, int index, const TDownloadRequest& request = {});
    // True while an engine started here has not had its outcome applied.
    bool Pending() const;
    // True while a path was handed to an engine whose outcome is not applied yet: its file may
    // not exist yet, but the name is taken.
    bool PathInUse(const QString& path) const;
    // Stop: nothing more starts, and every running engine cancels within its poll interval.
    void StopEngines();

    // The facts of a file item's transfers so far; null before its first try ended.
    const TTransferFacts* Facts(uint64_t itemId) const;
    // Facts of an item that come from elsewhere (a session brought back).
    void SetFacts(uint64_t itemId, const TTransferFacts& facts) { FFacts.insert(itemId, facts); }

    // Runs after an engine's outcome was written into its item (its index now).
    std::function<void(int index, const TDownloadOutcome& outcome)> OnItemFinished;

private:
    void ShowSlot(int slot);
    bool ApplyOutcome(const TDownloadOutcome& outcome);  // false while the list is locked
    void ShowWaiting(uint64_t itemId, const QString& text);

    QPointer<TCheckListView> FFiles;
    std::array<QPointer<TGauge>, SlotCount> FGauges;
    std::array<QPointer<TLed>, SlotCount> FLeds;
    std::array<QString, SlotCount> FShownHint;
    std::array<int, SlotCount> FShownReports{};
    TClassicEngine* FClassic;
    TCurlEngine* FCurl = nullptr;
    int FCurlHostConnections = 0;
    QSet<uint64_t> FWaitingShown;  // items whose row says what they wait for
    QHash<uint64_t, TTransferFacts> FFacts;
    TTransferQueue* FQueue;
};
