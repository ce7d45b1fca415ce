#pragma once
// The document commands: Get document, Stop, Parse links, "Use selected line as main document
// and parse it", and the document client's events and time-out.
//
// The retrieval owns the document client. It works on the two document lists and the address
// field it is handed, and asks the window for everything else through TDocumentHost: the
// window's services, the options, and the file-list side of each command.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

#include "rules/FailureReasons.h"

class QTimer;
class TCheckListView;
class TCommandGate;
class TCommandGuard;
class TFlatComboBox;
class TNMHTTP;
class TParseList;
struct THeaderInfo;

// The options of the window that the document commands follow.
enum class TDocumentOption {
    AddToFileList,           // new files go to the existing file list instead of an emptied one
    IncludeLinksOneLevelUp,  // Get document also fetches and scans each link of the main document
    BeepWhenDone,
    ModernPages,  // pages are fetched and scanned as a browser does
};

// What the document commands need of the window.
class TDocumentHost {
public:
    virtual ~TDocumentHost() = default;

    virtual void ProcessMessages() = 0;
    virtual void UpdateScreen() = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void ShowBar(bool show, int32_t position, int32_t total) = 0;
    virtual void SetBusyLed(bool on) = 0;
    virtual void Beep() = 0;
    virtual bool Option(TDocumentOption option) const = 0;

    // The window's busy state, shared with the download commands.
    virtual bool Busy() const = 0;
    virtual void SetBusy(bool busy) = 0;

    // Stop's part on the download side: the engines are told to stop, the file list is free
    // for writers again, and the download directory can be edited again.
    virtual void StopDownloads() = 0;
    virtual void ReleaseFileList() = 0;
    virtual void EnableDownloadField() = 0;

    // The window's current items and the file list.
    virtual void ForgetCurrentDocument() = 0;
    virtual void ForgetCurrentFile() = 0;
    // Empties the file list (and the preview, when it follows downloads); a new main document
    // also forgets where the modern scanner found its addresses.
    virtual void EmptyFileList(bool newMainDocument) = 0;

    // The scanner.
    virtual void BeginLinkedDocument() = 0;  // the next linked document may auto-select its first file
    virtual void ParseDocument(const QByteArray& base, const QByteArray& text, int parseMode,
                               const QByteArray& address) = 0;
    virtual void ScanTurn(bool now) = 0;
    // The limit the last scans reached (a page too large, too many links), once: the command's
    // last status shows it.
    virtual QString TakeScanLimitReason() { return {}; }
    virtual void SetModernHeaders(THeaderInfo& info, const QByteArray& address) const = 0;
    // A Parse links pass has listed its files: mark those on disk, start the automatic download.
    virtual void FilesListed() = 0;
};

class TDocumentRetrieval : public QObject {
public:
    // `stopRequested` is the window's stop flag, which the download commands share. The timer
    // is the window's document time-out; the window routes its timeout to TimeOut().
    TDocumentRetrieval(std::unique_ptr<TDocumentHost> host, TCheckListView* documents, TParseList* parseList,
                       TFlatComboBox* address, QTimer* timer, TCommandGate& commands, std::atomic<bool>& stopRequested,
                       QObject* parent);
    ~TDocumentRetrieval() override;

    TNMHTTP* Client() const { return HttpDoc; }

    void Stop();
    void GetDocument();
    void ParseLinks();
    // Makes the document item at `index` the main document and gets it; no item, nothing done.
    void UseAsMainDocument(int index);

    // The document client's events and the document time-out.
    void TimeOut();
    void ClientConnect();
    void ClientDisconnect();
    void ClientStatus(const QByteArray& status);
    void ClientPacketRecvd();
    void ClientSuccess();
    void ClientFailure();
    void ClientConnectionFailed();
    void ClientInvalidHost(bool& handled);
    void ClientAuthenticationNeeded();

    // The document time-out (30000 ms); tests shorten it, users never see it.
    static void SetTimeOutForTesting(int milliseconds);
    // Test-only seam: the time limit of a whole modern page fetch (5 minutes in the program).
    static void SetFetchTimeLimitForTesting(int milliseconds);
    static int TimeOutMs();

private:
    // A command goes on while no Stop came since it began.
    bool GoesOn(const TCommandGuard& command) const;
    // A newer command ran its Stop and then cleared the stop flag.
    bool Superseded(const TCommandGuard& command) const;
    void StartDocTimer();
    // The last steps of Get document and Parse links; the reason of a failed Get document
    // follows the status text.
    void FinishDocumentCommand(const QString& reason = QString());
    // Why the document fetch in progress failed: the time-out, Stop, the client's words.
    FailureFacts FDocFacts;
    QElapsedTimer FFetchClock;  // since the running fetch began
    void BeginDocFetch();
    QString DocFailureReason(const std::exception& error);
    // Get document empties the lists only once its main document has arrived.
    void EmptyListsForNewDocument();
    // The document item fetched as `caption` at `index`, found again after events ran; -1 if gone.
    int LocateDocItem(int index, const QByteArray& caption, int state) const;
    void SetDocState(int index, int state);

    // The window's services under the names the commands have always used.
    void ProcessMessages() { FHost->ProcessMessages(); }
    void UpdateScreen() { FHost->UpdateScreen(); }
    void SetStatusText(const QString& text) { FHost->SetStatusText(text); }
    void ShowBar(bool show, int32_t position, int32_t total) { FHost->ShowBar(show, position, total); }
    void Beep() { FHost->Beep(); }
    void ScanTurn(bool now) { FHost->ScanTurn(now); }
    void ParseDocument(const QByteArray& base, const QByteArray& text, int parseMode, const QByteArray& address)
    {
        FHost->ParseDocument(base, text, parseMode, address);
    }
    void SetModernHeaders(THeaderInfo& info, const QByteArray& address) const
    {
        FHost->SetModernHeaders(info, address);
    }

    std::unique_ptr<TDocumentHost> FHost;
    TCheckListView* ListViewDoc;
    TParseList* ListBoxParse1;
    TFlatComboBox* ComboBoxBookmark;
    QTimer* TimerDoc;
    TCommandGate& FCommands;
    std::atomic<bool>& StopRequested;
    TNMHTTP* HttpDoc = nullptr;
};
