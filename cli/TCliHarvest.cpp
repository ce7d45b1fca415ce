#include "cli/TCliHarvest.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

#include "core/HarvestOptions.h"
#include "core/TAria2Client.h"
#include "core/TDocumentFetch.h"
#include "core/THarvestDownload.h"
#include "core/TSessionStore.h"
#include "core/TTransferQueue.h"
#include "rules/FileChoice.h"
#include "rules/FileNaming.h"
#include "rules/ListExchange.h"
#include "rules/ListStates.h"
#include "rules/ModernNaming.h"
#include "rules/ReferrerPolicy.h"
#include "rules/RetrievalRules.h"
#include "rules/TransferRules.h"
#include "rules/ScanLimits.h"

namespace {
// How often a terminal's live lines are redrawn, and how often --wait asks the daemons.
constexpr int SlotRedrawMs = 200;
constexpr int Aria2PollMs = 500;

QString Text(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

QString StateName(int state)
{
    switch (state) {
    case FileDownloaded: return QStringLiteral("downloaded");
    case FileSkipped: return QStringLiteral("skipped");
    case FileFailed: return QStringLiteral("failed");
    }
    return QStringLiteral("pending");
}

THarvestListRules ListRulesFor(bool modern, const THarvestOptions& settings)
{
    THarvestListRules rules;
    rules.Modern = modern;
    rules.IncludeEmbedded = settings.Get(TOption::IncludeEmbedded);
    rules.AddLinks = settings.Get(TOption::AddLinks);
    return rules;
}
}  // namespace

TCliHarvest::TCliHarvest(const TCliOptions& options, const THarvestOptions& settings, bool terminal)
    : FOptions(options), FModern(options.Modern.value_or(settings.Get(TOption::ModernLinks))),
      FOneLevelUp(options.OneLevelUp.value_or(settings.Get(TOption::ParseOneLevelUp))),
      FSkipExisting(options.SkipExisting.value_or(settings.Get(TOption::SkipFile))), FOut(options.Json, terminal),
      FLists(ListRulesFor(FModern, settings)), FFetch(std::make_unique<TDocumentFetch>())
{
    // The window's "Connections per host (modern pages)" unless the command line says otherwise.
    if (FOptions.HostConnections == 0)
        FOptions.HostConnections = settings.HostConnections();
    if (FOptions.Directory.isEmpty())
        FOptions.Directory = QDir::currentPath();
    FOptions.Directory = QDir(FOptions.Directory).absolutePath();
}

TCliHarvest::~TCliHarvest() = default;

void TCliHarvest::Stop()
{
    FFetch->Stop();
    if (FDownload)
        FDownload->Stop();
}

void TCliHarvest::Run(std::function<void(int status)> done)
{
    GetPages();
    ChooseFiles();
    switch (FOptions.Action) {
    case TCliAction::List: done(List()); return;
    case TCliAction::Export: done(Export()); return;
    case TCliAction::Aria2: done(HandToAria2()); return;
    default: Download(std::move(done)); return;
    }
}

// ---- Pages ----------------------------------------------------------------------------------------

bool TCliHarvest::GetPage(const QByteArray& address, const QByteArray& base, int parseMode, int docRow)
{
    TDocumentRequest request;
    if (FModern) {
        request.UserAgent = ModernUserAgent();
        request.Referer = ReferrerFor(FLists.FoundOn(address), address);
        request.TimeLimitMs = FetchTimeLimitSeconds * 1000;
    }
    const TFetchedDocument page = FFetch->Get(address, request);
    THarvestModel& docs = FLists.Documents();
    if (!page.Ok) {
        FOut.Error(QStringLiteral("%1: %2").arg(Text(address), page.Reason));
        if (docRow >= 0)
            docs.Update(docRow, [&](THarvestItem& item) {
                item.State = DocFailed;
                item.Reason = page.Reason;
            });
        return false;
    }
    if (const QString limit = FLists.Scan(base, page.Body, parseMode, page.Url); !limit.isEmpty())
        FOut.Error(QStringLiteral("%1: %2").arg(Text(address), limit));
    if (docRow >= 0)
        docs.Update(docRow, [](THarvestItem& item) { item.State = DocParsed; });
    return true;
}

void TCliHarvest::GetPages()
{
    THarvestModel& docs = FLists.Documents();
    for (const QString& url : FOptions.Urls) {
        const QByteArray address = url.toUtf8();
        const int known = int(FLists.ParseList().size());
        if (!GetPage(address, DocumentDirectory(address), ParseMain, -1)) {
            ++FPageFailures;
            continue;
        }
        // The main document's page links become document items; one level up fetches and scans
        // each of them as it is listed.
        const QList<QByteArray> links = FLists.ParseList().mid(known);
        for (const QByteArray& link : links) {
            if (docs.Contains(link))
                continue;
            const int row = docs.Add(link);
            docs.Update(row, [](THarvestItem& item) { item.State = DocPending; });
            if (FOneLevelUp)
                GetPage(link, DocumentDirectory(link), ParseLinked, row);
        }
    }
    if (FOptions.ParseLinks) {
        // Items the pass itself appends wait for another pass, as in the window.
        const int count = docs.Count();
        for (int row = 0; row < count; ++row)
            if (docs.Item(row).State == DocPending)
                GetPage(docs.Item(row).Address, ParseBaseDirectory(docs.Item(row).Address), ParseLinked, row);
    }
}

// ---- Choosing -------------------------------------------------------------------------------------

void TCliHarvest::ChooseFiles()
{
    THarvestModel& files = FLists.Files();
    QList<QByteArray> addresses;
    QList<TPictureFacts> facts;
    for (int i = 0; i < files.Count(); ++i) {
        addresses.append(files.Item(i).Address);
        facts.append(FLists.FactsOf(addresses.back()));
    }
    const std::vector<bool> largest =
        FOptions.LargestOnly ? LargestCopies(addresses, facts) : std::vector<bool>(size_t(addresses.size()), true);
    TFileFilter filter;
    filter.kinds = FOptions.Kinds;
    filter.minWidth = FOptions.MinWidth;
    filter.minHeight = FOptions.MinHeight;
    filter.host = FOptions.Host.toUtf8();
    const TNamePattern pattern(FOptions.Select);
    for (int i = 0; i < files.Count(); ++i) {
        const THarvestItem& item = files.Item(i);
        const bool chosen = largest[size_t(i)] && PassesFilter(filter, ListedFileFacts(item.Address, facts[i]))
            && (FOptions.Select.isEmpty() || pattern.Matches(item.Address, item.FileName));
        files.SetChecked(i, chosen);
    }
}

QList<int> TCliHarvest::ChosenRows() const
{
    QList<int> rows;
    for (int i = 0; i < FLists.Files().Count(); ++i)
        if (FLists.Files().Checked(i))
            rows.append(i);
    return rows;
}

// ---- Actions --------------------------------------------------------------------------------------

int TCliHarvest::List()
{
    THarvestModel& docs = FLists.Documents();
    THarvestModel& files = FLists.Files();
    if (FOut.Json()) {
        for (int i = 0; i < docs.Count(); ++i) {
            const THarvestItem& item = docs.Item(i);
            QJsonObject object{{QStringLiteral("kind"), QStringLiteral("document")},
                               {QStringLiteral("address"), Text(item.Address)}};
            if (item.State == DocFailed)
                object.insert(QStringLiteral("reason"), item.Reason);
            FOut.Object(object);
        }
    }
    for (const int row : ChosenRows()) {
        const THarvestItem& item = files.Item(row);
        if (!FOut.Json()) {
            FOut.Line(Text(item.Address));
            continue;
        }
        const TFileFacts facts = ListedFileFacts(item.Address, FLists.FactsOf(item.Address));
        QJsonObject object{{QStringLiteral("kind"), QStringLiteral("file")},
                           {QStringLiteral("address"), Text(item.Address)},
                           {QStringLiteral("name"), Text(item.FileName)}};
        if (const QByteArray page = FLists.FoundOn(item.Address); !page.isEmpty())
            object.insert(QStringLiteral("referrer"), Text(page));
        if (facts.width > 0)
            object.insert(QStringLiteral("width"), facts.width);
        if (facts.height > 0)
            object.insert(QStringLiteral("height"), facts.height);
        FOut.Object(object);
    }
    return FPageFailures > 0 ? ExitSomeFailed : ExitAllHome;
}

int TCliHarvest::Export()
{
    QList<TExchangeEntry> entries;
    const THarvestModel& files = FLists.Files();
    for (const int row : ChosenRows()) {
        const THarvestItem& item = files.Item(row);
        entries.append({item.Address, item.FileName, ReferrerFor(FLists.FoundOn(item.Address), item.Address)});
    }
    const TListFormat format =
        FOptions.ExportFormat == TExportFormat::Aria2 ? TListFormat::Aria2Input : TListFormat::PlainText;
    QFile file(FOptions.ExportFile);
    const QByteArray bytes = WriteListExchange(format, entries);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        FOut.Error(QStringLiteral("%1: %2").arg(FOptions.ExportFile, file.errorString()));
        return ExitSomeFailed;
    }
    return FPageFailures > 0 ? ExitSomeFailed : ExitAllHome;
}

