// The download history through the window's Download files: with "Skip files downloaded before"
// on, an address fetched before is not fetched again, and a new address whose content is a copy
// of a file fetched before is skipped once hashed (its copy removed); "Forget download history"
// empties the history after a confirmation; with the option off every file is kept.
#include <QDate>
#include <QTemporaryDir>
#include <QtTest>

#include "DownloadFixture.h"
#include "core/TSessionStore.h"
#include "main/TSessionRecorder.h"
#include "rules/ListStates.h"
#include "support/IsolatedSettings.h"
#include "support/PyHttpServer.h"

namespace {
int HistoryCount(const DownloadWindow& w) { return w.Form->Session()->Store().History().Count(); }

QString BeforeText(const QString& name)
{
    return QStringLiteral("Downloaded before on %1 as %2").arg(QDate::currentDate().toString(Qt::ISODate), name);
}
}  // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT
private slots:
    void skipsWhatWasDownloadedBefore();
    void optionOffKeepsCopies();
};

void TestHistoryWindow::skipsWhatWasDownloadedBefore()
{
    IsolatedSettings isolated;
    QTemporaryDir site;
    WriteFile(site.path(), "a.jpg", QByteArray(4000, 'x'));
    WriteFile(site.path(), "copy.jpg", QByteArray(4000, 'x'));  // the same picture at another address
    WriteFile(site.path(), "c.jpg", QByteArray(3000, 'y'));
    PyHttpServer server(site.path());
    QVERIFY(server.Start());

    DownloadWindow w;
    QTRY_VERIFY_WITH_TIMEOUT(w.Form->Session() != nullptr, 30000);  // opened once the window runs
    w.Form->Skipfilesdownloadedbefore1->setChecked(true);
    w.AddFile(server.Url("/a.jpg"));
    w.Download();
    QCOMPARE(w.List()->ImageIndex(0), int(FileDownloaded));
    QTRY_COMPARE_WITH_TIMEOUT(HistoryCount(w), 1, 30000);

    // A copy under another address is fetched (its content is not known before), then skipped.
    const int copy = w.AddFile(server.Url("/copy.jpg"));
    const int other = w.AddFile(server.Url("/c.jpg"));
    w.Download();
    QTRY_COMPARE_WITH_TIMEOUT(w.List()->ImageIndex(copy), int(FileSkipped), 30000);
    QCOMPARE(w.List()->Reason(copy), BeforeText("a.jpg"));
    QVERIFY(!QFile::exists(w.Path("copy.jpg")));
    QCOMPARE(w.List()->ImageIndex(other), int(FileDownloaded));
    QTRY_COMPARE_WITH_TIMEOUT(HistoryCount(w), 2, 30000);
    QCOMPARE(w.Read("c.jpg"), QByteArray(3000, 'y'));

    // The same address again: skipped before anything is fetched.
    QVERIFY(QFile::remove(w.Path("a.jpg")));
    w.List()->Clear();
    w.AddFile(server.Url("/a.jpg"));
    w.Download();
    QCOMPARE(w.List()->ImageIndex(0), int(FileSkipped));
    QCOMPARE(w.List()->Reason(0), BeforeText("a.jpg"));
    QVERIFY(!QFile::exists(w.Path("a.jpg")));

    // Forgetting asks first; "No" keeps the history, "Yes" empties it.
    QStringList asked;
    int answer = mrNo;
    w.Form->MessageBoxHook = [&](MsgKind kind, const QString&, const QString& text) {
        asked << text;
        return kind == MsgKind::Confirm ? answer : int(mrOk);
    };
    w.Form->Forgetdownloadhistory1->trigger();
    QCOMPARE(asked, QStringList{QStringLiteral("Forget the download history (2 files)?")});
    QCOMPARE(HistoryCount(w), 2);
    answer = mrYes;
    w.Form->Forgetdownloadhistory1->trigger();
    QCOMPARE(HistoryCount(w), 0);

    // Forgotten: the address is fetched again.
    w.List()->Clear();
    w.AddFile(server.Url("/a.jpg"));
    w.Download();
    QCOMPARE(w.List()->ImageIndex(0), int(FileDownloaded));
    QCOMPARE(w.Read("a.jpg"), QByteArray(4000, 'x'));
}

void TestHistoryWindow::optionOffKeepsCopies()
{
    IsolatedSettings isolated;
    QTemporaryDir site;
    WriteFile(site.path(), "a.jpg", QByteArray(2000, 'x'));
    WriteFile(site.path(), "copy.jpg", QByteArray(2000, 'x'));
    PyHttpServer server(site.path());
    QVERIFY(server.Start());

    DownloadWindow w;
    QTRY_VERIFY_WITH_TIMEOUT(w.Form->Session() != nullptr, 30000);
    QVERIFY(!w.Form->Skipfilesdownloadedbefore1->isChecked());
    w.AddFile(server.Url("/a.jpg"));
    w.AddFile(server.Url("/copy.jpg"));
    w.Download();
    // Both are remembered, and both copies stay.
    QTRY_COMPARE_WITH_TIMEOUT(HistoryCount(w), 2, 30000);
    QCOMPARE(w.List()->ImageIndex(1), int(FileDownloaded));
    QCOMPARE(w.Read("copy.jpg"), QByteArray(2000, 'x'));
    // A later harvest with the option on skips the address.
    w.Form->Skipfilesdownloadedbefore1->setChecked(true);
    w.List()->Clear();
    w.AddFile(server.Url("/copy.jpg"));
    w.Download();
    QCOMPARE(w.List()->ImageIndex(0), int(FileSkipped));
    QCOMPARE(w.List()->Reason(0), BeforeText("copy.jpg"));
}

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
