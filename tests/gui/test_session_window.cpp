// The window keeps its session: what the lists hold comes back after a restart of the window,
// with every field the classic list files cannot keep; a damaged session file is set aside.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>
#include <QtTest>

#include "core/TSessionStore.h"
#include "gui/ListTestWindow.h"
#include "main/TSessionRecorder.h"
#include "rules/ListStates.h"
#include "support/SessionQuery.h"
#include "support/UnrulyServer.h"

namespace {
struct TStoredItem {
    QByteArray Address;
    bool Checked;
    int State;
    QByteArray FileName;
    QByteArray Size;
    QString Reason;
};

QList<TStoredItem> ItemsOf(const TCheckListView& list)
{
    QList<TStoredItem> items;
    for (int i = 0; i < list.Count(); ++i)
        items.append({list.Caption(i), list.Checked(i), list.ImageIndex(i), list.SubItem(i, 1), list.SubItem(i, 2),
                      list.Reason(i)});
    return items;
}

void CompareItems(const QList<TStoredItem>& got, const QList<TStoredItem>& want)
{
    QCOMPARE(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].Address, want[i].Address);
        QCOMPARE(got[i].Checked, want[i].Checked);
        QCOMPARE(got[i].State, want[i].State);
        QCOMPARE(got[i].FileName, want[i].FileName);
        QCOMPARE(got[i].Size, want[i].Size);
        QCOMPARE(got[i].Reason, want[i].Reason);
    }
}

std::unique_ptr<TFormMain> NewWindow(QStringList& texts, const QString& downloads)
{
    auto form = std::make_unique<TFormMain>();
    form->MessageBoxHook = [&texts](MsgKind, const QString&, const QString& text) {
        texts << text;
        return int(mrOk);
    };
    form->EndProcessHook = [] {};
    form->BeepHook = [] {};
    form->ComboBoxDownload->SetText(downloads);
    return form;
}
}  // namespace

class TestSessionWindow : public QObject {
    Q_OBJECT
private slots:
    // Both lists with every field come back after a restart of the window, also where the list
    // files would cut them (long addresses, long names in UTF-8, reasons); a file that was being
    // downloaded is pending again. With the option off the session is kept but not brought back.
    void listsComeBackAfterRestart_data()
    {
        QTest::addColumn<bool>("option");
        QTest::addColumn<bool>("closed");
        QTest::newRow("option on, window closed: everything back") << true << true;
        QTest::newRow("option off: empty lists") << false << true;
    }
    void listsComeBackAfterRestart()
    {
        QFETCH(bool, option);
        QFETCH(bool, closed);
        IsolatedSettings settings;
        const QString downloads = settings.Root() + "/dl";
        QVERIFY(QDir().mkpath(downloads));
        const QByteArray longAddress = "http://example.test/" + QByteArray(1980, 'q');
        const QByteArray utf8Name = QStringLiteral("Größe_日本語_%1.jpg").arg(QString(60, QChar('x'))).toUtf8();
        QList<TStoredItem> docs, files;
        QStringList texts;
        {
            auto first = NewWindow(texts, downloads);
            first->Autosavelinksfilesasdefaultonquit1->setChecked(option);
            QTRY_VERIFY_WITH_TIMEOUT(first->Session() != nullptr, 30000);
            TCheckListView& doc = *first->ListViewDoc;
            TCheckListView& file = *first->ListViewFile;
            TListTestWindow::Put(doc, longAddress, true, -1);
            TListTestWindow::Put(doc, "http://b.test/parsed.html", false, DocParsed);
            const int failedDoc = TListTestWindow::Put(doc, "http://a.test/failed.html", false, DocFailed);
            doc.SetReason(failedDoc, QStringLiteral("Bad status line"));
            int row = TListTestWindow::Put(file, longAddress + ".jpg", true, -1);
            file.SetSubItem(row, 1, utf8Name);
            row = TListTestWindow::Put(file, "http://f.test/busy.jpg", true, FileDownloading);
            file.SetSubItem(row, 1, "busy.jpg");
            file.SetSubItem(row, 2, "12345");
            row = TListTestWindow::Put(file, "http://f.test/failed.jpg", false, FileFailed);
            file.SetSubItem(row, 1, "failed.jpg");
            file.SetReason(row, QStringLiteral("Not found (404)"));
            row = TListTestWindow::Put(file, "http://f.test/gone.jpg", true, -1);
            file.Delete(row);
            docs = ItemsOf(doc);
            files = ItemsOf(file);
            files[1].State = FilePending;  // what was downloading waits again
            if (closed)
                first->close();
            else
                first->FlushSession();  // what the writer commits within a second anyway
        }
        QVERIFY(QFile::exists(TSessionStore::DefaultPath()));
        texts.clear();
        auto next = NewWindow(texts, downloads);
        QTRY_VERIFY_WITH_TIMEOUT(next->Session() != nullptr, 30000);
        if (!option) {
            QCOMPARE(next->ListViewDoc->Count(), 0);
            QCOMPARE(next->ListViewFile->Count(), 0);
            return;
        }
        QCOMPARE(texts, QStringList());
        CompareItems(ItemsOf(*next->ListViewDoc), docs);
        QVERIFY(!QTest::currentTestFailed());
        CompareItems(ItemsOf(*next->ListViewFile), files);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(next->ButtonDownload->isEnabled());
    }

