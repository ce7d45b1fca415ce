#pragma once
// The main window: owner of both lists, the commands, the options and the run-time state.
// Its methods are spread over companion files of this folder, one per subsystem:
//   UnitMain.cpp          window, options, settings, start-up and shut-down, UpdateScreen
//   MainProgress.cpp      ShowBar, Timer1Timer, UpdatePanels, engine progress option
//   MainRetrieval.cpp     Stop, Get document, Parse links, the document client's handlers
//                         (the work: TDocumentRetrieval)
//   MainScanner.cpp       ParseDocument and its list tests
//   MainDownload.cpp      Download files, engine slots, file naming, CheckFile
//   MainListFiles.cpp     saving and loading the lists (the files: TListFileStore)
//   MainListCommands.cpp  the lists' context menus, keys, mouse and current items
//   MainDirectory.cpp     DirectoryOk, the two fields' change handlers and colouring
//   MainBookmarks.cpp     bookmarks of both fields, download field focus, directory dialog opening
//   MainPreview.cpp       picture preview and shell opening of downloaded files (TPreviewPane)
#include <QAction>
#include <QByteArray>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "platform/EventPacer.h"
#include "rules/FailureReasons.h"
#include "rules/ListStates.h"
#include "rules/ModernLinks.h"
#include "rules/ReferrerPolicy.h"

#include "core/HarvestOptions.h"
#include "download/TTransferEngine.h"
#include "main/TCommandGuard.h"
#include "widgets/TPictureGrid.h"

class QComboBox;
class QFrame;
class QSplitter;
class QStatusBar;
class QToolButton;
class QWidget;
class TCheckListView;
class TDocumentRetrieval;
class TDownloadScheduler;
struct TFileFilter;
class TFlatComboBox;
class TGauge;
class TLed;
class TNMHTTP;
class TListFileStore;
class TParseList;
class TThumbnailFetcher;
class TRegistry;
class TSessionRecorder;
struct TSessionData;
struct THeaderInfo;
class TPreviewImage;
class TPreviewPane;

