#pragma once
// The window's side of the download engines, on the user-interface thread. It owns the eight
// engine slots (bar and light), starts an engine for a file item, and applies each engine's
// reports to its slot and to the item, which it finds by the item's id: the file list may be
// sorted, emptied or reloaded while engines wind down, and nothing waits for them.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <stop_token>

#include "download/DownloadTypes.h"
#include "download/TReportReceiver.h"

class TCheckListView;
class TGauge;
class TLed;

// Writes the finished-file check into a file item: the size, and for a deleted file the failed
// state, "Not available" and "(Deleted)".
void ApplyFileCheck(TCheckListView& files, int index, const TFileCheck& check);

class TDownloadScheduler : public TReportReceiver {
    Q_OBJECT
public:
    static constexpr int SlotCount = 8;
    TDownloadScheduler(TCheckListView* files, const std::array<TGauge*, SlotCount>& gauges,
                       const std::array<TLed*, SlotCount>& leds, QObject* parent = nullptr);
    // Running engines are told to stop; they end by themselves and their reports go nowhere.
    ~TDownloadScheduler() override;

    // Starts an engine for the file item at `index` in the first slot whose light is dark (slot 1
    // first); false when all eight are busy. The slot reads as busy from now on.
    bool Start(const QByteArray& url, const QString& localPath, int index, const TDownloadRequest& request = {});
    // True while an engine started here has not had its outcome applied.
    bool Pending() const;
    // True while a path was handed to an engine whose outcome is not applied yet: its file may
    // not exist yet, but the name is taken.
    bool PathInUse(const QString& path) const;
    // Stop: every running engine cancels within its poll interval; later engines run on.
    void StopEngines();

    // Runs after an engine's outcome was written into its item (its index now).
    std::function<void(int index, const TDownloadOutcome& outcome)> OnItemFinished;

private:
    struct TSlot {
        QPointer<TGauge> Gauge;
        QPointer<TLed> Led;
        bool Running = false;
        uint64_t ItemId = 0;
        int IndexHint = -1;  // where the item was at the start: most often still there
        QString Path;
    };
    void ApplyHint(int slot, const TDownloadHint& hint);
    void ApplyProgress(int slot, int32_t received, int32_t total);
    void ApplyOutcome(const TDownloadOutcome& outcome);
    void ReleaseSlot(int slot);

    QPointer<TCheckListView> FFiles;
    std::array<TSlot, SlotCount> FSlots;
    std::stop_source FStop;
};
