// The File menu's save and load of both lists; TListFileStore reads and writes the files.
#include <QApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QPointer>
#include <QScopeGuard>

#include "rules/ListRecords.h"
#include "main/TCommandGuard.h"
#include "main/TDownloadScheduler.h"
#include "main/TListFileStore.h"
#include "main/TSessionRecorder.h"
#include "main/UnitMain.h"
#include "platform/Guarded.h"
#include "platform/ProgramDir.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

namespace {
// While a save or load runs, nothing but painting and timers may reach the window: the whole
// window below the title is disabled (lists, buttons, fields, menus), so neither the user nor
// a command started by the user can add, remove or reorder items meanwhile. The returned guard
// gives the window back as it was.
auto FreezeWindow(QMainWindow& window)
{
    QWidget* central = window.centralWidget();
    QMenuBar* bar = window.menuBar();
    const bool centralEnabled = !central || central->isEnabled();
    const bool menuEnabled = !bar || bar->isEnabled();
    QPointer<QWidget> focus = QApplication::focusWidget();
    if (central)
        central->setEnabled(false);
    if (bar)
        bar->setEnabled(false);
    return qScopeGuard([&window, centralEnabled, menuEnabled, focus] {
        if (QWidget* central = window.centralWidget())
            central->setEnabled(centralEnabled);
        if (QMenuBar* bar = window.menuBar())
            bar->setEnabled(menuEnabled);
        if (focus && focus->isEnabled())
            focus->setFocus();
    });
}

// Runs a save or a load with the window frozen, then reports what went wrong, if anything.
TListFileOutcome RunFrozen(TFormMain& window, const std::function<TListFileOutcome()>& run)
{
    TListFileOutcome outcome;
    {
        const auto frozen = FreezeWindow(window);
        window.ProcessMessages();
        outcome = run();
    }
    if (!outcome.Failure.isEmpty())
        window.ShowMessage(MsgKind::Warning, outcome.Failure);
    return outcome;
}
}  // namespace

void TFormMain::WireListFiles()
{
    TListFileHooks hooks;
    hooks.LetEventsRun = [this] { ListTurn(); };  // lifts the views' held updates for the turn
    hooks.ForgetCurrentFile = [this] { CurrentFileIndex = -1; };
    hooks.FileListClearing = [this] {
        if (Letpreviewjumptolatestfiledownloaded1->isChecked())
            PreviewImage(-1);
    };
    FListFiles = new TListFileStore(ListViewDoc, ListViewFile, std::move(hooks), this);
    // Closing the window with "Save links && files on program exit" checked saves as the menu does.
    SaveListsOnExit = [this] { SaveListToDisk(); };
    connect(Savelinksfilelists1, &QAction::triggered, this, [this] { Savelinksfilelists1Click(); });
    connect(Loadlinksfilelistfromdisk1, &QAction::triggered, this, [this] { Loadlinksfilelistfromdisk1Click(); });
}

void TFormMain::SaveListToDisk()
{
    Guarded(lcMain(), [this] {
        // During a load the lists are incomplete; the files being read stay as they are. A save
        // at exit during a save takes over from it.
        const TCommandGuard run(FCommands, TCommand::SaveLists, {TCommand::LoadLists});
        if (!run)
            return;
        const QString directory = DataDir();
        const TListFileOutcome outcome = RunFrozen(*this, [this, &directory] { return FListFiles->Save(directory); });
        if (outcome.Complete)
            ShowMessage(MsgKind::Information, ListSavedText(ListViewDoc->Count(), ListViewFile->Count(), directory));
        // "Kelvorn.dir" now lies beside the program, whatever became of the file list.
        if (outcome.DocFileWritten)
            Loadlinksfilelistfromdisk1->setEnabled(true);
    });
}

