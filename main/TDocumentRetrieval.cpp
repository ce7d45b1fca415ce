// Get document, Stop, Parse links and the document client's handlers.
//
// The commands run inside the window's click handlers and process events at many points, so
// Stop, timers, list commands and even another command can run nested inside them. Two guards
// keep them sound at those points:
//  - Each command holds a guard on the window's command gate, and every Stop (which every
//    command runs first) supersedes the guards taken before it; a loop whose guard was
//    superseded by a nested command ends as it would after Stop.
//  - After events ran, the item a loop works on is found again by index and caption, since list
//    commands that stay enabled while busy may have deleted items meanwhile.
#include "main/TDocumentRetrieval.h"

#include <QTimer>

#include "http/SockExceptions.h"
#include "rules/DocumentFailure.h"
#include "http/TNMHTTP.h"
#include "main/TCommandGuard.h"
#include "main/TParseList.h"
#include "rules/FailureReasons.h"
#include "rules/ListStates.h"
#include "rules/RetrievalRules.h"
#include "rules/ScanLimits.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

namespace {

constexpr int DefaultDocTimeOut = 30000;  // ms without any data before a document fetch is cut
int DocTimeOutMs = DefaultDocTimeOut;
// A modern page fetch ends after this long even while data trickles in.
constexpr int DefaultFetchTimeLimit = FetchTimeLimitSeconds * 1000;
int FetchTimeLimitMs = DefaultFetchTimeLimit;

// The host a path-only address goes to until an address with a host has been fetched.
constexpr const char* DocClientHost = "intranet";

// Unbinds the handlers from the client, so that nothing the client does while it is destroyed
// with the window calls into a window whose controls are already gone.
void UnbindHandlers(TNMHTTP& client)
{
    client.OnConnect = nullptr;
    client.OnDisconnect = nullptr;
    client.OnStatus = nullptr;
    client.OnPacketRecvd = nullptr;
    client.OnSuccess = nullptr;
    client.OnFailure = nullptr;
    client.OnConnectionFailed = nullptr;
    client.OnInvalidHost = nullptr;
    client.OnAuthenticationNeeded = nullptr;
}

QByteArray Latin1(const QString& text) { return text.toLatin1(); }

}  // namespace

void TDocumentRetrieval::SetFetchTimeLimitForTesting(int milliseconds)
{
    FetchTimeLimitMs = milliseconds > 0 ? milliseconds : DefaultFetchTimeLimit;
}

void TDocumentRetrieval::SetTimeOutForTesting(int milliseconds)
{
    DocTimeOutMs = milliseconds > 0 ? milliseconds : DefaultDocTimeOut;
}

int TDocumentRetrieval::TimeOutMs() { return DocTimeOutMs; }

TDocumentRetrieval::TDocumentRetrieval(std::unique_ptr<TDocumentHost> host, TCheckListView* documents,
                                       TParseList* parseList, TFlatComboBox* address, QTimer* timer,
                                       TCommandGate& commands, std::atomic<bool>& stopRequested, QObject* parent)
    : QObject(parent), FHost(std::move(host)), ListViewDoc(documents), ListBoxParse1(parseList),
      ComboBoxBookmark(address), TimerDoc(timer), FCommands(commands), StopRequested(stopRequested)
{
    // The window deletes its controls before its children such as this one; its destroyed
    // signal comes first, and unbinds the handlers while the controls still live.
    if (parent)
        connect(parent, &QObject::destroyed, this, [this] { UnbindHandlers(*HttpDoc); });
    HttpDoc = new TNMHTTP(this);
    HttpDoc->Host = DocClientHost;
    HttpDoc->Port = 80;
    HttpDoc->TimeOut = 10000;
    HttpDoc->ReportLevel = 4;
    HttpDoc->Body = "Default.htm";
    HttpDoc->Header = "Head.txt";
    HttpDoc->InputFileMode = false;
    HttpDoc->OutputFileMode = false;
    HttpDoc->ProxyPort = 0;
    // The handlers run inside the client's own operations; the ones that raise the silent abort
    // do so on purpose, to end the running Get (the caller's guarded block catches it).
    HttpDoc->OnConnect = [this](TPowersock*) { ClientConnect(); };
    HttpDoc->OnDisconnect = [this](TPowersock*) { ClientDisconnect(); };
    HttpDoc->OnStatus = [this](TPowersock*, const QByteArray& status) { ClientStatus(status); };
    HttpDoc->OnPacketRecvd = [this](TPowersock*) { ClientPacketRecvd(); };
    HttpDoc->OnSuccess = [this](CmdType) { ClientSuccess(); };
    HttpDoc->OnFailure = [this](CmdType) { ClientFailure(); };
    HttpDoc->OnConnectionFailed = [this](TPowersock*) { ClientConnectionFailed(); };
    HttpDoc->OnInvalidHost = [this](bool& handled) { ClientInvalidHost(handled); };
    HttpDoc->OnAuthenticationNeeded = [this](TPowersock*) { ClientAuthenticationNeeded(); };

    TimerDoc->setInterval(DocTimeOutMs);
    TimerDoc->stop();
}