int TCliHarvest::HandToAria2()
{
    TAria2Pool pool(FOptions.Aria2Urls, FOptions.Aria2Secret);
    pool.OnDaemonFailed = [this](const QString& url, const QString& error) {
        FOut.Error(QStringLiteral("%1: %2").arg(url, error));
    };
    struct THanded {
        int Row;
        TAria2Client* Daemon;
        QString Gid;
    };
    QList<THanded> handed;
    int failed = 0;
    const THarvestModel& files = FLists.Files();
    for (const int row : ChosenRows()) {
        const THarvestItem& item = files.Item(row);
        if (!pool.AnyLeft()) {
            ++failed;
            continue;
        }
        const TDownloadRequest request = THarvestDownload::RequestFor(FLists, item.Address, FModern);
        const TAria2Pool::THanded h =
            pool.Hand({item.Address, FOptions.Directory, item.FileName, request.Referer, request.UserAgent, {}});
        if (h.Gid.isEmpty()) {
            if (pool.AnyLeft())
                FOut.Error(QStringLiteral("%1: %2: %3").arg(h.Daemon->Url(), Text(item.Address), h.Error));
            ++failed;
            continue;
        }
        handed.append({row, h.Daemon, h.Gid});
        if (FOut.Json())
            FOut.Object({{QStringLiteral("event"), QStringLiteral("handed")},
                         {QStringLiteral("address"), Text(item.Address)},
                         {QStringLiteral("gid"), h.Gid},
                         {QStringLiteral("daemon"), h.Daemon->Url()}});
        else
            FOut.Line(QStringLiteral("%1\t%2").arg(h.Gid, Text(item.Address)));
    }
    if (!pool.AnyLeft() && failed > 0)
        FOut.Error(QStringLiteral("no aria2 daemon took the files: %1 not handed over").arg(failed));
    if (!FOptions.Wait)
        return failed + FPageFailures > 0 ? ExitSomeFailed : ExitAllHome;

    int downloaded = 0;
    while (!handed.isEmpty()) {
        for (qsizetype k = handed.size() - 1; k >= 0; --k) {
            const THanded& h = handed[k];
            const std::optional<TAria2Status> status = h.Daemon->TellStatus(h.Gid);
            const THarvestItem& item = files.Item(h.Row);
            QString reason;
            if (!status)
                reason = h.Daemon->LastError();
            else if (!status->Ended())
                continue;
            else if (status->State != QLatin1String("complete"))
                reason = status->Error.isEmpty() ? status->State : status->Error;
            if (reason.isEmpty())
                ++downloaded;
            else
                ++failed;
            if (FOut.Json()) {
                QJsonObject object{
                    {QStringLiteral("event"), reason.isEmpty() ? StateName(FileDownloaded) : StateName(FileFailed)},
                    {QStringLiteral("address"), Text(item.Address)},
                    {QStringLiteral("gid"), h.Gid}};
                if (!reason.isEmpty())
                    object.insert(QStringLiteral("reason"), reason);
                else
                    object.insert(QStringLiteral("path"), status->Path);
                FOut.Object(object);
            } else if (reason.isEmpty()) {
                FOut.Line(QStringLiteral("downloaded\t%1\t%2").arg(Text(item.Address), status->Path));
            } else {
                FOut.Error(QStringLiteral("%1: %2").arg(Text(item.Address), reason));
            }
            handed.removeAt(k);
        }
        if (!handed.isEmpty())
            QThread::msleep(Aria2PollMs);
    }
    return Summary(downloaded, 0, failed);
}

