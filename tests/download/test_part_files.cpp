// Part files are the program's own: found again only when marked for the same address and idle,
// created beside whatever lies in the download directory without touching it, and a final name
// claimed in one step that never replaces or writes through anything. Both engines keep the one
// rule: what runs through the real engines runs through each.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/xattr.h>

#include "platform/PartFiles.h"
#include "support/EngineRun.h"
#include "support/ScriptServer.h"
#include "support/TestFiles.h"
#include "support/UnrulyServer.h"

namespace {
void WriteFile(const QString& path, const QByteArray& bytes) { QVERIFY(WriteTestFile(path, bytes)); }
QByteArray ReadFile(const QString& path) { return ReadTestFile(path); }

bool IsLink(const QString& path) { return QFileInfo(path).isSymLink(); }

void Serve(ScriptServer&, int fd, const QByteArray& path)
{
    if (path.startsWith("/ct/")) {  // an address without extension, served as a JPEG picture
        ScriptServer::SendAll(
            fd, "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nETag: \"v1\"\r\n\r\n" + Content(path, 4000));
        return;
    }
    const int size = path.mid(path.lastIndexOf('-') + 1).toInt();
    ScriptServer::SendAll(fd, ScriptServer::Head(200, size) + Content(path, size));
}

TDownloadRequest Modern(bool on)
{
    TDownloadRequest request;
    request.KeepSmallFiles = on;
    request.TypeExtension = on;
    return request;
}
}  // namespace

class TestPartFiles : public QObject {
    Q_OBJECT
private slots:
    void partNames();
    void ownPartFileIsFound_data();
    void ownPartFileIsFound();
    void claimNeverReplaces_data();
    void claimNeverReplaces();
    void foreignPartFileSurvivesDownload_data();
    void foreignPartFileSurvivesDownload();
    void partItemAndFinalItemBothKept_data();
    void partItemAndFinalItemBothKept();
    void danglingLinkAtTypedNameIsLeftAlone_data();
    void danglingLinkAtTypedNameIsLeftAlone();
    void curlEngineResumesOnlyItsOwnPartFile_data();
    void curlEngineResumesOnlyItsOwnPartFile();
    void racingEnginesBothKeepTheirBytes();
};

void TestPartFiles::partNames()
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/a.jpg";
    QCOMPARE(PartFilePath(file), file + ".kelvorn-part");
    // A dangling link takes a part name as a file does, and is not followed.
    QVERIFY(QFile::link(dir.path() + "/nowhere", PartFilePath(file)));
    QString why;
    QCOMPARE(CreatePartFile(file, &why), file + ".2.kelvorn-part");
    QVERIFY(!QFile::exists(dir.path() + "/nowhere"));
    for (int variant = 3; variant <= MaxPartVariants; ++variant)
        WriteFile(PartFilePath(file, variant), "x");
    QCOMPARE(CreatePartFile(file, &why), QString());
    QVERIFY(!why.isEmpty());
}

void TestPartFiles::ownPartFileIsFound_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("found");
    QTest::newRow("marked for this address") << "mark" << true;
    QTest::newRow("marked for another address") << "other" << false;
    QTest::newRow("another program's file") << "plain" << false;
    QTest::newRow("link to a marked file is not followed") << "link" << false;
    QTest::newRow("held by a running transfer") << "held" << false;
    QTest::newRow("marked second variant behind a foreign first") << "second" << true;
    QTest::newRow("marked for a very long address") << "long" << true;
}

void TestPartFiles::ownPartFileIsFound()
{
    QFETCH(QString, setup);
    QFETCH(bool, found);
    QTemporaryDir dir;
    const QString file = dir.path() + "/clip.mp4";
    const QByteArray address =
        setup == "long" ? "http://127.0.0.1:1/clip.mp4?" + QByteArray(3000, 'q') : "http://127.0.0.1:1/clip.mp4";
    QString part = PartFilePath(file);
    if (setup == "second") {
        WriteFile(part, "foreign");
        part = PartFilePath(file, 2);
    }
    const QString target = setup == "link" ? dir.path() + "/elsewhere" : part;
    WriteFile(target, QByteArray(1234, 'p'));
    if (setup != "plain")
        QVERIFY(MarkPartFile(target, setup == "other" ? QByteArray("http://127.0.0.1:1/b.mp4") : address, "\"e1\""));
    if (setup == "link")
        QVERIFY(QFile::link(target, part));
    TPartFileHold hold(setup == "held" ? part : QString());
    QCOMPARE(hold.Held(), setup == "held");

    const TOwnPartFile own = FindOwnPartFile(file, address);
    QCOMPARE(own.Found(), found);
    if (found) {
        QCOMPARE(own.Path, part);
        QCOMPARE(own.Bytes, qint64(1234));
        QCOMPARE(own.Validator, QByteArray("\"e1\""));
    }
    // An unmarked file is never recognised again.
    UnmarkPartFile(part);
    QVERIFY(!FindOwnPartFile(file, address).Found());
}

