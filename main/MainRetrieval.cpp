// The window's side of Get document, Stop, Parse links and the document client: the handlers
// forward to the retrieval (TDocumentRetrieval), which reaches the window through DocumentHost.
#include <memory>
#include <utility>

#include "main/TDocumentRetrieval.h"
#include "main/TDownloadScheduler.h"
#include "main/TParseList.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TLed.h"
#include "platform/Guarded.h"

#include <QToolButton>

// The window as the document commands see it.
class TFormMain::DocumentHost final : public TDocumentHost {
public:
    explicit DocumentHost(TFormMain& window) : W(window) {}

    void ProcessMessages() override { W.ProcessMessages(); }
    void UpdateScreen() override { W.UpdateScreen(); }
    void SetStatusText(const QString& text) override { W.SetStatusText(text); }
    void ShowBar(bool show, int32_t position, int32_t total) override { W.ShowBar(show, position, total); }
    void SetBusyLed(bool on) override { W.LedBusy->SetLedEnabled(on); }
    void Beep() override { W.Beep(); }
    bool Option(TDocumentOption option) const override
    {
        switch (option) {
        case TDocumentOption::AddToFileList: return W.Addnewfilestoexcistinglistwhenparsing1->isChecked();
        case TDocumentOption::IncludeLinksOneLevelUp:
            return W.Includelinksonelevelupwhenparsingmaindocument1->isChecked();
        case TDocumentOption::BeepWhenDone: return W.Beepwhendoneworking1->isChecked();
        case TDocumentOption::ModernPages: return W.Findlinksasabrowserdoesmodernpages1->isChecked();
        }
        return false;
    }

    bool Busy() const override { return W.Busy; }
    void SetBusy(bool busy) override { W.Busy = busy; }

    void StopDownloads() override { W.Downloads->StopEngines(); }
    void ReleaseFileList() override { W.ListViewFile->Tag = 0; }
    void EnableDownloadField() override
    {
        W.ComboBoxDownload->setEnabled(true);
        W.SpeedButton1->setEnabled(true);
    }

    void ForgetCurrentDocument() override { W.CurrentDocIndex = -1; }
    void ForgetCurrentFile() override { W.CurrentFileIndex = -1; }
    void EmptyFileList(bool newMainDocument) override
    {
        if (W.Letpreviewjumptolatestfiledownloaded1->isChecked())
            W.BlankPreviewImage();
        W.ListViewFile->Clear();
        if (newMainDocument) {
            W.FReferrers.clear();
            W.FPictureFacts.clear();
        }
    }

    void BeginLinkedDocument() override { W.FirstFileTaken = false; }
    void ParseDocument(const QByteArray& base, const QByteArray& text, int parseMode,
                       const QByteArray& address) override
    {
        W.ParseDocument(base, text, parseMode, address);
    }
    void ScanTurn(bool now) override { W.ScanTurn(now); }
    QString TakeScanLimitReason() override { return std::exchange(W.FScanLimitReason, QString()); }
    void SetModernHeaders(THeaderInfo& info, const QByteArray& address) const override
    {
        W.SetModernHeaders(info, address);
    }
    void FilesListed() override
    {
        if (W.Skipfileifexistindownloaddirectory1->isChecked())
            W.UpdateIconsInfileList();
        if (W.Autoselectdownloadfilesafterparsing1->isChecked()) {
            W.SelectAllFiles();
            W.ButtonDownloadClick();
        }
    }

private:
    TFormMain& W;
};

void TFormMain::SetDocTimeOutForTesting(int milliseconds) { TDocumentRetrieval::SetTimeOutForTesting(milliseconds); }

int TFormMain::DocTimeOut() { return TDocumentRetrieval::TimeOutMs(); }

void TFormMain::WireRetrieval()
{
    if (!TimerDoc) {
        TimerDoc = new QTimer(this);
        TimerDoc->setObjectName(QStringLiteral("TimerDoc"));
    }
    FRetrieval = new TDocumentRetrieval(std::make_unique<DocumentHost>(*this), ListViewDoc, ListBoxParse1,
                                        ComboBoxBookmark, TimerDoc, FCommands, StopRequested, this);
    HttpDoc = FRetrieval->Client();
    connect(TimerDoc, &QTimer::timeout, this, [this] { Guarded(lcMain(), [this] { TimerDocTimer(); }); });

    if (ButtonStart)
        connect(ButtonStart, &QToolButton::clicked, this,
                [this] { Guarded(lcMain(), [this] { ButtonStartClick(); }); });
    if (ButtonStop)
        connect(ButtonStop, &QToolButton::clicked, this, [this] { Guarded(lcMain(), [this] { ButtonStopClick(); }); });
    if (ButtonParse)
        connect(ButtonParse, &QToolButton::clicked, this,
                [this] { Guarded(lcMain(), [this] { ButtonParseClick(); }); });
    if (ComboBoxBookmark)
        connect(ComboBoxBookmark, &TFlatComboBox::EnterPressed, this,
                [this] { Guarded(lcMain(), [this] { ButtonStartClick(); }); });
    if (Useselectedlineasmaindocumentandparseit1)
        connect(Useselectedlineasmaindocumentandparseit1, &QAction::triggered, this,
                [this] { Guarded(lcMain(), [this] { Useselectedlineasmaindocumentandparseit1Click(); }); });
}

void TFormMain::ButtonStopClick() { FRetrieval->Stop(); }
void TFormMain::ButtonStartClick() { FRetrieval->GetDocument(); }
void TFormMain::ButtonParseClick() { FRetrieval->ParseLinks(); }
void TFormMain::Useselectedlineasmaindocumentandparseit1Click() { FRetrieval->UseAsMainDocument(CurrentDocIndex); }

void TFormMain::TimerDocTimer() { FRetrieval->TimeOut(); }