void TCliHarvest::Download(std::function<void(int status)> done)
{
    if (!QDir().mkpath(FOptions.Directory)) {
        FOut.Error(QStringLiteral("%1: Cannot create the directory").arg(FOptions.Directory));
        done(ExitSomeFailed);
        return;
    }
    if (FOptions.History) {
        FHistory = std::make_unique<TSessionStore>(TSessionStore::DefaultPath());
        FHistory->Open(nullptr);
    }
    THarvestDownloadSettings settings;
    settings.Directory = FOptions.Directory;
    settings.Modern = FModern;
    settings.SkipExisting = FSkipExisting;
    settings.MinBytes = FOptions.MinBytes;
    // As the window: the modern engine tries a file up to MaxTries times, the classic one once.
    settings.Retries = FOptions.Retries >= 0 ? FOptions.Retries : FModern ? MaxTries - 1 : 0;
    settings.HostConnections = FModern ? FOptions.HostConnections : 0;
    // A script waits for the whole harvest: files start as fast as slots free up, and
    // --connections-per-host is what keeps a run polite to one server.
    settings.StartPauseMs = 0;
    settings.History = FHistory.get();
    FDownload = new THarvestDownload(FLists, settings, this);
    connect(FDownload, &THarvestDownload::FileEnded, this, [this](uint64_t id) { ReportFile(id); });
    connect(FDownload, &THarvestDownload::FileWaits, this, [this](uint64_t id, const QString& text) {
        const int row = FLists.Files().RowOf(id);
        if (row >= 0 && !FOut.Json())
            FOut.Error(QStringLiteral("%1: %2").arg(Text(FLists.Files().Item(row).Address), text));
    });
    auto* redraw = new QTimer(this);
    connect(redraw, &QTimer::timeout, this, [this] { FOut.ShowSlots(FDownload->Queue()); });
    redraw->start(SlotRedrawMs);
    connect(FDownload, &THarvestDownload::Finished, this, [this, redraw, done = std::move(done)] {
        redraw->stop();
        FOut.ClearSlots();
        if (FHistory)
            FHistory->Flush();
        const int status = Summary(FDownload->Downloaded(), FDownload->Skipped(), FDownload->Failed());
        done(status);
    });
    FDownload->Start();
}

