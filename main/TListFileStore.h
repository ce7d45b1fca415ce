#pragma once
// Writes the document list and the file list to "Kelvorn.dir" and "Kelvorn.fil" and reads them
// back. It works on the two lists it is given and asks its owner, through a few hooks, for what
// only the window knows; it shows no message boxes: the outcome says what to tell the user.
#include <QObject>
#include <QString>
#include <functional>

class QFile;
class QSaveFile;
class TCheckListView;
class TEventPacer;
struct TListRecord;

// Appends an item with the record's values (an item with an icon shows no check box); returns
// its index.
int PutListRecord(TCheckListView& list, const TListRecord& item, bool fileList);

struct TListFileHooks {
    // Lets pending user-interface events run; called between records, paced.
    std::function<void()> LetEventsRun;
    // The file list has no current item any more (before and after every loaded file record).
    std::function<void()> ForgetCurrentFile;
    // A load is about to empty the file list (the preview may show one of its items).
    std::function<void()> FileListClearing;
};

struct TListFileOutcome {
    bool Complete = false;        // both files were handled: the confirmation is due
    bool DocFileWritten = false;  // a save left a new "Kelvorn.dir" beside the program
    QString Failure;              // what went wrong, in words for the user; empty when nothing did
};

class TListFileStore : public QObject {
    Q_OBJECT
public:
    TListFileStore(TCheckListView* docs, TCheckListView* files, TListFileHooks hooks, QObject* parent = nullptr);
    ~TListFileStore() override;

    // Replaces both files in `directory` (ending with "/"): both are written in full before
    // either is replaced, then the two replace theirs back to back. A save started while another
    // one lets events run (only the save at exit can do that) takes over: the older one stops
    // and drops its temporary files.
    TListFileOutcome Save(const QString& directory);
    // Rebuilds the lists from the files in `directory` that exist. Both lists are emptied only
    // when "Kelvorn.dir" exists; the document list's sorting is left off for the caller to
    // switch on again once it has told the user.
    TListFileOutcome Load(const QString& directory);

private:
    bool WriteListFile(QSaveFile* out, bool fileList, int generation, QString& failure);
    bool ReadListFile(QFile& file, bool fileList, QString& failure);
    TEventPacer NewPacer() const;

    TCheckListView* FDocs;
    TCheckListView* FFiles;
    TListFileHooks FHooks;
    // The files being written, kept here so that a later save can drop the older one's files.
    QSaveFile* FWriter = nullptr;      // the document list's
    QSaveFile* FFileWriter = nullptr;  // the file list's
    int FWriterGeneration = 0;
};