void TestPartFiles::claimNeverReplaces_data()
{
    QTest::addColumn<QString>("inTheWay");
    QTest::addColumn<int>("claim");
    QTest::newRow("free name") << "" << int(TClaim::Done);
    QTest::newRow("a file") << "file" << int(TClaim::Taken);
    QTest::newRow("a dangling link") << "dangling" << int(TClaim::Taken);
    QTest::newRow("a directory") << "dir" << int(TClaim::Taken);
}

void TestPartFiles::claimNeverReplaces()
{
    QFETCH(QString, inTheWay);
    QFETCH(int, claim);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString file = dir.path() + "/pic.jpg";
    const QString target = outside.path() + "/target.jpg";
    WriteFile(PartFilePath(file), "new bytes");
    if (inTheWay == "file")
        WriteFile(file, "user's bytes");
    else if (inTheWay == "dangling")
        QVERIFY(QFile::link(target, file));
    else if (inTheWay == "dir")
        QVERIFY(QDir().mkdir(file));

    QString why;
    QCOMPARE(int(ClaimFinalName(PartFilePath(file), file, &why)), claim);
    QVERIFY(!QFile::exists(target));
    if (claim == int(TClaim::Done)) {
        QCOMPARE(ReadFile(file), QByteArray("new bytes"));
        QVERIFY(!QFile::exists(PartFilePath(file)));
    } else {
        QCOMPARE(ReadFile(PartFilePath(file)), QByteArray("new bytes"));
        if (inTheWay == "file")
            QCOMPARE(ReadFile(file), QByteArray("user's bytes"));
        QCOMPARE(IsLink(file), inTheWay == "dangling");
    }
}

void TestPartFiles::foreignPartFileSurvivesDownload_data()
{
    QTest::addColumn<bool>("modern");
    QTest::addColumn<TEngine>("engine");
    QTest::addColumn<QString>("foreignSuffix");
    QTest::newRow("classic, a browser's .part") << false << TEngine::Classic << ".part";
    QTest::newRow("modern, a browser's .part") << true << TEngine::Classic << ".part";
    QTest::newRow("libcurl engine, a browser's .part") << true << TEngine::Curl << ".part";
    QTest::newRow("classic, an unmarked file at our part name") << false << TEngine::Classic << ".kelvorn-part";
    QTest::newRow("modern, an unmarked file at our part name") << true << TEngine::Classic << ".kelvorn-part";
    QTest::newRow("libcurl engine, an unmarked file at our part name") << true << TEngine::Curl << ".kelvorn-part";
}

void TestPartFiles::foreignPartFileSurvivesDownload()
{
    QFETCH(bool, modern);
    QFETCH(TEngine, engine);
    QFETCH(QString, foreignSuffix);
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QString file = dir.path() + "/pic.jpg";
    const QByteArray foreign(20000, 'b');
    WriteFile(file + foreignSuffix, foreign);

    const TDownloadOutcome o = RunToEnd(server.Url("/pic-5000"), file, Modern(modern), engine);
    QCOMPARE(o.State, int(FileDownloaded));
    QCOMPARE(o.Path, file);
    QCOMPARE(ReadFile(file), Content("/pic-5000", 5000));
    QCOMPARE(ReadFile(file + foreignSuffix), foreign);
    // Nothing downloaded is ever made executable.
    QCOMPARE(QFileInfo(file).permissions() & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther),
             QFileDevice::Permissions());
    // The kept file no longer carries our mark: it is the user's now.
    QVERIFY(!FindOwnPartFile(file, server.Url("/pic-5000")).Found());
    WriteFile(PartFilePath(file), "");
    QVERIFY(!FindOwnPartFile(file, server.Url("/pic-5000")).Found());
}

void TestPartFiles::partItemAndFinalItemBothKept_data()
{
    QTest::addColumn<TEngine>("engine");
    QTest::newRow("classic engine") << TEngine::Classic;
    QTest::newRow("libcurl engine") << TEngine::Curl;
}

void TestPartFiles::partItemAndFinalItemBothKept()
{
    QFETCH(TEngine, engine);
    ScriptServer server(Serve);
    QTemporaryDir dir;
    const QString part = dir.path() + "/clip.mp4.part";
    const QString whole = dir.path() + "/clip.mp4";
    QCOMPARE(RunToEnd(server.Url("/clip.mp4.part-3000"), part, Modern(true), engine).State, int(FileDownloaded));
    QCOMPARE(RunToEnd(server.Url("/clip.mp4-7000"), whole, Modern(true), engine).State, int(FileDownloaded));
    QCOMPARE(ReadFile(part), Content("/clip.mp4.part-3000", 3000));
    QCOMPARE(ReadFile(whole), Content("/clip.mp4-7000", 7000));
}

void TestPartFiles::danglingLinkAtTypedNameIsLeftAlone_data() { partItemAndFinalItemBothKept_data(); }