TDocumentRetrieval::~TDocumentRetrieval() { UnbindHandlers(*HttpDoc); }

bool TDocumentRetrieval::GoesOn(const TCommandGuard& command) const { return !StopRequested && !command.Superseded(); }

bool TDocumentRetrieval::Superseded(const TCommandGuard& command) const
{
    return command.Superseded() && !StopRequested;
}

void TDocumentRetrieval::StartDocTimer() { TimerDoc->start(DocTimeOutMs); }

int TDocumentRetrieval::LocateDocItem(int index, const QByteArray& caption, int state) const
{
    if (index >= 0 && index < ListViewDoc->Count() && ListViewDoc->Caption(index) == caption)
        return index;
    for (int i = 0; i < ListViewDoc->Count(); ++i)
        if (ListViewDoc->Caption(i) == caption && ListViewDoc->ImageIndex(i) == state)
            return i;
    return -1;
}

void TDocumentRetrieval::SetDocState(int index, int state)
{
    if (index < 0)
        return;
    ListViewDoc->SetImageIndex(index, state);
    ListViewDoc->SetStateImage(index, NoBoxStateImage);  // a done item shows no box
}

// ---- Stop ---------------------------------------------------------------------------------------

void TDocumentRetrieval::Stop()
{
    StopRequested = true;
    FHost->StopDownloads();
    FCommands.Supersede();
    try {
        ProcessMessages();
        FHost->ReleaseFileList();
        ShowBar(false, 0, 0);
        SetStatusText(QStringLiteral("Status: stopping !"));
        ProcessMessages();
        ListViewDoc->SetSorted(true);
        FHost->SetBusy(false);
        TimerDoc->stop();
        ProcessMessages();
        HttpDoc->Abort();
        HttpDoc->Cancel();
        HttpDoc->Disconnect();
        ProcessMessages();
        ProcessMessages();
        UpdateScreen();
        SetStatusText(QStringLiteral("Status: Not active"));
        FHost->EnableDownloadField();
        ProcessMessages();
        SetStatusText(QStringLiteral("Status: Not active"));
    } catch (...) {
    }
}

// ---- Get document -------------------------------------------------------------------------------

