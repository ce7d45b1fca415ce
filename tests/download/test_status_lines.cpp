// Only a well-formed status line with a code from 200 to 299 is a downloaded file, whichever
// engine fetches it: every other answer fails with "Bad status line" and leaves no file, final
// or partial; interim answers are read past to the real one.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "support/EngineRun.h"
#include "support/ScriptServer.h"
#include "support/TestFiles.h"

class TestStatusLines : public QObject {
    Q_OBJECT
private slots:
    void statusLine_data();
    void statusLine();
};

void TestStatusLines::statusLine_data()
{
    QTest::addColumn<TEngine>("engine");
    QTest::addColumn<QByteArray>("head");  // the answer's status line and header block
    QTest::addColumn<bool>("kept");
    const QByteArray junk("\x01\xfe\xff \x80\x81 \x7f\x1b", 9);
    const struct {
        const char* name;
        QByteArray head;
        bool kept;
    } rows[] = {
        {"200 OK", "HTTP/1.0 200 OK\r\n", true},
        {"interim answer before 200", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nConnection: close\r\n", true},
        {"status 0", "HTTP/1.0 0 OK\r\n", false},
        {"status 000", "HTTP/1.0 000 OK\r\n", false},
        {"negative status", "HTTP/1.0 -200 OK\r\n", false},
        {"garbage status", "HTTP/1.0 2x0 OK\r\n", false},
        {"four-digit status", "HTTP/1.0 2000 OK\r\n", false},
        {"ICY 200 OK", "ICY 200 OK\r\n", false},
        {"bare HTTP/1.0", "HTTP/1.0\r\n", false},
        {"no version number", "HTTP/ 200 OK\r\n", false},
        {"binary junk", junk + "\r\n", false},
    };
    for (const auto& row : rows) {
        QTest::addRow("classic engine, %s", row.name) << TEngine::Classic << row.head << row.kept;
        QTest::addRow("libcurl engine, %s", row.name) << TEngine::Curl << row.head << row.kept;
    }
}

void TestStatusLines::statusLine()
{
    QFETCH(TEngine, engine);
    QFETCH(QByteArray, head);
    QFETCH(bool, kept);
    const QByteArray body = Content("/pic.jpg", 5000);
    ScriptServer server([&](ScriptServer&, int fd, const QByteArray&) {
        ScriptServer::SendAll(fd, head + "Content-Length: 5000\r\n\r\n" + body);
    });
    QTemporaryDir dir;
    const QString file = dir.filePath("pic.jpg");
    TDownloadRequest modern;
    modern.KeepSmallFiles = modern.TypeExtension = engine == TEngine::Curl;
    const TDownloadOutcome o = RunToEnd(server.Url("/pic.jpg"), file, modern, engine);
    QCOMPARE(o.State, kept ? int(FileDownloaded) : int(FileFailed));
    QCOMPARE(o.Reason, kept ? QString() : QString("Bad status line"));
    QCOMPARE(QFile::exists(file), kept);
    if (kept)
        QVERIFY(ReadTestFile(file) == body);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), kept ? 1 : 0);
}

QTEST_MAIN(TestStatusLines)
#include "test_status_lines.moc"