void TFormMain::LoadListFromDisk(bool confirm)
{
    Guarded(lcMain(), [this, confirm] {
        const TCommandGuard run(FCommands, TCommand::LoadLists, {TCommand::LoadLists, TCommand::SaveLists});
        if (!run)
            return;
        // The document list sorts itself again at the end, whatever happened.
        const auto sorted = qScopeGuard([this] { ListViewDoc->SetSorted(true); });
        const QString directory = DataDir();
        const TListFileOutcome outcome = RunFrozen(*this, [this, &directory] { return FListFiles->Load(directory); });
        if (outcome.Complete && confirm)
            ShowMessage(MsgKind::Information, ListLoadedText(ListViewDoc->Count(), ListViewFile->Count(), directory));
    });
}

void TFormMain::Savelinksfilelists1Click() { SaveListToDisk(); }

void TFormMain::Loadlinksfilelistfromdisk1Click() { LoadLists(true); }

void TFormMain::LoadLists(bool confirm)
{
    Guarded(lcMain(), [this, confirm] {
        if (ListFilesRunning())
            return;
        LoadListFromDisk(confirm);
        if (Skipfileifexistindownloaddirectory1->isChecked())
            UpdateIconsInfileList();
        UpdateScreen();
    });
}

bool TFormMain::ListFilesRunning() const { return FCommands.RunningAny({TCommand::SaveLists, TCommand::LoadLists}); }

void TFormMain::LoadListsAtStart()
{
    TSessionData last;
    const bool haveSession = OpenSession(last);
    // The option keeps the lists between runs. The session brings back everything the last run
    // had (also after a crash); without one, what the last exit saved comes back as the File
    // menu's load brings it (the same checks and marks), only without its confirmation.
    if (Autosavelinksfilesasdefaultonquit1->isChecked()) {
        if (haveSession && FSession) {
            ResumeInterrupted(last);
            FSession->Restore(last);
            ListViewDoc->SetSorted(true);
            if (!last.MainDocument.isEmpty())
                ComboBoxBookmark->SetText(QString::fromLatin1(last.MainDocument));
            if (Skipfileifexistindownloaddirectory1->isChecked())
                UpdateIconsInfileList();
            UpdateScreen();
        } else if (Loadlinksfilelistfromdisk1->isEnabled()) {
            LoadLists(false);
        }
    }
    if (FSession)
        FSession->Start(ComboBoxBookmark->Text().toLatin1());
}

bool TFormMain::OpenSession(TSessionData& last)
{
    const QString path = TSessionStore::DefaultPath();
    const bool existed = QFileInfo::exists(path);
    auto store = std::make_unique<TSessionStore>(path);
    const TSessionOpenOutcome outcome = store->Open(&last);
    // A session file that could not be read was set aside: the user hears of it once, in a
    // message box, since the lists of the last run are not coming back and the file may be
    // worth keeping.
    if (!outcome.Message.isEmpty())
        ShowMessage(MsgKind::Warning, outcome.Message);
    if (!outcome.Opened)
        return false;
    FSession = std::make_unique<TSessionRecorder>(std::move(store), ListViewDoc, ListViewFile);
    FSession->ReferrerOf = [this](const QByteArray& address) { return FReferrers.value(address); };
    FSession->AddFacts = [this](THarvestItem& item) {
        if (const TTransferFacts* facts = Downloads->Facts(item.Id)) {
            item.ContentType = facts->ContentType;
            item.BytesReceived = facts->BytesReceived;
            item.BytesTotal = facts->BytesTotal;
            item.Tries = facts->Tries;
        }
    };
    FSession->Restored = [this](uint64_t id, const THarvestItem& item) {
        if (item.Tries > 0)
            Downloads->SetFacts(id, {item.ContentType, item.BytesReceived, item.BytesTotal, item.Tries});
    };
    connect(ComboBoxBookmark, &TFlatComboBox::TextChanged, FSession.get(),
            [this] { FSession->SetMainDocument(ComboBoxBookmark->Text().toLatin1()); });
    return existed && outcome.SetAsidePath.isEmpty()
        && (!last.Documents.isEmpty() || !last.Files.isEmpty() || !last.MainDocument.isEmpty());
}

bool TFormMain::FlushSession() { return FSession && FSession->Flush(); }
