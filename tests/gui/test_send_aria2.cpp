// File > "Send to aria2..." in the window: the ticked waiting files go to an aria2 daemon on
// loopback, each under the name the file list gives it, into the download directory; a daemon
// that refuses the secret is told in the message, and nothing is sent without a ticked file.
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "ListTestWindow.h"
#include "dialogs/UnitAria2.h"
#include "support/PyHttpServer.h"
#include "support/LocalPorts.h"
#include "support/TestFiles.h"

namespace {
// Answers the dialog as a user would once it shows: the daemon's address and a secret, then OK.
// Looks for it until the returned flag is set or the dialog was answered.
std::shared_ptr<bool> AnswerDialog(const QString& urls, const QString& secret,
                                   std::shared_ptr<bool> seen = std::make_shared<bool>(false))
{
    QTimer::singleShot(20, [=] {
        auto* dialog = qobject_cast<TFormAria2*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (!*seen)
                AnswerDialog(urls, secret, seen);
            return;
        }
        *seen = true;
        dialog->EditUrls->setText(urls);
        dialog->EditSecret->setText(secret);
        dialog->accept();
    });
    return seen;
}
}  // namespace

class TestSendAria2 : public QObject {
    Q_OBJECT
private slots:
    void sendsTickedFiles_data();
    void sendsTickedFiles();
    void nothingTicked();
};

void TestSendAria2::sendsTickedFiles_data()
{
    QTest::addColumn<QString>("secret");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("deadDaemonFirst");
    QTest::newRow("the right secret: files come home under their names") << "s3cret" << true << false;
    QTest::newRow("a wrong secret: the message says so") << "wrong" << false << false;
    QTest::newRow("two daemons, the first one gone: the other takes every file") << "s3cret" << true << true;
}

void TestSendAria2::sendsTickedFiles()
{
    QFETCH(QString, secret);
    QFETCH(bool, accepted);
    QFETCH(bool, deadDaemonFirst);
    if (QStandardPaths::findExecutable(QStringLiteral("aria2c")).isEmpty())
        QSKIP("aria2c is not installed (scripts/setup.sh installs it)");
    QTemporaryDir site;
    QVERIFY(WriteTestFile(site.filePath("a.jpg"), QByteArray(3000, 'a')));
    QVERIFY(WriteTestFile(site.filePath("b.jpg"), QByteArray(5000, 'b')));
    PyHttpServer server(site.path());
    QVERIFY(server.Start());

    const quint16 port = FreePort();
    QProcess daemon;
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    QTemporaryDir elsewhere;  // the daemon's own directory: the window's directory must win
    daemon.start(QStringLiteral("aria2c"),
                 {"--no-conf", "--enable-rpc", "--rpc-listen-port=" + QString::number(port), "--rpc-secret=s3cret",
                  "--quiet", "--dir=" + elsewhere.path(), "--async-dns=false"});
    QVERIFY(daemon.waitForStarted(10000));
    QVERIFY(WaitForPort(port, daemon));

    TListTestWindow w;
    QTemporaryDir downloads;
    w.Form->ComboBoxDownload->SetText(downloads.path());
    w.AddFile(server.Url("/a.jpg"), true, -1, "first.jpg");
    w.AddFile(server.Url("/b.jpg"), true, -1, "b.jpg");
    w.AddFile(server.Url("/c.jpg"), false, -1, "c.jpg");             // not ticked
    w.AddFile(server.Url("/d.jpg"), true, FileDownloaded, "d.jpg");  // done already

    QString urls = "http://127.0.0.1:" + QString::number(port) + "/jsonrpc";
    const QString dead = "http://127.0.0.1:" + QString::number(FreePort()) + "/jsonrpc";  // nothing listens
    if (deadDaemonFirst)
        urls = dead + " " + urls;
    const auto seen = AnswerDialog(urls, secret);
    w.Form->findChild<QAction*>(QStringLiteral("Sendtoaria21"))->trigger();
    QVERIFY(*seen);
    // The daemon is asked on a thread of its own; its answer comes as a message.
    QTRY_VERIFY_WITH_TIMEOUT(!w.Texts.isEmpty(), 60000);
    if (accepted) {
        QVERIFY2(w.Texts.last().startsWith(QStringLiteral("2 of 2 files sent to aria2.")), qPrintable(w.Texts.last()));
        // The daemon that could not be reached is named; the files went to the other one.
        QCOMPARE(w.Texts.last().contains(dead), deadDaemonFirst);
        QTRY_COMPARE_WITH_TIMEOUT(ReadTestFile(downloads.filePath("first.jpg")), QByteArray(3000, 'a'), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(ReadTestFile(downloads.filePath("b.jpg")), QByteArray(5000, 'b'), 60000);
        QVERIFY(!QFile::exists(downloads.filePath("c.jpg")));
        QVERIFY(QDir(elsewhere.path()).isEmpty());
    } else {
        QVERIFY2(w.Texts.last().startsWith(QStringLiteral("0 of 2 files sent to aria2.")), qPrintable(w.Texts.last()));
        QVERIFY2(w.Texts.last().contains(QStringLiteral("Unauthorized")), qPrintable(w.Texts.last()));
        QCOMPARE(w.Kinds.last(), MsgKind::Warning);
    }
    daemon.kill();
    daemon.waitForFinished(5000);
}

void TestSendAria2::nothingTicked()
{
    TListTestWindow w;
    w.AddFile("http://127.0.0.1:9/a.jpg", false, -1, "a.jpg");
    // No dialog: there is nothing to send.
    const auto seen = AnswerDialog(QStringLiteral("http://127.0.0.1:9/jsonrpc"), QString());
    w.Form->findChild<QAction*>(QStringLiteral("Sendtoaria21"))->trigger();
    QCOMPARE(w.Texts, QStringList{QStringLiteral("No ticked file waits to be downloaded.")});
    QVERIFY(!*seen);
    *seen = true;  // stops looking
}

QTEST_MAIN(TestSendAria2)
#include "test_send_aria2.moc"
