// Get document, Stop, Parse links and the document client's handlers.
//
// The commands run inside their click handlers and process events at many points, so Stop,
// timers, list commands and even another command can run nested inside them. Two guards keep
// them sound at those points:
//  - FCommandRun is bumped by every Stop (which every command runs first); a loop that sees it
//    changed was superseded by a nested command and ends as it would after Stop.
//  - After events ran, the item a loop works on is found again by index and caption, since list
//    commands that stay enabled while busy may have deleted items meanwhile.
#include <memory>

#include <QCoreApplication>

#include "http/SockExceptions.h"
#include "http/TNMHTTP.h"
#include "rules/RetrievalRules.h"
#include "main/TDownloadScheduler.h"
#include "main/TParseList.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"
#include "platform/Guarded.h"

#include <QToolButton>

namespace {

constexpr int DefaultDocTimeOut = 30000;  // ms without any data before a document fetch is cut
int DocTimeOutMs = DefaultDocTimeOut;

// The host a path-only address goes to until an address with a host has been fetched.
constexpr const char* DocClientHost = "intranet";

// Parse mode of the scanner: 1 = the main document, 2 = a linked document.

// Unbinds the window's handlers from its client, so that nothing the client does while it is
// destroyed with the window calls into a window whose controls are already gone.
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

void TFormMain::SetDocTimeOutForTesting(int milliseconds)
{
    DocTimeOutMs = milliseconds > 0 ? milliseconds : DefaultDocTimeOut;
}

int TFormMain::DocTimeOut() { return DocTimeOutMs; }

void TFormMain::WireRetrieval()
{
    // The client ends with the window when the window's destroyed signal fires; this connection,
    // made before the client exists, runs first and unbinds the handlers while it still lives.
    auto client = std::make_shared<TNMHTTP*>(nullptr);
    connect(this, &QObject::destroyed, [client] {
        if (*client)
            UnbindHandlers(**client);
    });
    HttpDoc = new TNMHTTP(this);
    *client = HttpDoc;
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
    HttpDoc->OnConnect = [this](TPowersock*) { HttpDocConnect(); };
    HttpDoc->OnDisconnect = [this](TPowersock*) { HttpDocDisconnect(); };
    HttpDoc->OnStatus = [this](TPowersock*, const QByteArray& status) { HttpDocStatus(status); };
    HttpDoc->OnPacketRecvd = [this](TPowersock*) { HttpDocPacketRecvd(); };
    HttpDoc->OnSuccess = [this](CmdType) { HttpDocSuccess(); };
    HttpDoc->OnFailure = [this](CmdType) { HttpDocFailure(); };
    HttpDoc->OnConnectionFailed = [this](TPowersock*) { HttpDocConnectionFailed(); };
    HttpDoc->OnInvalidHost = [this](bool& handled) { HttpDocInvalidHost(handled); };
    HttpDoc->OnAuthenticationNeeded = [this](TPowersock*) { HttpDocAuthenticationNeeded(); };

    if (!TimerDoc) {
        TimerDoc = new QTimer(this);
        TimerDoc->setObjectName(QStringLiteral("TimerDoc"));
    }
    TimerDoc->setInterval(DocTimeOutMs);
    TimerDoc->stop();
    connect(TimerDoc, &QTimer::timeout, this, [this] { Guarded(lcMain(), [this] { TimerDocTimer(); }); });

    if (ButtonStart)
        connect(ButtonStart, &QToolButton::clicked, this, [this] { Guarded(lcMain(), [this] { ButtonStartClick(); }); });
    if (ButtonStop)
        connect(ButtonStop, &QToolButton::clicked, this, [this] { Guarded(lcMain(), [this] { ButtonStopClick(); }); });
    if (ButtonParse)
        connect(ButtonParse, &QToolButton::clicked, this, [this] { Guarded(lcMain(), [this] { ButtonParseClick(); }); });
    if (ComboBoxBookmark)
        connect(ComboBoxBookmark, &TFlatComboBox::EnterPressed, this,
                [this] { Guarded(lcMain(), [this] { ButtonStartClick(); }); });
    if (Useselectedlineasmaindocumentandparseit1)
        connect(Useselectedlineasmaindocumentandparseit1, &QAction::triggered, this,
                [this] { Guarded(lcMain(), [this] { Useselectedlineasmaindocumentandparseit1Click(); }); });
}

bool TFormMain::CommandGoesOn(int run) const { return !StopRequested && run == FCommandRun; }

// A nested command ran its Stop (bumping the count) and then cleared StopRequested.
bool TFormMain::Superseded(int run) const { return run != FCommandRun && !StopRequested; }

void TFormMain::StartDocTimer() { TimerDoc->start(DocTimeOutMs); }

int TFormMain::LocateDocItem(int index, const QByteArray& caption, int state) const
{
    if (index >= 0 && index < ListViewDoc->Count() && ListViewDoc->Caption(index) == caption)
        return index;
    for (int i = 0; i < ListViewDoc->Count(); ++i)
        if (ListViewDoc->Caption(i) == caption && ListViewDoc->ImageIndex(i) == state)
            return i;
    return -1;
}

void TFormMain::SetDocState(int index, int state)
{
    if (index < 0)
        return;
    ListViewDoc->SetImageIndex(index, state);
    ListViewDoc->SetStateImage(index, NoBoxStateImage);  // a done item shows no box
}

// ---- Stop ---------------------------------------------------------------------------------------

void TFormMain::ButtonStopClick()
{
    StopRequested = true;
    Downloads->StopEngines();
    ++FCommandRun;
    try {
        ProcessMessages();
        ListViewFile->Tag = 0;
        ShowBar(false, 0, 0);
        SetStatusText(QStringLiteral("Status: stopping !"));
        ProcessMessages();
        ListViewDoc->SetSorted(true);
        Busy = false;
        TimerDoc->stop();
        ProcessMessages();
        HttpDoc->Abort();
        HttpDoc->Cancel();
        HttpDoc->Disconnect();
        ProcessMessages();
        ProcessMessages();
        UpdateScreen();
        SetStatusText(QStringLiteral("Status: Not active"));
        ComboBoxDownload->setEnabled(true);
        SpeedButton1->setEnabled(true);
        ProcessMessages();
        SetStatusText(QStringLiteral("Status: Not active"));
    } catch (...) {
    }
}

// ---- Get document -------------------------------------------------------------------------------

void TFormMain::ButtonStartClick()
{
    try {
        ButtonStopClick();
        const int run = FCommandRun;
        ListViewDoc->SetSorted(false);
        const QByteArray address = Latin1(ComboBoxBookmark->Text());
        if (!address.contains('/')) {
            ListViewDoc->SetSorted(true);
            return;
        }
        StopRequested = false;
        Busy = true;
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

            if (Includelinksonelevelupwhenparsingmaindocument1->isChecked()) {
                const int n = ListBoxParse1->Count();
                // Stop is tested before each entry; an entry it keeps back is not listed.
                for (int i = 0; i < n && i < ListBoxParse1->Count() && CommandGoesOn(run); ++i) {
                    const QByteArray link = ListBoxParse1->Line(i);
                    ListViewDoc->Add(link);
                    ScanTurn(false);
                    body.clear();
                    QByteArray finalAddress = link;
                    try {
                        ProcessMessages();
                        // Stop pressed just now would not reach a Get that starts after it.
                        if (!CommandGoesOn(run))
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
                    if (!body.isEmpty() && CommandGoesOn(run))
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

void TFormMain::EmptyListsForNewDocument()
{
    ListBoxParse1->Clear();
    ListViewDoc->Clear();
    CurrentDocIndex = -1;
    if (!Addnewfilestoexcistinglistwhenparsing1->isChecked()) {
        CurrentFileIndex = -1;
        if (Letpreviewjumptolatestfiledownloaded1->isChecked())
            BlankPreviewImage();
        ListViewFile->Clear();
        FReferrers.clear();
    }
}

void TFormMain::FinishDocumentCommand(const QString& reason)
{
    TimerDoc->stop();
    Busy = false;
    ListViewDoc->SetSorted(true);
    UpdateScreen();
    if (Beepwhendoneworking1->isChecked())
        Beep();
    SetStatusText(NotActiveStatus(reason));
}

void TFormMain::BeginDocFetch()
{
    FDocFacts = FailureFacts();
    HttpDoc->Header.clear();  // a status line left from the last fetch says nothing of this one
}

QString TFormMain::DocFailureReason(const std::exception& error)
{
    FailureFacts facts = FDocFacts;
    facts.Stopped = facts.Stopped || StopRequested;
    const QByteArray header = HttpDoc->Header;
    facts.StatusLine = header.left(header.indexOf('\n') + 1);
    if (facts.ErrorText.isEmpty())
        facts.ErrorText = HttpDoc->LastFailure.isEmpty() ? QByteArray(error.what()) : HttpDoc->LastFailure;
    return FailureReason(facts);
}

void TFormMain::ButtonParseClick()
{
    try {
        FirstFileTaken = false;
        ButtonStopClick();
        const int run = FCommandRun;
        // Indexes stay fixed and new document items go to the end while the pass runs.
        ListViewDoc->SetSorted(false);
        CurrentFileIndex = -1;
        Busy = true;
        StopRequested = false;
        if (!Addnewfilestoexcistinglistwhenparsing1->isChecked()) {
            if (Letpreviewjumptolatestfiledownloaded1->isChecked())
                BlankPreviewImage();
            ListViewFile->Clear();
        }

        // Items that the pass itself appends wait for the next pass.
        int n = ListViewDoc->Count();
        for (int i = 0; i < n && i < ListViewDoc->Count(); ++i) {
            FirstFileTaken = false;
            if (CommandGoesOn(run) && ListViewDoc->Checked(i) && ListViewDoc->ImageIndex(i) == DocPending) {
                const QByteArray caption = ListViewDoc->Caption(i);
                const QByteArray base = ParseBaseDirectory(caption);
                int at = i;
                try {
                    StartDocTimer();
                    BeginDocFetch();
                    SetDocState(at, DocParsing);
                    QByteArray body;
                    ProcessMessages();
                    if (!CommandGoesOn(run))
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
        if (Skipfileifexistindownloaddirectory1->isChecked())
            UpdateIconsInfileList();
        if (Autoselectdownloadfilesafterparsing1->isChecked()) {
            SelectAllFiles();
            ButtonDownloadClick();
        }

        FinishDocumentCommand();
    } catch (...) {
    }
}

void TFormMain::Useselectedlineasmaindocumentandparseit1Click()
{
    if (CurrentDocIndex < 0 || CurrentDocIndex >= ListViewDoc->Count())
        return;
    ComboBoxBookmark->SetText(QString::fromLatin1(ListViewDoc->Caption(CurrentDocIndex)));
    ButtonStartClick();
}

// ---- The document client's events and time-out --------------------------------------------------

void TFormMain::TimerDocTimer()
{
    FDocFacts.IdleSeconds = (DocTimeOutMs + 999) / 1000;
    HttpDoc->Cancel();
    HttpDoc->Disconnect();
    TimerDoc->stop();
}

void TFormMain::HttpDocConnect()
{
    ShowBar(true, 0, 0);
    LedBusy->SetLedEnabled(true);
}

void TFormMain::HttpDocDisconnect()
{
    if (!Busy)
        LedBusy->SetLedEnabled(false);
    ShowBar(false, 0, 0);
    SetStatusText(QStringLiteral("Status: Not active"));
}

void TFormMain::HttpDocStatus(const QByteArray& status)
{
    SetStatusText(QStringLiteral("Status: ") + QString::fromLatin1(status));
}

void TFormMain::HttpDocPacketRecvd()
{
    ShowBar(true, HttpDoc->BytesRecvd, HttpDoc->BytesTotal);
    StartDocTimer();  // every packet gives the fetch its full time again
}

void TFormMain::HttpDocSuccess() { ShowBar(false, 0, 0); }

void TFormMain::HttpDocFailure()
{
    ShowBar(false, 0, 0);
    throw ESilentAbort();
}

void TFormMain::HttpDocConnectionFailed()
{
    // The client's own words (a TLS check's reason among them) before the abort replaces them.
    FDocFacts.ErrorText = HttpDoc->LastFailure.isEmpty() ? QByteArray("Connection Failed") : HttpDoc->LastFailure;
    FDocFacts.SocketError = HttpDoc->LastSocketError;
    ShowBar(false, 0, 0);
    throw ESilentAbort();
}

void TFormMain::HttpDocInvalidHost(bool& handled)
{
    ShowBar(false, 0, 0);
    handled = false;  // the client then reports the bad host as an error of Get
}

void TFormMain::HttpDocAuthenticationNeeded()
{
    // Pages behind a password are not fetched.
    throw ESilentAbort();
}