void TDocumentRetrieval::GetDocument()
{
    try {
        Stop();
        // Nothing refuses Get document: a newer one supersedes the running one.
        const TCommandGuard run(FCommands, TCommand::Document, {});
        ListViewDoc->SetSorted(false);
        const QByteArray address = Latin1(ComboBoxBookmark->Text());
        if (!address.contains('/')) {
            ListViewDoc->SetSorted(true);
            return;
        }
        StopRequested = false;
        FHost->SetBusy(true);
        UpdateScreen();
        StartDocTimer();

        QString failure;
        bool arrived = false;
        try {
            QByteArray body;
            BeginDocFetch();
            HttpDoc->Disconnect();
            SetModernHeaders(*HttpDoc->HeaderInfo, address);
            HttpDoc->Get(address);
            body = HttpDoc->Body;
            arrived = true;
            EmptyListsForNewDocument();
            SetStatusText(QStringLiteral("Status: Parsing doc"));
            ParseDocument(DocumentDirectory(address), body, ParseMain, HttpDoc->Url);

            if (FHost->Option(TDocumentOption::IncludeLinksOneLevelUp)) {
                const int n = ListBoxParse1->Count();
                // Stop is tested before each entry; an entry it keeps back is not listed.
                for (int i = 0; i < n && i < ListBoxParse1->Count() && GoesOn(run); ++i) {
                    const QByteArray link = ListBoxParse1->Line(i);
                    ListViewDoc->Add(link);
                    ScanTurn(false);
                    body.clear();
                    QByteArray finalAddress = link;
                    try {
                        ProcessMessages();
                        // Stop pressed just now would not reach a Get that starts after it.
                        if (!GoesOn(run))
                            throw ESilentAbort();
                        HttpDoc->Disconnect();
                        SetModernHeaders(*HttpDoc->HeaderInfo, link);
                        HttpDoc->Get(link);
                        body = HttpDoc->Body;
                        finalAddress = HttpDoc->Url;
                    } catch (...) {
                        body.clear();
                    }
                    SetStatusText(ParsingLinkStatus(i + 1, ListBoxParse1->Count()));
                    ScanTurn(false);
                    if (!body.isEmpty() && GoesOn(run))
                        ParseDocument(DocumentDirectory(link), body, ParseLinked, finalAddress);
                    ScanTurn(false);
                }
            } else {
                // Stop does not end this loop; only a newer command that emptied the lists does.
                // The window gets its turns as during the scan, by time rather than after every
                // item, and the view takes the items in between without laying out each time.
                TListUpdates held(ListViewDoc);
                for (int i = 0; i < ListBoxParse1->Count() && !Superseded(run); ++i) {
                    ListViewDoc->Add(ListBoxParse1->Line(i));
                    ScanTurn(false);
                }
                ScanTurn(true);  // the last items' turn, before the list sorts itself
            }
        } catch (const std::exception& e) {
            // A main document that cannot be fetched is no error to report by a message: the
            // status line says why, and the lists stay as they were.
            if (!arrived)
                failure = DocFailureReason(e);
        } catch (...) {
        }

        FinishDocumentCommand(failure);
    } catch (...) {
    }
}

// ---- Parse links --------------------------------------------------------------------------------

void TDocumentRetrieval::EmptyListsForNewDocument()
{
    ListBoxParse1->Clear();
    ListViewDoc->Clear();
    FHost->ForgetCurrentDocument();
    if (!FHost->Option(TDocumentOption::AddToFileList)) {
        FHost->ForgetCurrentFile();
        FHost->EmptyFileList(true);
    }
}

void TDocumentRetrieval::FinishDocumentCommand(const QString& reason)
{
    TimerDoc->stop();
    FHost->SetBusy(false);
    ListViewDoc->SetSorted(true);
    UpdateScreen();
    if (FHost->Option(TDocumentOption::BeepWhenDone))
        Beep();
    const QString limit = FHost->TakeScanLimitReason();
    SetStatusText(NotActiveStatus(reason.isEmpty() ? limit : reason));
}

void TDocumentRetrieval::BeginDocFetch()
{
    FDocFacts = FailureFacts();
    FFetchClock.start();
    HttpDoc->Header.clear();  // a status line left from the last fetch says nothing of this one
}

QString TDocumentRetrieval::DocFailureReason(const std::exception& error)
{
    FailureFacts facts = FDocFacts;
    facts.Stopped = facts.Stopped || StopRequested;
    return DocumentFailureReason(facts, HttpDoc->Header, HttpDoc->LastFailure, error.what());
}