enum class MsgKind { Information, Confirm, Warning, Error };
enum MsgResult { mrOk = 1, mrYes = 6, mrNo = 7 };

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // ---- Seams that tests replace -------------------------------------------------------
    // Every message box goes through ShowMessage; a test may answer instead.
    std::function<int(MsgKind, const QString& title, const QString& text)> MessageBoxHook;
    int ShowMessage(MsgKind kind, const QString& text);
    // Ends the process at once after the settings are written.
    std::function<void()> EndProcessHook;
    // System beep.
    std::function<void()> BeepHook;
    void Beep();

    // ---- Controls (objectName = the field's name) ---------------------------------------
    QFrame* PanelTop = nullptr;
    QToolButton* ButtonStart = nullptr;
    QToolButton* ButtonStop = nullptr;
    QToolButton* ButtonParse = nullptr;
    QToolButton* ButtonDownload = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    TFlatComboBox* ComboBoxBookmark = nullptr;
    TFlatComboBox* ComboBoxDownload = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* ImageEmpty = nullptr;
    TParseList* ListBoxParse1 = nullptr;

    TCheckListView* ListViewDoc = nullptr;
    TCheckListView* ListViewFile = nullptr;
    QSplitter* MainSplitter = nullptr;  // its handles are Splitter1 and Splitter2
    QWidget* Splitter1 = nullptr;
    QWidget* Splitter2 = nullptr;
    QFrame* PanelExtra = nullptr;
    QFrame* PanelPreview = nullptr;
    QLabel* Panel3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    TPreviewImage* ImagePreview = nullptr;
    QFrame* PanelDownload = nullptr;
    QLabel* Panel5 = nullptr;
    std::array<TGauge*, 8> Gauges{};  // Gauge1 .. Gauge8
    QStatusBar* StatusBar1 = nullptr;
    TGauge* GaugeDoc = nullptr;
    TLed* LedBusy = nullptr;
    std::array<TLed*, 8> LedEngines{};  // LedEngine1 .. LedEngine8

    TNMHTTP* HttpDoc = nullptr;  // the document client, owned by the document commands
    QTimer* TimerDoc = nullptr;
    QTimer* Timer1 = nullptr;

    // Main menu.
    QMenu* File1 = nullptr;
    QAction* Loadlinksfilelistfromdisk1 = nullptr;
    QAction* Savelinksfilelists1 = nullptr;
    QAction* Quit1 = nullptr;
    QMenu* Options1 = nullptr;
    QMenu* Connectionsperhost1 = nullptr;  // its items: 1, 2, 4 and 8
    QAction* Addnewfilestoexcistinglistwhenparsing1 = nullptr;
    QAction* Autoselectdownloadfilesafterparsing1 = nullptr;
    QAction* Autoselectfirstfilefromeachlink1 = nullptr;
    QAction* Skipfileifexistindownloaddirectory1 = nullptr;
    QAction* Addnewlinksfoundwhenparsingtoexistinglist1 = nullptr;
    QAction* Addembeddedimageswhenparsing1 = nullptr;
    QAction* Includelinksonelevelupwhenparsingmaindocument1 = nullptr;
    QAction* Beepwhendoneworking1 = nullptr;
    QAction* Usefriendlybossnameontaskbar1 = nullptr;
    QAction* Displaydownloadengineprogress1 = nullptr;
    QAction* Displayimagepreview1 = nullptr;
    QAction* Letpreviewjumptolatestfiledownloaded1 = nullptr;
    QAction* Autosavelinksfilesasdefaultonquit1 = nullptr;
    QAction* Savewindowpositiononexit1 = nullptr;
    QAction* Findlinksasabrowserdoesmodernpages1 = nullptr;
    QAction* Skipfilesdownloadedbefore1 = nullptr;
    QAction* Forgetdownloadhistory1 = nullptr;
    // The menu item of each option, in the order of TOption.
    static QAction* TFormMain::*const OptionItems[OptionCount];
    QMenu* Help1 = nullptr;
    QAction* Help3 = nullptr;
    QAction* Info1 = nullptr;

    // Pop-up menu of the document list.
    QMenu* PopupMenuDoc = nullptr;
    QAction* Deselectall2 = nullptr;
    QAction* Selectall2 = nullptr;
    QAction* Invertselection2 = nullptr;
    QAction* Selectbykeyword1 = nullptr;
    QAction* SelectalllinesreferingtomarkedUrl1 = nullptr;
    QAction* Resetlink1 = nullptr;
    QAction* Deletealllines2 = nullptr;
    QAction* Addbookmark2 = nullptr;
    QAction* N8 = nullptr;
    QAction* Useselectedlineasmaindocumentandparseit1 = nullptr;
    // Pop-up menu of the file list.
    QMenu* PopupMenuFile = nullptr;
    QAction* Deselectall1 = nullptr;
    QAction* Selectall1 = nullptr;
    QAction* Invertselection1 = nullptr;
    QAction* SelectalllinesreferingtomarkedUrl2 = nullptr;
    QAction* Resetfile1 = nullptr;
    QAction* Deletealllines1 = nullptr;
    QAction* Sort = nullptr;
    QAction* Filterfiles1 = nullptr;  // "Filter files...", in the file list's menu with modern pages
    QAction* Picturegrid1 = nullptr;  // "Picture grid...", beside it
    // The file list's pictures as a grid, made when first shown.
    QWidget* FormPictures = nullptr;
    TPictureGrid* PictureGrid = nullptr;
    TPictureGridModel* FGridModel = nullptr;
    TThumbnailFetcher* FThumbnails = nullptr;
    // Pop-up menus of the two fields.
    QMenu* PopupMenuBookmark = nullptr;
    QAction* Addbookmark1 = nullptr;
    QAction* Deleteentry1 = nullptr;
    QAction* Deleteallentrys1 = nullptr;
    QMenu* PopupMenuDownload = nullptr;
    QAction* MenuItem2 = nullptr;
    QAction* MenuItem4 = nullptr;
    QAction* MenuItem5 = nullptr;

    // The options' values; the Options menu shows them.
    THarvestOptions* HarvestOptions = nullptr;

    // ---- Run-time fields ------------------------------------------------------------------
    bool Busy = false;
    std::atomic<bool> StopRequested{false};
    int CurrentDocIndex = -1;
    int CurrentFileIndex = -1;
    QByteArray LastFileLink;
    bool FirstFileTaken = false;

    // ---- UnitMain.cpp: window, options, settings ------------------------------------------
    void FormCreate();
    void FormActivate();
    void FormClose();
    void Quit1Click();
    void UpdateScreen(TLed* sender = nullptr);
    void SetStatusText(const QString& text);  // status-bar panel 0
    QString StatusText() const;
    void ProcessMessages();  // let pending user-interface events run
    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;

    void Addnewfilestoexcistinglistwhenparsing1Click();
    void Autoselectdownloadfilesafterparsing1Click();
    void Autoselectfirstfilefromeachlink1Click();
    void Skipfileifexistindownloaddirectory1Click();
    void Addnewlinksfoundwhenparsingtoexistinglist1Click();
    void Addembeddedimageswhenparsing1Click();
    void Includelinksonelevelupwhenparsingmaindocument1Click();
    void Beepwhendoneworking1Click();
    void Usefriendlybossnameontaskbar1Click();
    void Displayimagepreview1Click();
    void Letpreviewjumptolatestfiledownloaded1Click();
    void Autosavelinksfilesasdefaultonquit1Click();
    void Savewindowpositiononexit1Click();
    void Findlinksasabrowserdoesmodernpages1Click();

    // ---- MainProgress.cpp --------------------------------------------------------------------
    void Timer1Timer();
    void ShowBar(bool show, int32_t position, int32_t total);
    void UpdatePanels();
    void Displaydownloadengineprogress1Click();

    // ---- MainRetrieval.cpp -----------------------------------------------------------------
    void ButtonStopClick();
    void ButtonStartClick();
    void ButtonParseClick();
    void Useselectedlineasmaindocumentandparseit1Click();
    void TimerDocTimer();
    // The document time-out (30000 ms); tests shorten it, users never see it.
    static void SetDocTimeOutForTesting(int milliseconds);
    static int DocTimeOut();

    // ---- MainScanner.cpp ---------------------------------------------------------------------
    // `address` is the page's own address after redirects: the modern scanner resolves against
    // it (the classic rules against `base`). Empty: the base stands in for it.
    void ParseDocument(const QByteArray& base, const QByteArray& text, int parseMode,
                       const QByteArray& address = QByteArray());
    bool ExistInList(const QByteArray& link);
    bool ExistInFileList(const QByteArray& link);
    bool ExistInParseList(const QByteArray& link);
    int AddDocItem(const QByteArray& caption);   // a new document item, state -1
    int AddFileItem(const QByteArray& caption);  // a new file item, with its sub-items and tick

    // ---- MainDownload.cpp ----------------------------------------------------------------------
    void ButtonDownloadClick();
    bool StartDownload(const QByteArray& url, const QString& localPath, int itemIndex);
    // The request header values a download of `url` carries (the modern option's).
    TDownloadRequest RequestFor(const QByteArray& url) const;
    // The queue takes the file item `id`: skipped, failed for want of a free name, or named and
    // marked as downloading with the job that fetches it (its old name kept in `names`). The skip
    // rule looks at `there` when given (the modern rule), else at what takes the path now.
    std::optional<TTransferJob> TakeFile(uint64_t id, QHash<uint64_t, QByteArray>& names, const QSet<QString>* there);
    bool ActiveConnection();
    bool CheckFileName(int index);
    void CheckFile(int index);
    void UpdateIconsInfileList();
    QString LocalPath(int index) const;         // download field text, "/", Filename column; empty unless plain
    bool PathTaken(const QString& path) const;  // the skip and rename rules' test
    QSet<QString> PresentFilePaths() const;     // the file items' paths that are on disk now
    // The engine slots and the engines' reports; it finds an engine's item by the item's id.
    TDownloadScheduler* Downloads = nullptr;

    // ---- MainListFiles.cpp -----------------------------------------------------------------------
    void SaveListToDisk();
    void LoadListFromDisk(bool confirm = true);  // without confirm: no message box after a load
    // The File menu's load: the lists, then the skip marks and the screen; the confirmation on ask.
    void LoadLists(bool confirm);
    // At start, with "Save links && files on program exit" checked: the lists the last exit saved.
    void LoadListsAtStart();
    void Savelinksfilelists1Click();
    void Loadlinksfilelistfromdisk1Click();
    // The session: every change of the lists goes to "Kelvorn.session" as it happens; null
    // until the start has read the last one.
    TSessionRecorder* Session() const { return FSession.get(); }
    bool FlushSession();  // true when everything is on disk

    // ---- MainListCommands.cpp --------------------------------------------------------------------
    void ListViewDocChange(int index);
    void ListViewFileChange(int index);
    void ListViewDocInsert(int index);
    void ListViewFileInsert(int index);
    void SelectAllFiles();  // "Select all" of the file list

    // ---- MainPicker.cpp ----------------------------------------------------------------------
    // Ticks the untouched files the filter keeps, one copy of each picture; unticks the others.
    void ApplyFileFilter(const TFileFilter& filter);

    // ---- MainDirectory.cpp -------------------------------------------------------------------
    static bool DirectoryOk(const QString& directory);
    // Creates the desktop's default download directory when it is missing; true when it exists.
    static bool CreateDefaultDownloadDir();
    void ComboBoxBookmarkChange();
    void ComboBoxDownloadChange();

    // ---- MainBookmarks.cpp -------------------------------------------------------------------
    void OpenDirectoryDialog();

    // ---- MainPreview.cpp ----------------------------------------------------------------------
    void PreviewImage(int index);
    void BlankPreviewImage();
    void ListViewFileClick();
    void ListViewFileDblClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Each companion file connects its own handlers; the constructor calls all of them.
    void WireProgress();
    void WireRetrieval();
    void WireScanner();
    void WireDownload();
    void WireListFiles();
    void WireListCommands();
    void WireBookmarks();
    void WirePreview();
    void WirePicker();
    void ShowPickerCommands();  // the file list's menu offers the picker's commands with modern pages
    void FilterFiles();
    void ShowPictureGrid();
    TGridFacts GridFacts(const QByteArray& address) const;
    bool EventFilterListCommands(QObject* watched, QEvent* event);
    bool EventFilterBookmarks(QObject* watched, QEvent* event);

    // ---- private state of UnitMain.cpp ----
