// Saving both lists to "Kelvorn.dir" and "Kelvorn.fil" beside the program, and loading them back.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QSaveFile>
#include <QScopeGuard>

#include "rules/ListRecords.h"
#include "main/UnitMain.h"
#include "platform/EventPacer.h"
#include "platform/ProgramDir.h"
#include "widgets/TCheckListView.h"

namespace {
// Pending events run between records, but not after every one: with a hundred thousand records
// that would cost more than the records. They run at most every 20 ms (smooth repainting), and
// no sooner than four times what the last run took: each run lays out the whole growing list,
// so a fixed interval would make a long load quadratic. Events thus take at most a fifth of
// the time, and the window still repaints several times a second.
constexpr qint64 ListFilesPumpMinNs = 20'000'000;
constexpr qint64 ListFilesPumpShare = 4;

}  // namespace

void TFormMain::WireListFiles()
{
    // Closing the window with "Save links && files on program exit" checked saves as the menu does.
    SaveListsOnExit = [this] { SaveListToDisk(); };
    if (Savelinksfilelists1)
        connect(Savelinksfilelists1, &QAction::triggered, this, [this] { Savelinksfilelists1Click(); });
    if (Loadlinksfilelistfromdisk1)
        connect(Loadlinksfilelistfromdisk1, &QAction::triggered, this, [this] { Loadlinksfilelistfromdisk1Click(); });
}

// While a save or load runs, nothing but painting and timers may reach the window: the whole
// window below the title is disabled (lists, buttons, fields, menus), so neither the user nor
// a command started by the user can add, remove or reorder items meanwhile.
TFormMain::TListFilesRunState TFormMain::BeginListFilesRun(TListFilesRun run)
{
    TListFilesRunState state;
    state.Previous = FListFilesRun;
    state.Focus = QApplication::focusWidget();
    if (QWidget* central = centralWidget()) {
        state.CentralEnabled = central->isEnabled();
        central->setEnabled(false);
    }
    if (QMenuBar* bar = menuBar()) {
        state.MenuEnabled = bar->isEnabled();
        bar->setEnabled(false);
    }
    FListFilesRun = run;
    return state;
}

void TFormMain::EndListFilesRun(const TListFilesRunState& state)
{
    FListFilesRun = state.Previous;
    if (QWidget* central = centralWidget())
        central->setEnabled(state.CentralEnabled);
    if (QMenuBar* bar = menuBar())
        bar->setEnabled(state.MenuEnabled);
    if (state.Focus && state.Focus->isEnabled())
        state.Focus->setFocus();
}

void TFormMain::ListFileWarning(const QString& action, const QString& path, const QString& reason)
{
    ShowMessage(MsgKind::Warning, action + QLatin1Char(' ') + path + QLatin1String(": ") + reason);
}

// Writes one list to a temporary file beside `path` and renames it into place, so that a
// failed or interrupted save never leaves a torn list file behind.
bool TFormMain::WriteListFile(const QString& path, bool fileList)
{
    TCheckListView* list = fileList ? ListViewFile : ListViewDoc;
    delete FListWriter;  // a save interrupted by this one: its temporary file goes
    FListWriter = new QSaveFile(path);
    const int generation = ++FListWriterGeneration;
    QSaveFile* out = FListWriter;
    auto drop = qScopeGuard([this, generation] {
        if (FListWriterGeneration == generation) {
            delete FListWriter;
            FListWriter = nullptr;
        }
    });
    if (!out->open(QIODevice::WriteOnly)) {
        ListFileWarning(QStringLiteral("Could not create the list file"), path, out->errorString());
        return false;
    }
    const int recordSize = fileList ? FileRecordSize : DocRecordSize;
    char record[FileRecordSize];
    TEventPacer pump(ListFilesPumpMinNs, ListFilesPumpShare, [this] { ProcessMessages(); },
                     TEventPacer::First::AfterMinimum);
    // Walk up to the count taken at the start; the lists cannot change meanwhile, but an index
    // is still checked before use.
    const int count = list->Count();
    for (int i = 0; i < count && i < list->Count(); ++i) {
        TListRecord item;
        item.Caption = list->Caption(i);
        item.Ticked = list->Checked(i);
        item.ImageIndex = list->ImageIndex(i);
        if (fileList) {
            item.FileName = list->SubItem(i, 1);
            item.Size = list->SubItem(i, 2);
            PutFileRecord(record, item);
        } else {
            PutDocRecord(record, item);
        }
        if (out->write(record, recordSize) != recordSize) {
            const QString reason = out->errorString();
            out->cancelWriting();
            ListFileWarning(QStringLiteral("Could not write the list file"), path, reason);
            return false;
        }
        pump.MaybeTurn();
        if (FListWriterGeneration != generation)
            return false;  // a later save (at exit) took over and wrote the files whole
    }
    if (!out->commit()) {
        ListFileWarning(QStringLiteral("Could not write the list file"), path, out->errorString());
        return false;
    }
    return true;
}

