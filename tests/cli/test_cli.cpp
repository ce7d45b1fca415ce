// kelvorn-get end to end: the real program against a real site on 127.0.0.1 (Python's server,
// logging each request's Referer), and against a real aria2 daemon; plus its command line.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "Version.h"
#include "cli/CliOptions.h"
#include "support/LocalPorts.h"
#include "support/TestFiles.h"

namespace {
constexpr int RunTimeOutMs = 120000;

struct TRun {
    int Status = -1;
    QByteArray Out;
    QByteArray Err;
    QList<QJsonObject> Objects() const
    {
        QList<QJsonObject> objects;
        for (const QByteArray& line : Out.split('\n'))
            if (!line.isEmpty())
                objects.append(QJsonDocument::fromJson(line).object());
        return objects;
    }
    QList<QByteArray> Lines() const
    {
        QList<QByteArray> lines = Out.split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }
};

// The three sizes of picture the site serves, each above the classic size limit.
QByteArray Picture(int seed) { return RandomTestBytes(3000 + seed * 100, quint32(seed)); }
}  // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FHome;  // the program's settings and data, never the user's
    QTemporaryDir FSite;
    QString FLog;
    QProcess FServer;
    quint16 FPort = 0;

    QByteArray Url(const QByteArray& path) const { return "http://127.0.0.1:" + QByteArray::number(FPort) + path; }
    QString UrlText(const char* path) const { return QString::fromLatin1(Url(path)); }

    TRun Run(const QStringList& args, QProcess* started = nullptr)
    {
        QProcess own;
        QProcess& p = started ? *started : own;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), FHome.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), FHome.filePath(QStringLiteral("data")));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVORN_GET), args);
        TRun run;
        if (started)
            return run;
        if (!p.waitForFinished(RunTimeOutMs))
            p.kill();
        p.waitForFinished();
        run.Status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.Out = p.readAllStandardOutput();
        run.Err = p.readAllStandardError();
        return run;
    }

    QList<QByteArray> LoggedFor(const QByteArray& path) const
    {
        QList<QByteArray> found;
        for (const QByteArray& line : ReadTestFile(FLog).split('\n'))
            if (line.startsWith(path + '\t'))
                found.append(line);
        return found;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FHome.isValid() && FSite.isValid());
        FPort = FreePort();
        QVERIFY(FPort != 0);
        const QString root = FSite.path();
        const QByteArray host = Url("");
        QVERIFY(WriteTestFile(root + "/index.html",
                              "<html><body>\n<a href=\"gallery.html\">Gallery</a>\n"
                              "<A HREF=\"pic1.jpg\">one</A>\n<a href=\""
                                  + host
                                  + "/sub/pic2.jpg\">two</a>\n"
                                    "<img src=\"inline.gif\">\n<a href=\"movie.avi\">film</a>\n"
                                    "<a href=\"archive.zip\">zip</a>\n</body></html>\n"));
        QVERIFY(WriteTestFile(root + "/gallery.html",
                              "<a href=\"g1.jpg\">1</a> <a href=\"g2.jpg\">2</a> <a href=\"index.html\">back</a>\n"));
        QVERIFY(WriteTestFile(root + "/broken.html", "<a href=\"pic1.jpg\">1</a> <a href=\"missing.jpg\">x</a>\n"));
        QVERIFY(WriteTestFile(root + "/modern.html",
                              "<!doctype html><p><a href='big.jpg'><img src='thumb.jpg' width=150></a>"
                              "<img data-src=\"lazy.jpg\"></p>\n"));
        QVERIFY(WriteTestFile(root + "/retry.html", "<a href=\"flaky/pic1.jpg\">1</a>\n"));
        QVERIFY(WriteTestFile(root + "/slow.html", "<a href=\"slow/large.zip\">1</a>\n"));
        const char* const pictures[] = {"pic1.jpg", "sub/pic2.jpg", "inline.gif", "movie.avi", "archive.zip",
                                        "g1.jpg",   "g2.jpg",       "big.jpg",    "thumb.jpg", "lazy.jpg"};
        int seed = 1;
        for (const char* name : pictures)
            QVERIFY(WriteTestFile(root + "/" + name, Picture(seed++)));
        QVERIFY(WriteTestFile(root + "/large.zip", RandomTestBytes(400 * 1024, 99)));
        FLog = FHome.filePath(QStringLiteral("requests.log"));
        FServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FServer.start(
            QStringLiteral("python3"),
            {QStringLiteral(KELVORN_SOURCE_DIR "/tests/cli/site_server.py"), root, QString::number(FPort), FLog});
        QVERIFY(FServer.waitForStarted(10000));
        QVERIFY(WaitForPort(FPort, FServer));
    }

    void cleanupTestCase()
    {
        FServer.kill();
        FServer.waitForFinished(5000);
    }

    void parsesCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("good");
        QTest::addColumn<int>("action");
        const int download = int(TCliAction::Download);
        QTest::newRow("an address alone downloads") << QStringList{"http://h/"} << true << download;
        QTest::newRow("list") << QStringList{"--list", "http://h/"} << true << int(TCliAction::List);
        QTest::newRow("export takes a format and a file")
            << QStringList{"--export", "aria2", "f.txt", "http://h/"} << true << int(TCliAction::Export);
        QTest::newRow("aria2 with =") << QStringList{"--aria2=http://d:6800", "http://h/"} << true
                                      << int(TCliAction::Aria2);
        QTest::newRow("help") << QStringList{"--help", "http://h/"} << true << int(TCliAction::Help);
        QTest::newRow("version") << QStringList{"-V"} << true << int(TCliAction::Version);
        QTest::newRow("no address") << QStringList{"--list"} << false << 0;
        QTest::newRow("unknown option") << QStringList{"--frobnicate", "http://h/"} << false << 0;
        QTest::newRow("unknown kind") << QStringList{"--type", "pictures,sounds", "http://h/"} << false << 0;
        QTest::newRow("broken regex") << QStringList{"--select", "/a(/", "http://h/"} << false << 0;
        QTest::newRow("size without a number") << QStringList{"--min-size", "bigxsmall", "http://h/"} << false << 0;
        QTest::newRow("nine connections") << QStringList{"--connections-per-host", "9", "http://h/"} << false << 0;
        QTest::newRow("negative retries") << QStringList{"--retries", "-1", "http://h/"} << false << 0;
        QTest::newRow("unknown export format") << QStringList{"--export", "curl", "f", "http://h/"} << false << 0;
        QTest::newRow("list and aria2 together")
            << QStringList{"--list", "--aria2", "http://d/", "http://h/"} << false << 0;
        QTest::newRow("wait without aria2") << QStringList{"--wait", "http://h/"} << false << 0;
        QTest::newRow("a value missing at the end") << QStringList{"http://h/", "-d"} << false << 0;
    }

    void parsesCommandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, good);
        QFETCH(int, action);
        const TCliParse parse = ParseCommandLine(args);
        QCOMPARE(parse.Error.isEmpty(), good);
        if (good)
            QCOMPARE(int(parse.Options.Action), action);
    }

    void choiceValuesAreRead()
    {
        const TCliParse parse = ParseCommandLine({"--type", "pictures,video", "--min-size", "800x600", "--host",
                                                  "Example.ORG", "--min-bytes", "5000", "--retries", "3",
                                                  "--connections-per-host", "2", "--rename", "-d", "/tmp/x", "a", "b"});
        QVERIFY2(parse.Error.isEmpty(), qPrintable(parse.Error));
        const TCliOptions& o = parse.Options;
        QCOMPARE(o.Kinds, KindBit(TFileKind::Picture) | KindBit(TFileKind::Video));
        QCOMPARE(o.MinWidth, 800);
        QCOMPARE(o.MinHeight, 600);
        QCOMPARE(o.Host, QStringLiteral("example.org"));
        QCOMPARE(o.MinBytes, 5000);
        QCOMPARE(o.Retries, 3);
        QCOMPARE(o.HostConnections, 2);
        QCOMPARE(o.SkipExisting, std::optional<bool>(false));
        QCOMPARE(o.Directory, QStringLiteral("/tmp/x"));
        QCOMPARE(o.Urls, QStringList({"a", "b"}));
    }

    void badUsageExitsTwo()
    {
        const TRun run = Run({"--no-such-option", "http://127.0.0.1:1/"});
        QCOMPARE(run.Status, 2);
        QVERIFY2(run.Err.contains("unknown option --no-such-option"), run.Err);
        QVERIFY(run.Out.isEmpty());
    }

    void helpAndVersion()
    {
        TRun run = Run({"--version"});
        QCOMPARE(run.Status, 0);
        QCOMPARE(run.Out, QByteArray("kelvorn-get " KELVORN_VERSION "\n"));
        run = Run({"--help"});
        QCOMPARE(run.Status, 0);
        QVERIFY(run.Out.startsWith("Usage: kelvorn-get [OPTIONS] URL..."));
    }

    void lists_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("classic: links then pictures, page links left out")
            << QStringList{} << QByteArray("/index.html")
            << QList<QByteArray>{"/pic1.jpg", "/sub/pic2.jpg", "/movie.avi", "/archive.zip", "/inline.gif"};
        QTest::newRow("one level up adds the gallery's files")
            << QStringList{"--one-level-up"} << QByteArray("/index.html")
            << QList<QByteArray>{"/pic1.jpg",   "/sub/pic2.jpg", "/movie.avi", "/archive.zip",
                                 "/inline.gif", "/g1.jpg",       "/g2.jpg"};
        QTest::newRow("parse links scans the listed pages")
            << QStringList{"--parse-links"} << QByteArray("/index.html")
            << QList<QByteArray>{"/pic1.jpg",   "/sub/pic2.jpg", "/movie.avi", "/archive.zip",
                                 "/inline.gif", "/g1.jpg",       "/g2.jpg"};
        QTest::newRow("type video and archives") << QStringList{"--type", "video,archives"} << QByteArray("/index.html")
                                                 << QList<QByteArray>{"/movie.avi", "/archive.zip"};
        QTest::newRow("glob on the name") << QStringList{"--select", "pic*.jpg"} << QByteArray("/index.html")
                                          << QList<QByteArray>{"/pic1.jpg", "/sub/pic2.jpg"};
        QTest::newRow("regex on the address") << QStringList{"--select", "/sub/.*\\.jpg$/"} << QByteArray("/index.html")
                                              << QList<QByteArray>{"/sub/pic2.jpg"};
        QTest::newRow("another host keeps nothing")
            << QStringList{"--host", "example.org"} << QByteArray("/index.html") << QList<QByteArray>{};
        QTest::newRow("modern: a thumbnail and its full-size file")
            << QStringList{"--modern"} << QByteArray("/modern.html")
            << QList<QByteArray>{"/big.jpg", "/thumb.jpg", "/lazy.jpg"};
        QTest::newRow("modern largest only drops the thumbnail")
            << QStringList{"--modern", "--largest-only"} << QByteArray("/modern.html")
            << QList<QByteArray>{"/big.jpg", "/lazy.jpg"};
        QTest::newRow("modern min size drops the declared small picture")
            << QStringList{"--modern", "--min-size", "200"} << QByteArray("/modern.html")
            << QList<QByteArray>{"/big.jpg", "/lazy.jpg"};
    }

    void lists()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, page);
        QFETCH(QList<QByteArray>, expected);
        const TRun run =
            Run(QStringList{"--no-config", "--list"} + options + QStringList{QString::fromLatin1(Url(page))});
        QVERIFY2(run.Status == 0, run.Err);
        QList<QByteArray> want;
        for (const QByteArray& path : expected)
            want.append(Url(path));
        QList<QByteArray> got = run.Lines();
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        QCOMPARE(got, want);
    }

    void jsonListingParsesBack()
    {
        const TRun run = Run({"--no-config", "--modern", "--list", "--json", UrlText("/modern.html")});
        QVERIFY2(run.Status == 0, run.Err);
        const QList<QJsonObject> objects = run.Objects();
        QCOMPARE(objects.size(), 3);
        QHash<QString, QJsonObject> byName;
        for (const QJsonObject& o : objects) {
            QCOMPARE(o.value("kind").toString(), QStringLiteral("file"));
            QCOMPARE(o.value("referrer").toString(), UrlText("/modern.html"));
            byName.insert(o.value("name").toString(), o);
        }
        QCOMPARE(byName.value("thumb.jpg").value("width").toInt(), 150);
        QCOMPARE(byName.value("big.jpg").value("address").toString(), UrlText("/big.jpg"));
    }

    void downloads_data()
    {
        QTest::addColumn<bool>("modern");
        QTest::newRow("classic engine") << false;
        QTest::newRow("modern engine") << true;
    }

    void downloads()
    {
        QFETCH(bool, modern);
        QTemporaryDir out;
        QStringList args{"--no-config", "--json", "-d", out.path(), UrlText("/index.html")};
        if (modern)
            args.prepend("--modern");
        const TRun run = Run(args);
        QVERIFY2(run.Status == 0, run.Err);
        const QList<QJsonObject> events = run.Objects();
        QVERIFY(!events.isEmpty());
        const QJsonObject summary = events.last();
        QCOMPARE(summary.value("event").toString(), QStringLiteral("summary"));
        QCOMPARE(summary.value("downloaded").toInt(), 5);
        QCOMPARE(summary.value("failed").toInt(), 0);
        int seed = 1;
        for (const char* name : {"pic1.jpg", "pic2.jpg", "inline.gif", "movie.avi", "archive.zip"})
            QCOMPARE(ReadTestFile(out.filePath(name)), Picture(seed++));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 5);  // no part file left behind
        if (modern) {
            const QList<QByteArray> logged = LoggedFor("/pic1.jpg");
            QVERIFY(!logged.isEmpty());
            QVERIFY2(logged.last().contains("\t" + Url("/index.html") + "\tKelvorn/"), logged.last());
        }
    }

    void failedFileExitsOneWithTheReason()
    {
        QTemporaryDir out;
        const TRun run = Run({"--no-config", "-d", out.path(), UrlText("/broken.html")});
        QCOMPARE(run.Status, 1);
        QVERIFY2(run.Err.contains(Url("/missing.jpg") + ": HTTP 404"), run.Err);
        QVERIFY2(run.Err.contains("1 downloaded, 0 skipped, 1 failed"), run.Err);
        QVERIFY(run.Out.contains("downloaded\t" + Url("/pic1.jpg")));
    }

    void unreachablePageExitsOne()
    {
        const TRun run = Run({"--no-config", "--list", "http://127.0.0.1:" + QString::number(FreePort()) + "/"});
        QCOMPARE(run.Status, 1);
        QVERIFY2(run.Err.contains("Connection refused"), run.Err);
    }

    void existingFilesSkipOrRename_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("expectedName");
        QTest::newRow("skip keeps the file there") << "--skip-existing" << QString();
        QTest::newRow("rename takes a free name") << "--rename"
                                                  << "pic1_.jpg";
    }

    void existingFilesSkipOrRename()
    {
        QFETCH(QString, choice);
        QFETCH(QString, expectedName);
        QTemporaryDir out;
        QVERIFY(WriteTestFile(out.filePath("pic1.jpg"), "mine"));
        const TRun run = Run({"--no-config", choice, "--select", "pic1.jpg", "-d", out.path(), UrlText("/index.html")});
        QVERIFY2(run.Status == 0, run.Err);
        QCOMPARE(ReadTestFile(out.filePath("pic1.jpg")), QByteArray("mine"));
        if (expectedName.isEmpty()) {
            QVERIFY2(run.Out.startsWith("skipped\t" + Url("/pic1.jpg")), run.Out);
        } else {
            QCOMPARE(ReadTestFile(out.filePath(expectedName)), Picture(1));
        }
    }

    void minBytesDropsSmallFiles()
    {
        QTemporaryDir out;
        // pic1.jpg has 3100 bytes, archive.zip 3500.
        const TRun run = Run({"--no-config", "--json", "--min-bytes", "3300", "--select", "/pic1|archive/", "-d",
                              out.path(), UrlText("/index.html")});
        QVERIFY2(run.Status == 0, run.Err);
        QVERIFY(!QFile::exists(out.filePath("pic1.jpg")));
        QVERIFY(QFile::exists(out.filePath("archive.zip")));
        QCOMPARE(run.Objects().last().value("skipped").toInt(), 1);
    }

    void historySkipsWhatCameBefore()
    {
        QTemporaryDir first, second;
        TRun run =
            Run({"--no-config", "--history", "--select", "pic1.jpg", "-d", first.path(), UrlText("/index.html")});
        QVERIFY2(run.Status == 0, run.Err);
        run = Run({"--no-config", "--history", "--select", "pic1.jpg", "-d", second.path(), UrlText("/index.html")});
        QVERIFY2(run.Status == 0, run.Err);
        QVERIFY2(run.Out.startsWith("skipped\t" + Url("/pic1.jpg") + "\tDownloaded before on "), run.Out);
        QVERIFY(!QFile::exists(second.filePath("pic1.jpg")));
    }

    void retriesMendAPassingFailure_data()
    {
        QTest::addColumn<bool>("modern");
        QTest::addColumn<QByteArray>("name");  // the server answers 503 once per name
        QTest::addColumn<int>("picture");
        QTest::addColumn<QStringList>("retries");
        QTest::newRow("classic engine") << false << QByteArray("g2.jpg") << 7 << QStringList{"--retries", "2"};
        QTest::newRow("modern engine") << true << QByteArray("g1.jpg") << 6 << QStringList{"--retries", "2"};
        QTest::newRow("modern engine, tries as the window's by default")
            << true << QByteArray("thumb.jpg") << 9 << QStringList{};
    }

    void retriesMendAPassingFailure()
    {
        QFETCH(bool, modern);
        QFETCH(QByteArray, name);
        QFETCH(int, picture);
        QFETCH(QStringList, retries);
        QTemporaryDir out;
        QVERIFY(WriteTestFile(FSite.filePath("retry-" + name), "<a href=\"flaky/" + name + "\">x</a>\n"));
        QStringList args = QStringList{"--no-config"} + retries
            + QStringList{"--json", "-d", out.path(), QString::fromLatin1(Url("/retry-" + name))};
        if (modern)
            args.prepend("--modern");
        const TRun run = Run(args);
        QVERIFY2(run.Status == 0, run.Err + run.Out);
        QCOMPARE(ReadTestFile(out.filePath(QString::fromLatin1(name))), Picture(picture));
        QCOMPARE(run.Objects().first().value("tries").toInt(), 2);
    }

    void withoutRetriesAPassingFailureFails()
    {
        QTemporaryDir out;
        QVERIFY(WriteTestFile(FSite.filePath("retry-once.html"), "<a href=\"flaky/big.jpg\">x</a>\n"));
        const TRun run = Run({"--no-config", "-d", out.path(), UrlText("/retry-once.html")});
        QCOMPARE(run.Status, 1);
        QVERIFY2(run.Err.contains("HTTP 503"), run.Err);
    }

    void exportsInputFiles_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("aria2 names each file and its referrer")
            << "aria2"
            << QByteArray("URL/big.jpg\n  out=big.jpg\n  referer=URL/modern.html\n"
                          "URL/thumb.jpg\n  out=thumb.jpg\n  referer=URL/modern.html\n"
                          "URL/lazy.jpg\n  out=lazy.jpg\n  referer=URL/modern.html\n");
        QTest::newRow("wget takes plain addresses")
            << "wget" << QByteArray("URL/big.jpg\nURL/thumb.jpg\nURL/lazy.jpg\n");
    }

    void exportsInputFiles()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, expected);
        QTemporaryDir out;
        const QString file = out.filePath("list.txt");
        const TRun run = Run({"--no-config", "--modern", "--export", format, file, UrlText("/modern.html")});
        QVERIFY2(run.Status == 0, run.Err);
        QCOMPARE(ReadTestFile(file), expected.replace("URL", Url("")));
    }

    void restartAfterAKillBringsTheFileWhole_data()
    {
        QTest::addColumn<bool>("modern");
        QTest::newRow("classic engine starts the file afresh") << false;
        QTest::newRow("modern engine continues its part file") << true;
    }

    void restartAfterAKillBringsTheFileWhole()
    {
        QFETCH(bool, modern);
        QTemporaryDir out;
        QStringList args{"--no-config", "-d", out.path(), UrlText("/slow.html")};
        if (modern)
            args.prepend("--modern");
        QProcess killed;
        Run(args, &killed);
        QVERIFY(killed.waitForStarted(10000));
        // Killed once part of the body is on disk.
        const auto partBytes = [&] {
            const QFileInfoList parts = QDir(out.path()).entryInfoList({"*.kelvorn-part"}, QDir::Files);
            return parts.isEmpty() ? qint64(0) : parts.first().size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(partBytes() >= 64 * 1024, 60000);
        killed.kill();
        QVERIFY(killed.waitForFinished(10000));
        const TRun run = Run(args);
        QVERIFY2(run.Status == 0, run.Err);
        QCOMPARE(ReadTestFile(out.filePath("large.zip")), RandomTestBytes(400 * 1024, 99));
        QVERIFY(QDir(out.path()).entryList({"*.kelvorn-part"}, QDir::Files).isEmpty());
        const QList<QByteArray> logged = LoggedFor("/slow/large.zip");
        QVERIFY(!logged.isEmpty());
        // The modern engine asks only for the bytes it lacks; the classic one asks for all.
        QCOMPARE(logged.last().contains("\tbytes="), modern);
    }

    void handsOffToAria2_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<int>("status");
        QTest::newRow("the right secret brings the files home") << "s3cret" << 0;
        QTest::newRow("a wrong secret is refused") << "wrong" << 1;
    }

    void handsOffToAria2()
    {
        QFETCH(QString, secret);
        QFETCH(int, status);
        if (QStandardPaths::findExecutable(QStringLiteral("aria2c")).isEmpty())
            QSKIP("aria2c is not installed (scripts/setup.sh installs it)");
        QTemporaryDir out;
        const quint16 port = FreePort();
        QProcess daemon;
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon.setStandardOutputFile(QProcess::nullDevice());
        daemon.start(QStringLiteral("aria2c"),
                     {"--no-conf", "--enable-rpc", "--rpc-listen-port=" + QString::number(port), "--rpc-secret=s3cret",
                      "--quiet", "--dir=" + out.path(), "--async-dns=false"});
        QVERIFY(daemon.waitForStarted(10000));
        QVERIFY(WaitForPort(port, daemon));
        const TRun run =
            Run({"--no-config", "--modern", "--aria2", "http://127.0.0.1:" + QString::number(port) + "/jsonrpc",
                 "--aria2-secret", secret, "--wait", "--json", "-d", out.path(), UrlText("/modern.html")});
        daemon.kill();
        daemon.waitForFinished(5000);
        QCOMPARE(run.Status, status);
        if (status != 0) {
            QVERIFY2(run.Err.contains("Unauthorized"), run.Err);
            return;
        }
        const QList<QJsonObject> events = run.Objects();
        QCOMPARE(events.last().value("downloaded").toInt(), 3);
        QCOMPARE(events.first().value("event").toString(), QStringLiteral("handed"));
        QVERIFY(!events.first().value("gid").toString().isEmpty());
        QCOMPARE(ReadTestFile(out.filePath("big.jpg")), Picture(8));
        QCOMPARE(ReadTestFile(out.filePath("lazy.jpg")), Picture(10));
        const QList<QByteArray> logged = LoggedFor("/lazy.jpg");
        QVERIFY(!logged.isEmpty());
        QVERIFY2(logged.last().contains("\t" + Url("/modern.html") + "\tKelvorn/"), logged.last());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
