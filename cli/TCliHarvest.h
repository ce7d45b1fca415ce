#pragma once
// One run of kelvorn-get: gets each page (and the pages it links to, when asked), chooses the
// files, then lists, exports, hands them to aria2 daemons or downloads them.
#include <QObject>
#include <memory>

#include "cli/CliOptions.h"
#include "cli/TCliOutput.h"
#include "core/THarvestLists.h"

class TDocumentFetch;
class THarvestDownload;
class THarvestOptions;
class TSessionStore;

// The exit statuses.
enum : int { ExitAllHome = 0, ExitSomeFailed = 1, ExitUsage = 2 };

class TCliHarvest : public QObject {
    Q_OBJECT
public:
    TCliHarvest(const TCliOptions& options, const THarvestOptions& settings, bool terminal);
    ~TCliHarvest() override;

    // Gets and scans the pages, then does the action; `done` runs with the exit status (at once
    // or, for downloads, when the last one has ended).
    void Run(std::function<void(int status)> done);
    // Ends a running download (an interrupt): nothing more starts, running files end as stopped.
    void Stop();

private:
    void GetPages();
    bool GetPage(const QByteArray& address, const QByteArray& base, int parseMode, int docRow);
    void ChooseFiles();
    QList<int> ChosenRows() const;
    int List();
    int Export();
    int HandToAria2();
    void Download(std::function<void(int status)> done);
    void ReportFile(uint64_t id);
    int Summary(int downloaded, int skipped, int failed);

    TCliOptions FOptions;
    bool FModern;
    bool FOneLevelUp;
    bool FSkipExisting;
    TCliOutput FOut;
    THarvestLists FLists;
    std::unique_ptr<TDocumentFetch> FFetch;
    std::unique_ptr<TSessionStore> FHistory;
    THarvestDownload* FDownload = nullptr;
    int FPageFailures = 0;
};