    // What the file list does not show of a transfer (content type, bytes, total, tries) is in the
    // session too, and stays there through a restart of the window.
    void transferFactsAreKept()
    {
        IsolatedSettings settings;
        const QString downloads = settings.Root() + "/dl";
        QVERIFY(QDir().mkpath(downloads));
        UnrulyServer server;
        const QByteArray address = server.Url("/once-5000.bin?503");  // busy at first, then served
        const char* facts =
            "SELECT tries || ' ' || content_type || ' ' || bytes_received || ' ' || bytes_total FROM file";
        QStringList texts;
        {
            auto first = NewWindow(texts, downloads);
            first->Autosavelinksfilesasdefaultonquit1->setChecked(true);
            first->Findlinksasabrowserdoesmodernpages1->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(first->Session() != nullptr, 30000);
            const int row = TListTestWindow::Put(*first->ListViewFile, address, true, -1);
            first->ListViewFile->SetSubItem(row, 1, "once.bin");
            first->ButtonDownloadClick();
            QCOMPARE(first->ListViewFile->ImageIndex(row), int(FileDownloaded));
            QVERIFY(first->FlushSession());
            QCOMPARE(QueryText(TSessionStore::DefaultPath(), facts),
                     QStringLiteral("2 application/octet-stream 5000 5000"));
            first->close();  // the option is kept on exit
        }
        auto next = NewWindow(texts, downloads);
        QTRY_VERIFY_WITH_TIMEOUT(next->Session() != nullptr, 30000);
        QCOMPARE(next->ListViewFile->Count(), 1);
        // Anything that touches the item records it again: with its facts.
        next->ListViewFile->SetChecked(0, false);
        QVERIFY(next->FlushSession());
        QCOMPARE(QueryText(TSessionStore::DefaultPath(), facts),
                 QStringLiteral("2 application/octet-stream 5000 5000"));
    }

    // A session file that is not ours is set aside under a new name and the user is told once;
    // the window goes on with a new session.
    void damagedSessionIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("random bytes") << QByteArray(5000, '\x5a');
        QTest::newRow("a cut database header") << QByteArray("SQLite format 3\0\x10\0", 19);
    }
    void damagedSessionIsSetAside()
    {
        QFETCH(QByteArray, content);
        IsolatedSettings settings;
        const QString path = TSessionStore::DefaultPath();
        const QString dir = QFileInfo(path).path();
        {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        QStringList texts;
        auto form = NewWindow(texts, settings.Root());
        QTRY_VERIFY_WITH_TIMEOUT(form->Session() != nullptr, 30000);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].contains(QStringLiteral("Kelvorn.session")), qPrintable(texts[0]));
        const QStringList aside = QDir(dir).entryList({QStringLiteral("Kelvorn.session.set-aside-*")}, QDir::Files);
        QVERIFY2(!aside.isEmpty(), qPrintable(QDir(dir).entryList().join(' ')));
        QFile kept(dir + "/" + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
        // The new session records as usual.
        TListTestWindow::Put(*form->ListViewDoc, "http://d.test/", true, -1);
        QVERIFY(form->FlushSession());
    }
};

QTEST_MAIN(TestSessionWindow)
#include "test_session_window.moc"