void TFormMain::SaveListToDisk()
{
    try {
        // During a load the lists are incomplete; the files being read stay as they are.
        if (FListFilesRun == TListFilesRun::Loading)
            return;
        const TListFilesRunState state = BeginListFilesRun(TListFilesRun::Saving);
        auto end = qScopeGuard([this, &state] { EndListFilesRun(state); });

        ProcessMessages();
        const QString directory = DataDir();
        if (!WriteListFile(directory + QLatin1String(DocListFileName), false))
            return;
        const int docCount = ListViewDoc->Count();
        ProcessMessages();
        const bool filesWritten = WriteListFile(directory + QLatin1String(FileListFileName), true);
        const int fileCount = ListViewFile->Count();
        end.dismiss();
        EndListFilesRun(state);
        if (filesWritten)
            ShowMessage(MsgKind::Information, ListSavedText(docCount, fileCount, directory));
        // "Kelvorn.dir" now lies beside the program, whatever became of the file list.
        if (Loadlinksfilelistfromdisk1)
            Loadlinksfilelistfromdisk1->setEnabled(true);
    } catch (...) {
    }
}

// Appends the records of an open list file to its list. A trailing partial record (a file
// cut short) is ignored; a read error is reported and the items read so far stay.
bool TFormMain::ReadListFile(QFile& file, bool fileList)
{
    TCheckListView* list = fileList ? ListViewFile : ListViewDoc;
    const int recordSize = fileList ? FileRecordSize : DocRecordSize;
    char record[FileRecordSize];
    TEventPacer pump(ListFilesPumpMinNs, ListFilesPumpShare, [this] { ProcessMessages(); },
                     TEventPacer::First::AfterMinimum);
    for (;;) {
        if (fileList)
            CurrentFileIndex = -1;
        const qint64 got = file.read(record, recordSize);
        if (got < 0) {
            ListFileWarning(QStringLiteral("Could not read the list file"), file.fileName(), file.errorString());
            return false;
        }
        if (got < recordSize)
            return true;
        const TListRecord item = fileList ? GetFileRecord(record) : GetDocRecord(record);
        // The record's values win over what the insert handler put into the new item. A value
        // the item holds already is not set again: every change repaints and notifies.
        const int row = list->Add(item.Caption);
        if (list->Checked(row) != item.Ticked)
            list->SetChecked(row, item.Ticked);
        if (list->ImageIndex(row) != item.ImageIndex)
            list->SetImageIndex(row, item.ImageIndex);
        if (fileList) {
            if (list->SubItem(row, 1) != item.FileName)
                list->SetSubItem(row, 1, item.FileName);
            if (list->SubItem(row, 2) != item.Size)
                list->SetSubItem(row, 2, item.Size);
        }
        if (item.ImageIndex >= 0)
            list->SetStateImage(row, NoBoxStateImage);  // an item with an icon shows no check box
        if (fileList)
            CurrentFileIndex = -1;
        pump.MaybeTurn();
    }
}

void TFormMain::LoadListFromDisk(bool confirm)
{
    try {
        if (FListFilesRun != TListFilesRun::None)
            return;
        const TListFilesRunState state = BeginListFilesRun(TListFilesRun::Loading);
        // The document list sorts itself again at the end, whatever happened.
        auto end = qScopeGuard([this, &state] {
            EndListFilesRun(state);
            ListViewDoc->SetSorted(true);
        });

        ProcessMessages();
        const QString directory = DataDir();
        QFile docFile(directory + QLatin1String(DocListFileName));
        if (docFile.exists()) {
            // Open before clearing: a file that cannot be read must not cost the lists.
            if (!docFile.open(QIODevice::ReadOnly)) {
                ListFileWarning(QStringLiteral("Could not open the list file"), docFile.fileName(),
                                docFile.errorString());
                return;
            }
            ListViewDoc->Clear();
            ListViewDoc->SetSorted(false);  // items keep the file's order while appended
            CurrentFileIndex = -1;
            if (Letpreviewjumptolatestfiledownloaded1 && Letpreviewjumptolatestfiledownloaded1->isChecked())
                PreviewImage(-1);
            ListViewFile->Clear();
            if (!ReadListFile(docFile, false))
                return;
            docFile.close();
        }
        ProcessMessages();
        QFile fileFile(directory + QLatin1String(FileListFileName));
        if (fileFile.exists()) {
            if (!fileFile.open(QIODevice::ReadOnly)) {
                ListFileWarning(QStringLiteral("Could not open the list file"), fileFile.fileName(),
                                fileFile.errorString());
                return;
            }
            if (!ReadListFile(fileFile, true))
                return;
            fileFile.close();
        }
        end.dismiss();
        EndListFilesRun(state);
        if (confirm)
            ShowMessage(MsgKind::Information, ListLoadedText(ListViewDoc->Count(), ListViewFile->Count(), directory));
        ListViewDoc->SetSorted(true);
    } catch (...) {
    }
}

void TFormMain::Savelinksfilelists1Click() { SaveListToDisk(); }

void TFormMain::Loadlinksfilelistfromdisk1Click() { LoadLists(true); }

void TFormMain::LoadLists(bool confirm)
{
    try {
        if (FListFilesRun != TListFilesRun::None)
            return;
        LoadListFromDisk(confirm);
        if (Skipfileifexistindownloaddirectory1 && Skipfileifexistindownloaddirectory1->isChecked())
            UpdateIconsInfileList();
        UpdateScreen();
    } catch (...) {
    }
}
