// Files in the download directory: links already there (dangling or not) count as taken, are
// never written through, and a delete never reaches outside the directory.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/LocalFiles.h"
#include "support/TestFiles.h"

class TestLocalFiles : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        Root.reset(new QTemporaryDir);
        QVERIFY(Root->isValid());
        Download = Root->filePath(QStringLiteral("download"));
        Outside = Root->filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(Download) && QDir().mkpath(Outside));
        Victim = Outside + QStringLiteral("/victim.jpg");
        QVERIFY(WriteTestFile(Victim, "the user's own file"));
    }

    void entriesOfEveryKindAreTaken()
    {
        QVERIFY(WriteTestFile(Download + "/file.jpg", "x"));
        QVERIFY(QDir().mkpath(Download + "/folder.jpg"));
        QVERIFY(QFile::link(Outside + "/missing.jpg", Download + "/dangling.jpg"));
        QVERIFY(QFile::link(Victim, Download + "/link.jpg"));
        for (const char* name : {"file.jpg", "folder.jpg", "dangling.jpg", "link.jpg"})
            QVERIFY2(EntryExists(Download + '/' + name), name);
        QVERIFY(!EntryExists(Download + "/free.jpg"));
        QVERIFY(!EntryExists(QString()));
    }

    void newFilesNeverFollowLinks()
    {
        QFile fresh;
        QVERIFY(CreateNewFile(fresh, Download + "/new.jpg"));
        QCOMPARE(fresh.write("data"), qint64(4));
        fresh.close();
        QCOMPARE(ReadTestFile(Download + "/new.jpg"), QByteArray("data"));

        // An existing file, a link to one, and a dangling link all refuse, and nothing outside
        // the directory is made or changed.
        QVERIFY(QFile::link(Victim, Download + "/link.jpg"));
        QVERIFY(QFile::link(Outside + "/planted.jpg", Download + "/dangling.jpg"));
        for (const char* name : {"new.jpg", "link.jpg", "dangling.jpg"}) {
            QFile file;
            QString error;
            QVERIFY2(!CreateNewFile(file, Download + '/' + name, &error), name);
            QVERIFY(!error.isEmpty());
            QVERIFY(!file.isOpen());
        }
        QCOMPARE(ReadTestFile(Download + "/new.jpg"), QByteArray("data"));
        QCOMPARE(ReadTestFile(Victim), QByteArray("the user's own file"));
        QVERIFY(!QFile::exists(Outside + "/planted.jpg"));
    }

    void removalStaysInTheDirectory()
    {
        // Paths that lead elsewhere are refused and leave the file alone.
        QVERIFY(QDir().mkpath(Download + "/sub"));
        QVERIFY(WriteTestFile(Download + "/sub/inner.jpg", "x"));
        for (const QString& path : {Download + "/../outside/victim.jpg", Victim, Download + "/sub/inner.jpg",
                                    Download + "/sub/../../outside/victim.jpg"})
            QVERIFY2(!RemoveInside(Download, path), qPrintable(path));
        QCOMPARE(ReadTestFile(Victim), QByteArray("the user's own file"));
        QVERIFY(QFile::exists(Download + "/sub/inner.jpg"));
        QVERIFY(!RemoveInside(Download, Download + "/missing.jpg"));
        QVERIFY(!RemoveInside(QString(), Download + "/sub"));

        // A link in the directory goes; what it points to stays.
        QVERIFY(QFile::link(Victim, Download + "/link.jpg"));
        QVERIFY(RemoveInside(Download, Download + "/link.jpg"));
        QVERIFY(!EntryExists(Download + "/link.jpg"));
        QCOMPARE(ReadTestFile(Victim), QByteArray("the user's own file"));

        // A download directory reached through a link is the same directory.
        const QString alias = Root->filePath(QStringLiteral("alias"));
        QVERIFY(QFile::link(Download, alias));
        QVERIFY(WriteTestFile(Download + "/pic.jpg", "x"));
        QVERIFY(RemoveInside(alias, alias + "/pic.jpg"));
        QVERIFY(!QFile::exists(Download + "/pic.jpg"));
    }

private:
    std::unique_ptr<QTemporaryDir> Root;
    QString Download;
    QString Outside;
    QString Victim;
};

QTEST_GUILESS_MAIN(TestLocalFiles)
#include "test_localfiles.moc"