public:
    // Step 6 of the shut-down: saves both lists as the menu command does. The list-file code
    // sets it when it wires itself up; unset, nothing is saved.
    std::function<void()> SaveListsOnExit;
    // The design-time bounds of the window and the address shown at a first start.
    static constexpr int DesignLeft = 198, DesignTop = 188, DesignWidth = 720, DesignHeight = 540;
    static constexpr int DesignSideWidth = 97;  // the side panel's width, and its least width
    static const char* const DefaultDocument;
    static QString DefaultDownloadDir();

private:
    void BuildMenus();
    void BuildTopPanel();
    void BuildLists();
    void BuildSidePanel();
    void BuildStatusBar();
    void ConnectOption(QAction* item, void (TFormMain::*handler)());
    void ApplyTaskbarOption();
    void MakeHostConnectionsMenu();
    void ReadSettings();
    void ReadGeometry(TRegistry& reg);
    void WriteSettings();
    void LayoutTopPanel();
    void LayoutSidePanel();
    void FitSidePanel();  // the side panel's least width from its fixed texts
    void LayoutStatusBar();
    void ApplySplitterWidths();
    int DocWidthNow() const;
    int PreviewWidthNow() const;
    std::array<QLabel*, 5> FPanels{};
    int FDocWidth = 241;  // kept while the window is not laid out
    int FPreviewWidth = DesignSideWidth;
    bool FDirectoryWarned = false;  // warned about FWarnedDirectory already
    QString FWarnedDirectory;
    // The long commands under way; each one holds a TCommandGuard on it while it runs.
    TCommandGate FCommands;

    // ---- private state of MainRetrieval.cpp ----
    class DocumentHost;
    TDocumentRetrieval* FRetrieval = nullptr;  // the document commands; owns HttpDoc

    // ---- private state of MainScanner.cpp ----
    void ScanTurn(bool now);  // a turn for the window: now, or when one is due
    // Processes events with the lists' held view updates lifted for the turn.
    void ListTurn();
    std::unique_ptr<TEventPacer> FScanPacer;
    void ParseModernDocument(const QByteArray& address, const QByteArray& text, int parseMode);
    void NameModernFiles();  // tells apart the file items of a harvest that would share a name
    QList<TModernLink> ScanModernPage(const QByteArray& address, const QByteArray& text, QList<TPictureFacts>& facts);
    QString FScanLimitReason;  // the limit the last modern scan reached, until a command ends
    bool FModernScan = false;  // the running scan names its new file items the modern way
