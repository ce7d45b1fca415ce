// Where the program's own files are looked for and written.
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "platform/ProgramDir.h"

class TestProgramDir : public QObject {
    Q_OBJECT
private slots:
    void dataDirectoryIsPerUserAndCreated()
    {
        QTemporaryDir home;
        const QByteArray old = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        const QString dir = DataDir();
        QCOMPARE(dir, home.path() + QStringLiteral("/Kelvorn/"));
        QVERIFY(QFileInfo(dir).isDir());
        // The test seam moves both directories, and an empty text gives the real ones back.
        SetProgramDirForTesting(home.path() + QStringLiteral("/elsewhere"));
        QCOMPARE(DataDir(), home.path() + QStringLiteral("/elsewhere/"));
        QCOMPARE(DocumentationDir(), home.path() + QStringLiteral("/elsewhere/"));
        SetProgramDirForTesting(QString());
        QCOMPARE(DataDir(), dir);
        qputenv("XDG_DATA_HOME", old);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kelvorn"));
    TestProgramDir test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_programdir.moc"