void TCliHarvest::ReportFile(uint64_t id)
{
    const THarvestModel& files = FLists.Files();
    const int row = files.RowOf(id);
    if (row < 0)
        return;
    const THarvestItem& item = files.Item(row);
    const QString path = LocalFilePath(FOptions.Directory, item.FileName, FModern);
    if (FOut.Json()) {
        QJsonObject object{{QStringLiteral("event"), StateName(item.State)},
                           {QStringLiteral("address"), Text(item.Address)},
                           {QStringLiteral("name"), Text(item.FileName)}};
        if (item.State == FileDownloaded) {
            object.insert(QStringLiteral("path"), path);
            object.insert(QStringLiteral("bytes"), item.BytesReceived);
        } else {
            object.insert(QStringLiteral("reason"), item.Reason);
        }
        if (item.Tries > 1)
            object.insert(QStringLiteral("tries"), item.Tries);
        FOut.Object(object);
        return;
    }
    if (item.State == FileFailed)
        FOut.Error(QStringLiteral("%1: %2").arg(Text(item.Address), item.Reason));
    else if (item.State == FileSkipped)
        FOut.Line(QStringLiteral("skipped\t%1\t%2").arg(Text(item.Address), item.Reason));
    else
        FOut.Line(QStringLiteral("downloaded\t%1\t%2\t%3").arg(Text(item.Address), path).arg(item.BytesReceived));
}

int TCliHarvest::Summary(int downloaded, int skipped, int failed)
{
    failed += FPageFailures;
    if (FOut.Json())
        FOut.Object({{QStringLiteral("event"), QStringLiteral("summary")},
                     {QStringLiteral("downloaded"), downloaded},
                     {QStringLiteral("skipped"), skipped},
                     {QStringLiteral("failed"), failed}});
    else
        std::fprintf(stderr, "%d downloaded, %d skipped, %d failed\n", downloaded, skipped, failed);
    return failed > 0 ? ExitSomeFailed : ExitAllHome;
}
