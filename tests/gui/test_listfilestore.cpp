// The list-file store on its own, with two plain lists: when a load asks the window for what
// only the window knows. (What the files hold and what the user is told: test_listfiles.)
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/ListRecords.h"
#include "main/TListFileStore.h"
#include "widgets/TCheckListView.h"

namespace {
void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArrayList Captions(const TCheckListView& list)
{
    QByteArrayList captions;
    for (int i = 0; i < list.Count(); ++i)
        captions << list.Caption(i);
    return captions;
}
}  // namespace

class TestListFileStore : public QObject {
    Q_OBJECT

    QTemporaryDir* FDir = nullptr;
    TCheckListView* FDocs = nullptr;
    TCheckListView* FFiles = nullptr;
    QStringList FLog;  // the hooks in the order they were asked

    // The log with repeats folded, without the paced event turns a slow machine adds between and
    // after records.
    QStringList Steps() const
    {
        QStringList steps;
        for (const QString& step : FLog)
            if (steps.isEmpty() || steps.last() != step)
                steps << step;
        while (!steps.isEmpty() && steps.last() == "events")
            steps.removeLast();
        return steps;
    }
    QString Dir() const { return FDir->path() + "/"; }
    TListFileHooks LoggingHooks()
    {
        TListFileHooks hooks;
        hooks.LetEventsRun = [this] { FLog << "events"; };
        hooks.ForgetCurrentFile = [this] { FLog << QStringLiteral("forget files=%1").arg(FFiles->Count()); };
        // The window may blank the preview of a file item: the items still stand meanwhile.
        hooks.FileListClearing = [this] {
            FLog << QStringLiteral("clearing files=%1 docs=%2").arg(FFiles->Count()).arg(FDocs->Count());
        };
        return hooks;
    }

private slots:
    void init()
    {
        FDir = new QTemporaryDir;
        FDocs = new TCheckListView;
        FFiles = new TCheckListView;
        FLog.clear();
    }
    void cleanup()
    {
        delete FFiles;
        delete FDocs;
        delete FDir;
    }

    // A load empties the document list, asks the window to let go of the file items while they
    // still stand, empties the file list, and forgets the current file around every record.
    void loadAsksTheWindowInOrder()
    {
        WriteAll(Dir() + DocListFileName,
                 DocRecordBytes({"http://d/2", true, -1, {}, {}}) + DocRecordBytes({"http://d/1", false, 2, {}, {}}));
        WriteAll(Dir() + FileListFileName, FileRecordBytes({"http://f/x.jpg", true, 2, "x.jpg", "12"}));
        FDocs->SetSorted(true);
        FDocs->Add("http://old/doc");
        FFiles->Add("http://old/a.jpg");
        FFiles->Add("http://old/b.jpg");
        TListFileStore store(FDocs, FFiles, LoggingHooks());
        const TListFileOutcome outcome = store.Load(Dir());
        QVERIFY(outcome.Complete);
        QVERIFY(outcome.Failure.isEmpty());
        QCOMPARE(
            Steps(),
            (QStringList{"forget files=2", "clearing files=2 docs=0", "events", "forget files=0", "forget files=1"}));
        // The file's order, and the sorting left off for the window to switch on after it has
        // told the user.
        QCOMPARE(Captions(*FDocs), (QByteArrayList{"http://d/2", "http://d/1"}));
        QVERIFY(!FDocs->Sorted());
        QCOMPARE(FDocs->StateImage(1), 3);
        QCOMPARE(Captions(*FFiles), QByteArrayList{"http://f/x.jpg"});
        QCOMPARE(FFiles->SubItem(0, 1), QByteArray("x.jpg"));
    }

    // Without "Kelvorn.dir" nothing is cleared: the file list's records are appended and the
    // window is not asked to let go of its file items.
    void loadWithOnlyTheFileList()
    {
        WriteAll(Dir() + FileListFileName, FileRecordBytes({"http://f/new.jpg", false, -1, "new.jpg", ""}));
        FDocs->SetSorted(true);
        FDocs->Add("http://old/doc");
        FFiles->Add("http://old/a.jpg");
        TListFileStore store(FDocs, FFiles, LoggingHooks());
        QVERIFY(store.Load(Dir()).Complete);
        QCOMPARE(Steps(), (QStringList{"events", "forget files=1", "forget files=2"}));
        QCOMPARE(Captions(*FDocs), QByteArrayList{"http://old/doc"});
        QVERIFY(FDocs->Sorted());
        QCOMPARE(Captions(*FFiles), (QByteArrayList{"http://old/a.jpg", "http://f/new.jpg"}));
    }
};

QTEST_MAIN(TestListFileStore)
#include "test_listfilestore.moc"