void TestPartFiles::danglingLinkAtTypedNameIsLeftAlone()
{
    QFETCH(TEngine, engine);
    ScriptServer server(Serve);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString target = outside.path() + "/planted.jpg";
    QVERIFY(QFile::link(target, dir.path() + "/12345.jpg"));

    const TDownloadOutcome o =
        RunToEnd(server.Url("/ct/image_jpeg/12345"), dir.path() + "/12345", Modern(true), engine);
    QCOMPARE(o.State, int(FileDownloaded));
    QVERIFY(!QFile::exists(target));
    QVERIFY(IsLink(dir.path() + "/12345.jpg"));
    QCOMPARE(o.Path, dir.path() + "/12345_.jpg");
    QCOMPARE(ReadFile(o.Path), Content("/ct/image_jpeg/12345", 4000));
}

void TestPartFiles::racingEnginesBothKeepTheirBytes()
{
    ScriptServer server(ServeHeldFile);
    QTemporaryDir dir;
    const QString file = dir.path() + "/same.bin";
    TEngineRun run;
    run.Start(server.Url("/one-5000"), file);
    run.Start(server.Url("/two-6000"), file);
    // Both part files exist before either answer is let go, so both claim at the end.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(PartFilePath(file)) && QFile::exists(PartFilePath(file, 2)), 20000);
    server.ReleaseAll();
    QTRY_COMPARE_WITH_TIMEOUT(run.Outcomes.size(), 2, 20000);
    QSet<QString> paths;
    for (const TDownloadOutcome& o : run.Outcomes) {
        QCOMPARE(o.State, int(FileDownloaded));
        paths.insert(o.Path);
        const QByteArray bytes = ReadFile(o.Path);
        QVERIFY(bytes == Content("/one-5000", 5000) || bytes == Content("/two-6000", 6000));
    }
    QCOMPARE(paths, QSet<QString>({file, dir.path() + "/same_.bin"}));
    QVERIFY(ReadFile(file) != ReadFile(dir.path() + "/same_.bin"));
}

void TestPartFiles::curlEngineResumesOnlyItsOwnPartFile_data()
{
    QTest::addColumn<QString>("leftover");
    QTest::addColumn<QByteArray>("ifRange");  // the request's If-Range; empty: a whole download
    QTest::addColumn<qint64>("moved");        // body bytes over the network
    QTest::newRow("ours, same address and validator: continued") << "own" << QByteArray("\"movie-v1\"") << qint64(2500);
    QTest::newRow("ours, changed on the server: asked, then restarted")
        << "stale" << QByteArray("\"movie-v0\"") << qint64(4000);
    QTest::newRow("ours, another address: left alone") << "other" << QByteArray() << qint64(4000);
    QTest::newRow("unmarked at our part name: left alone") << "plain" << QByteArray() << qint64(4000);
    QTest::newRow("held by another transfer: left alone") << "held" << QByteArray() << qint64(4000);
}

// A resumed download continues only a part file this program made for the same address and the
// same bytes; every other file at a part name keeps its bytes, and the download takes a variant.
void TestPartFiles::curlEngineResumesOnlyItsOwnPartFile()
{
    QFETCH(QString, leftover);
    QFETCH(QByteArray, ifRange);
    QFETCH(qint64, moved);
    constexpr qint64 Size = 4000;
    UnrulyServer server;
    QTemporaryDir dir;
    const QString file = dir.path() + "/movie.bin";
    const QByteArray address = server.Url("/movie-4000.bin");
    const QByteArray body = UnrulyServer::Body("movie", Size);
    const QByteArray before = leftover == "own" ? body.left(1500) : QByteArray(1500, 'u');
    WriteFile(PartFilePath(file), before);
    if (leftover == "own" || leftover == "held")
        QVERIFY(MarkPartFile(PartFilePath(file), address, "\"movie-v1\""));
    else if (leftover == "stale")
        QVERIFY(MarkPartFile(PartFilePath(file), address, "\"movie-v0\""));
    else if (leftover == "other")
        QVERIFY(MarkPartFile(PartFilePath(file), server.Url("/other-4000.bin"), "\"movie-v1\""));
    TPartFileHold hold(leftover == "held" ? PartFilePath(file) : QString());

    const TDownloadOutcome o = RunToEnd(address, file, Modern(true), TEngine::Curl);
    QCOMPARE(o.State, int(FileDownloaded));
    QCOMPARE(ReadTestFile(file), body);
    QCOMPARE(server.Requests().value(0).Range, ifRange.isEmpty() ? QByteArray() : QByteArray("bytes=1500-"));
    QCOMPARE(server.Requests().value(0).IfRange, ifRange);
    QCOMPARE(o.BytesMoved, moved);
    const bool foreign = leftover == "other" || leftover == "plain" || leftover == "held";
    QCOMPARE(QFile::exists(PartFilePath(file)), foreign);
    if (foreign)
        QCOMPARE(ReadFile(PartFilePath(file)), before);
    QVERIFY(!QFile::exists(PartFilePath(file, 2)));
    // A kept file carries no mark of ours.
    QByteArray names(4096, '\0');
    const ssize_t listed = ::listxattr(QFile::encodeName(file).constData(), names.data(), size_t(names.size()));
    QVERIFY(listed >= 0);
    QVERIFY(!names.left(listed).contains("user.kelvorn"));
}

QTEST_MAIN(TestPartFiles)
#include "test_part_files.moc"