public:
    // The Referer of a modern request: the page on which the scanner first found the address, as
    // much of it as browsers send there.
    QByteArray ReferrerOf(const QByteArray& address) const { return ReferrerFor(FReferrers.value(address), address); }
    // The headers of a modern request for `address` on a client's header record; with the
    // option off, the record is left as the classic requests have it (no User-Agent, no Referer).
    void SetModernHeaders(THeaderInfo& info, const QByteArray& address) const;

private:
    QHash<QByteArray, QByteArray> FReferrers;
    // What the modern scanner learnt about the pictures it listed: copies and declared sizes.
    QHash<QByteArray, TPictureFacts> FPictureFacts;

    // ---- private state of MainListFiles.cpp ----
    TListFileStore* FListFiles = nullptr;
    std::unique_ptr<TSessionRecorder> FSession;
    // Opens the session store; true when it holds a session to bring back.
    bool OpenSession(TSessionData& last);
    // A save or a load lets events run after its records; meanwhile the lists must not change.
    bool ListFilesRunning() const;

    // ---- private state of MainListCommands.cpp ----
    void ListViewDocDblClick();
    void RunListCommand(const std::function<void()>& command);       // guarded, idle lists only
    void RunListCommandLater(const std::function<void()>& command);  // after the event at hand
    void SelectByHostPrefix(TCheckListView* list, int current);
    void DeleteByHostPrefix(TCheckListView* list, int& current);
    void ResetLink();
    void ResetFile();
    void SortFileList();
    void SelectByKeyword();
    void ListViewResized(TCheckListView* list);

    // ---- private state of MainBookmarks.cpp ----
    void Addbookmark1Click();      // document field: "Add bookmark"
    void Deleteentry1Click();      //                 "Delete bookmark"
    void Deleteallentrys1Click();  //                 "Delete all bookmarks"
    void MenuItem2Click();         // download field: "Add bookmark"
    void MenuItem4Click();         //                 "Delete bookmark"
    void MenuItem5Click();         //                 "Delete all bookmarks"
    void Addbookmark2Click();      // document list: "Add to bookmark"
    void ComboBoxDownloadExit();   // the download field lost the focus

    // ---- private state of MainPreview.cpp ----
    void Help3Click();  // "Documentation"
    void Info1Click();  // "About"
    TPreviewPane* FPreview = nullptr;
};
