#include "main/TListFileStore.h"

#include <QFile>
#include <QSaveFile>
#include <QScopeGuard>

#include "platform/EventPacer.h"
#include "rules/ListRecords.h"
#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"

namespace {
// Pending events run between records, but not after every one: with a hundred thousand records
// that would cost more than the records. They run at most every 20 ms (smooth repainting), and
// no sooner than four times what the last run took: each run lays out the whole growing list,
// so a fixed interval would make a long load quadratic. Events thus take at most a fifth of
// the time, and the window still repaints several times a second.
constexpr qint64 ListFilesPumpMinNs = 20'000'000;
constexpr qint64 ListFilesPumpShare = 4;

QString Failure(const QString& action, const QString& path, const QString& reason)
{
    return action + QLatin1Char(' ') + path + QLatin1String(": ") + reason;
}

bool OpenToRead(QFile& file, QString& failure)
{
    if (file.open(QIODevice::ReadOnly))
        return true;
    failure = Failure(QStringLiteral("Could not open the list file"), file.fileName(), file.errorString());
    return false;
}

void Call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}
}  // namespace

TListFileStore::TListFileStore(TCheckListView* docs, TCheckListView* files, TListFileHooks hooks, QObject* parent)
    : QObject(parent), FDocs(docs), FFiles(files), FHooks(std::move(hooks))
{
}

TListFileStore::~TListFileStore()
{
    delete FWriter;
    delete FFileWriter;
}

TEventPacer TListFileStore::NewPacer() const
{
    return TEventPacer(
        ListFilesPumpMinNs, ListFilesPumpShare, [this] { Call(FHooks.LetEventsRun); },
        TEventPacer::First::AfterMinimum);
}

// Writes one list into `out`, a temporary file beside its list file; Save commits it. A failed
// or interrupted save thus never leaves a torn list file behind. False on a failure (told in
// `failure`) and when a later save took over while events ran.
bool TListFileStore::WriteListFile(QSaveFile* out, bool fileList, int generation, QString& failure)
{
    TCheckListView* list = fileList ? FFiles : FDocs;
    const QString path = out->fileName();
    if (!out->open(QIODevice::WriteOnly)) {
        failure = Failure(QStringLiteral("Could not create the list file"), path, out->errorString());
        return false;
    }
    const int recordSize = fileList ? FileRecordSize : DocRecordSize;
    char record[FileRecordSize];
    TEventPacer pump = NewPacer();
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
            failure = Failure(QStringLiteral("Could not write the list file"), path, reason);
            return false;
        }
        pump.MaybeTurn();
        if (FWriterGeneration != generation)
            return false;  // a later save (at exit) took over and wrote the files whole
    }
    return true;
}

TListFileOutcome TListFileStore::Save(const QString& directory)
{
    TListFileOutcome outcome;
    delete FWriter;  // a save interrupted by this one: its temporary files go
    delete FFileWriter;
    FWriter = new QSaveFile(directory + QLatin1String(DocListFileName));
    FFileWriter = new QSaveFile(directory + QLatin1String(FileListFileName));
    const int generation = ++FWriterGeneration;
    auto drop = qScopeGuard([this, generation] {
        if (FWriterGeneration == generation) {
            delete FWriter;
            delete FFileWriter;
            FWriter = FFileWriter = nullptr;
        }
    });
    if (!WriteListFile(FWriter, false, generation, outcome.Failure))
        return outcome;
    Call(FHooks.LetEventsRun);
    if (FWriterGeneration != generation || !WriteListFile(FFileWriter, true, generation, outcome.Failure))
        return outcome;
    // Both temporaries are whole; the two commits follow back to back, so that a program ended
    // meanwhile leaves the old pair or the new one, not a new document list beside an old file
    // list.
    if (!FWriter->commit()) {
        outcome.Failure =
            Failure(QStringLiteral("Could not write the list file"), FWriter->fileName(), FWriter->errorString());
        return outcome;
    }
    outcome.DocFileWritten = true;
    if (!FFileWriter->commit()) {
        outcome.Failure = Failure(QStringLiteral("Could not write the list file"), FFileWriter->fileName(),
                                  FFileWriter->errorString());
        return outcome;
    }
    outcome.Complete = true;
    return outcome;
}

int PutListRecord(TCheckListView& list, const TListRecord& item, bool fileList)
{
    // The record's values win over what the insert handler put into the new item. A value the
    // item holds already is not set again: every change repaints and notifies.
    const int row = list.Add(item.Caption);
    if (list.Checked(row) != item.Ticked)
        list.SetChecked(row, item.Ticked);
    if (list.ImageIndex(row) != item.ImageIndex)
        list.SetImageIndex(row, item.ImageIndex);
    if (fileList) {
        if (list.SubItem(row, 1) != item.FileName)
            list.SetSubItem(row, 1, item.FileName);
        if (list.SubItem(row, 2) != item.Size)
            list.SetSubItem(row, 2, item.Size);
    }
    if (item.ImageIndex >= 0)
        list.SetStateImage(row, NoBoxStateImage);  // an item with an icon shows no check box
    return row;
}

// Appends the records of an open list file to its list. A trailing partial record (a file
// cut short) is ignored; a read error is reported and the items read so far stay.
bool TListFileStore::ReadListFile(QFile& file, bool fileList, QString& failure)
{
    TCheckListView* list = fileList ? FFiles : FDocs;
    const int recordSize = fileList ? FileRecordSize : DocRecordSize;
    char record[FileRecordSize];
    TEventPacer pump = NewPacer();
    // Between turns the view takes the records without laying out and repainting each time.
    TListUpdates held(list);
    for (;;) {
        if (fileList)
            Call(FHooks.ForgetCurrentFile);
        const qint64 got = file.read(record, recordSize);
        if (got < 0) {
            failure = Failure(QStringLiteral("Could not read the list file"), file.fileName(), file.errorString());
            return false;
        }
        if (got < recordSize)
            return true;
        PutListRecord(*list, fileList ? GetFileRecord(record) : GetDocRecord(record), fileList);
        if (fileList)
            Call(FHooks.ForgetCurrentFile);
        pump.MaybeTurn();
    }
}

TListFileOutcome TListFileStore::Load(const QString& directory)
{
    TListFileOutcome outcome;
    QFile docFile(directory + QLatin1String(DocListFileName));
    if (docFile.exists()) {
        // Open before clearing: a file that cannot be read must not cost the lists.
        if (!OpenToRead(docFile, outcome.Failure))
            return outcome;
        FDocs->Clear();
        FDocs->SetSorted(false);  // items keep the file's order while appended
        Call(FHooks.ForgetCurrentFile);
        Call(FHooks.FileListClearing);
        FFiles->Clear();
        if (!ReadListFile(docFile, false, outcome.Failure))
            return outcome;
        docFile.close();
    }
    Call(FHooks.LetEventsRun);
    QFile fileFile(directory + QLatin1String(FileListFileName));
    if (fileFile.exists()) {
        if (!OpenToRead(fileFile, outcome.Failure) || !ReadListFile(fileFile, true, outcome.Failure))
            return outcome;
    }
    outcome.Complete = true;
    return outcome;
}
