// The window killed with eight downloads running (a child process, kill -9), then started again:
// the session database is intact, the file list comes back with the eight files pending again,
// their part files still hold what came before the kill, and the next Download files continues
// each from there (a Range request) and brings every file home byte for byte.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "DownloadFixture.h"
#include <memory>
#include "core/HarvestOptions.h"
#include "core/HarvestSettings.h"
#include "core/TSessionStore.h"
#include "platform/PartFiles.h"
#include "platform/TRegistry.h"
#include "rules/ListStates.h"
#include "support/IsolatedSettings.h"
#include "support/SessionQuery.h"
#include "support/UnrulyServer.h"

namespace {
constexpr int Files = 8;
constexpr qint64 Size = 200000;
constexpr qint64 BeforeStall = 1000;  // the server's "stall" sends this much of the body first

QByteArray Name(int i) { return "f" + QByteArray::number(i); }
QByteArray Path(int i) { return "/" + Name(i) + "-" + QByteArray::number(Size) + ".bin"; }

// The options the child and the restarted window start with: lists kept on exit, the modern
// engine, and room for all eight files at one host.
void WriteOptions()
{
    THarvestOptions options;
    options.Set(TOption::AutoSave, true);
    options.Set(TOption::ModernLinks, true);
    options.SetHostConnections(8);
    TRegistry reg;
    QVERIFY(reg.OpenKey(HarvestSettingsKey(), true));
    options.WriteGroup(reg);
    options.WriteApart(reg);
    reg.CloseKey();
}

// The size of item i's part file; -1 when there is none. Its name comes from the address as the
// file list made it.
qint64 PartBytes(const QString& directory, int i)
{
    const QStringList parts =
        QDir(directory).entryList({QString::fromLatin1(Name(i) + "-*" + PartSuffix)}, QDir::Files);
    return parts.size() == 1 ? QFileInfo(directory + "/" + parts.first()).size() : -1;
}
}  // namespace

class TestSessionCrash : public QObject {
    Q_OBJECT
private slots:
    void killedWindowComesBackAndContinues();
};

void TestSessionCrash::killedWindowComesBackAndContinues()
{
    IsolatedSettings isolated;
    WriteOptions();
    QTemporaryDir downloads;
    UnrulyServer server;

    QStringList arguments{isolated.ProgramDirectory(), downloads.path()};
    for (int i = 0; i < Files; ++i)
        arguments << QString::fromLatin1(server.Url(Path(i) + "?stall"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(WINDOW_HARVESTER), arguments);
    QVERIFY(child.waitForStarted(30000));
    // All eight engines run, each with the bytes before its stall in its part file, and the
    // session has recorded them as downloading.
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).contains("running 8\n"), 60000);
    for (int i = 0; i < Files; ++i)
        QTRY_COMPARE_WITH_TIMEOUT(PartBytes(downloads.path(), i), BeforeStall, 60000);
    const QString database = isolated.ProgramDirectory() + "session/Kelvorn.session";
    QTRY_COMPARE_WITH_TIMEOUT(QueryText(database, "SELECT count(*) FROM file WHERE state = 0"), QString::number(Files),
                              60000);
    child.kill();  // SIGKILL: nothing of the child's exit code runs
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(QueryText(database, "PRAGMA integrity_check"), QStringLiteral("ok"));

    // Started again (settings and session where the child had them).
    auto window = std::make_unique<TFormMain>();
    window->MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    window->EndProcessHook = [] {};
    window->BeepHook = [] {};
    window->ComboBoxDownload->SetText(downloads.path());
    QTRY_VERIFY_WITH_TIMEOUT(window->Session() != nullptr, 30000);
    TCheckListView& files = *window->ListViewFile;
    QCOMPARE(files.Count(), Files);
    for (int i = 0; i < Files; ++i) {
        QCOMPARE(files.ImageIndex(i), int(FilePending));
        QVERIFY(files.Checked(i));
        QCOMPARE(PartBytes(downloads.path(), i), BeforeStall);
    }
    window->ButtonDownloadClick();
    for (int i = 0; i < Files; ++i) {
        QCOMPARE(files.ImageIndex(i), int(FileDownloaded));
        QCOMPARE(ReadFile(downloads.filePath(QString::fromLatin1(files.SubItem(i, 1)))),
                 UnrulyServer::Body(Name(i), Size));
        QCOMPARE(PartBytes(downloads.path(), i), -1);
    }
    // Each continued from its part file instead of starting again.
    int resumed = 0;
    for (const UnrulyServer::Request& request : server.Requests())
        resumed += request.Range == "bytes=" + QByteArray::number(BeforeStall) + "-" ? 1 : 0;
    QCOMPARE(resumed, Files);
}

QTEST_MAIN(TestSessionCrash)
#include "test_session_crash.moc"