void TDocumentRetrieval::ParseLinks()
{
    try {
        FHost->BeginLinkedDocument();
        Stop();
        const TCommandGuard run(FCommands, TCommand::Document, {});
        // Indexes stay fixed and new document items go to the end while the pass runs.
        ListViewDoc->SetSorted(false);
        FHost->ForgetCurrentFile();
        FHost->SetBusy(true);
        StopRequested = false;
        if (!FHost->Option(TDocumentOption::AddToFileList))
            FHost->EmptyFileList(false);

        // Items that the pass itself appends wait for the next pass.
        int n = ListViewDoc->Count();
        for (int i = 0; i < n && i < ListViewDoc->Count(); ++i) {
            FHost->BeginLinkedDocument();
            if (GoesOn(run) && ListViewDoc->Checked(i) && ListViewDoc->ImageIndex(i) == DocPending) {
                const QByteArray caption = ListViewDoc->Caption(i);
                const QByteArray base = ParseBaseDirectory(caption);
                int at = i;
                try {
                    StartDocTimer();
                    BeginDocFetch();
                    SetDocState(at, DocParsing);
                    QByteArray body;
                    ProcessMessages();
                    if (!GoesOn(run))
                        throw ESilentAbort();
                    HttpDoc->Disconnect();
                    SetModernHeaders(*HttpDoc->HeaderInfo, caption);
                    HttpDoc->Get(caption);  // the address in its own letter case
                    body = HttpDoc->Body;
                    const QByteArray finalAddress = HttpDoc->Url;
                    SetStatusText(QStringLiteral("Status: Parsing link"));
                    ProcessMessages();
                    ParseDocument(base, body, ParseLinked, finalAddress);
                    at = LocateDocItem(at, caption, DocParsing);
                    SetDocState(at, DocParsed);
                } catch (const std::exception& e) {
                    at = LocateDocItem(at, caption, DocParsing);
                    SetDocState(at, DocFailed);
                    if (at >= 0)
                        ListViewDoc->SetReason(at, DocFailureReason(e));
                } catch (...) {
                    at = LocateDocItem(at, caption, DocParsing);
                    SetDocState(at, DocFailed);
                }
                // Items deleted above this one meanwhile moved it up: go on after it, with the
                // end of the pass moved up as much.
                if (at >= 0 && at < i) {
                    n -= i - at;
                    i = at;
                }
            }
            UpdateScreen();
            ProcessMessages();
        }

        // Marking existing files and the automatic download also follow a stopped pass.
        FHost->FilesListed();

        FinishDocumentCommand();
    } catch (...) {
    }
}

void TDocumentRetrieval::UseAsMainDocument(int index)
{
    if (index < 0 || index >= ListViewDoc->Count())
        return;
    ComboBoxBookmark->SetText(QString::fromLatin1(ListViewDoc->Caption(index)));
    GetDocument();
}

// ---- The document client's events and time-out --------------------------------------------------

void TDocumentRetrieval::TimeOut()
{
    FDocFacts.IdleSeconds = (DocTimeOutMs + 999) / 1000;
    HttpDoc->Cancel();
    HttpDoc->Disconnect();
    TimerDoc->stop();
}

void TDocumentRetrieval::ClientConnect()
{
    ShowBar(true, 0, 0);
    FHost->SetBusyLed(true);
}

void TDocumentRetrieval::ClientDisconnect()
{
    if (!FHost->Busy())
        FHost->SetBusyLed(false);
    ShowBar(false, 0, 0);
    SetStatusText(QStringLiteral("Status: Not active"));
}

void TDocumentRetrieval::ClientStatus(const QByteArray& status)
{
    SetStatusText(QStringLiteral("Status: ") + QString::fromLatin1(status));
}

void TDocumentRetrieval::ClientPacketRecvd()
{
    ShowBar(true, HttpDoc->BytesRecvd, HttpDoc->BytesTotal);
    // A server that keeps sending a trickle would hold a modern fetch forever: besides the idle
    // time-out, the whole fetch has a time limit.
    if (FHost->Option(TDocumentOption::ModernPages) && FFetchClock.isValid()
        && FFetchClock.elapsed() > FetchTimeLimitMs) {
        FDocFacts.ErrorText = FetchTooLongReason().toLatin1();
        HttpDoc->Cancel();
        HttpDoc->Disconnect();
        TimerDoc->stop();
        return;
    }
    StartDocTimer();  // every packet gives the fetch its full time again
}

void TDocumentRetrieval::ClientSuccess() { ShowBar(false, 0, 0); }

void TDocumentRetrieval::ClientFailure()
{
    ShowBar(false, 0, 0);
    throw ESilentAbort();
}

void TDocumentRetrieval::ClientConnectionFailed()
{
    // The client's own words (a TLS check's reason among them) before the abort replaces them.
    FDocFacts.ErrorText = HttpDoc->LastFailure.isEmpty() ? QByteArray("Connection Failed") : HttpDoc->LastFailure;
    FDocFacts.SocketError = HttpDoc->LastSocketError;
    ShowBar(false, 0, 0);
    throw ESilentAbort();
}

void TDocumentRetrieval::ClientInvalidHost(bool& handled)
{
    ShowBar(false, 0, 0);
    handled = false;  // the client then reports the bad host as an error of Get
}

void TDocumentRetrieval::ClientAuthenticationNeeded()
{
    // Pages behind a password are not fetched.
    throw ESilentAbort();
}
