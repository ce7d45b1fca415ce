#pragma once
// Download files without a window: the ticked pending files of a harvest's file list go through
// the transfer queue and an engine (the classic one, or the modern pages engine) into one
// directory, named by the window's rules (the rename rule, or skipped when the file is there; a
// modern item's final name from its answer), with another try for failures that one may mend.
// Each file's end is written into its item; the run reports by signals.
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>

#include "download/TTransferEngine.h"

class THarvestLists;
class TSessionStore;
class TTransferQueue;

struct THarvestDownloadSettings {
    QString Directory;
    bool Modern = false;
    bool SkipExisting = true;  // else a file that is there makes the new one take a free name
    qint64 MinBytes = 0;       // a downloaded file below this is removed and counts as skipped
    int Retries = 0;           // further tries of a file after a failure another try may mend
    int HostConnections = 0;   // transfers to one host at a time; 0: as many as slots
    // The pause after each start; the window's classic pacing unless told otherwise.
    int StartPauseMs = 50;
    // Files in its history are skipped, and downloaded ones are added; null: no history.
    TSessionStore* History = nullptr;
};

class THarvestDownload : public QObject {
    Q_OBJECT
public:
    THarvestDownload(THarvestLists& lists, const THarvestDownloadSettings& settings, QObject* parent = nullptr);
    ~THarvestDownload() override;

    void Start();
    void Stop();
    TTransferQueue& Queue() { return *FQueue; }

    int Downloaded() const { return FDownloaded; }
    int Failed() const { return FFailed; }
    int Skipped() const { return FSkipped; }

    // The request a file is fetched with (the modern option's User-Agent and Referer).
    static TDownloadRequest RequestFor(const THarvestLists& lists, const QByteArray& address, bool modern);

signals:
    // The item has its final state (downloaded, failed or skipped), name, size and reason.
    void FileEnded(uint64_t id);
    // A try failed and the file waits for another; `text` says how long and why.
    void FileWaits(uint64_t id, const QString& text);
    void Finished();

private:
    std::optional<TTransferJob> Prepare(uint64_t id);
    bool Apply(const TDownloadOutcome& outcome);
    void End(int row, int state, const QString& reason);
    bool PathTaken(const QString& path) const;
    void Remember(int row);

    THarvestLists& FLists;
    THarvestDownloadSettings FSettings;
    TTransferEngine* FEngine;
    TTransferQueue* FQueue;
    int FNext = 0;                // the next row the feed looks at
    QSet<QString> FThere;         // modern: paths taken before the run began
    QHash<uint64_t, int> FTries;  // tries that ended waiting for another, by item
    int FDownloaded = 0;
    int FFailed = 0;
    int FSkipped = 0;
};
