// The preview pane's rules without a window: height rounding, which paths are looked at and
// which files the JPEG decoder may touch.
#include <QtTest>

#include "rules/PreviewRules.h"

class TestPreviewRules : public QObject {
    Q_OBJECT
private slots:
    void heightRoundsHalvesToEven_data()
    {
        QTest::addColumn<int>("controlWidth");
        QTest::addColumn<int>("pictureWidth");
        QTest::addColumn<int>("pictureHeight");
        QTest::addColumn<int>("height");
        QTest::newRow("100x50 at 92: exact 46") << 92 << 100 << 50 << 46;
        QTest::newRow("3x2 at 92: 61.33 down") << 92 << 3 << 2 << 61;
        QTest::newRow("3x2 at 91: 60.67 up") << 91 << 3 << 2 << 61;
        QTest::newRow("half to even, down: 4x1 at 10 = 2.5") << 10 << 4 << 1 << 2;
        QTest::newRow("half to even, up: 4x1 at 14 = 3.5") << 14 << 4 << 1 << 4;
        QTest::newRow("tall picture 1x1000 at 92") << 92 << 1 << 1000 << 92000;
        QTest::newRow("huge sides do not overflow") << 30000 << 65535 << 65535 << 30000;
        QTest::newRow("empty picture") << 92 << 0 << 0 << 0;
        QTest::newRow("zero-width control") << 0 << 100 << 50 << 0;
    }
    void heightRoundsHalvesToEven()
    {
        QFETCH(int, controlWidth);
        QFETCH(int, pictureWidth);
        QFETCH(int, pictureHeight);
        QFETCH(int, height);
        QCOMPARE(PreviewHeight(controlWidth, pictureWidth, pictureHeight), height);
    }

    void whichPathsArePictures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("looked");
        QTest::addColumn<bool>("jpeg");
        QTest::newRow("jpg") << "/dl/a.jpg" << true << true;
        QTest::newRow("JPEG upper") << "/dl/A.JPEG" << true << true;
        QTest::newRow("mixed case Jpg") << "/dl/a.Jpg" << true << true;
        QTest::newRow("gif") << "/dl/a.gif" << false << false;
        QTest::newRow(".jp only in a folder name") << "/dl/x.jpg-pics/a.gif" << true << false;
        QTest::newRow("jpe is not a decoder's extension") << "/dl/a.jpe" << true << false;
        QTest::newRow("jp2") << "/dl/a.jp2" << true << false;
        QTest::newRow("jpg in the middle of a name") << "/dl/a.jpg.exe" << true << false;
        QTest::newRow("no dot before jpg") << "/dl/ajpg" << false << false;
    }
    void whichPathsArePictures()
    {
        QFETCH(QString, path);
        QFETCH(bool, looked);
        QFETCH(bool, jpeg);
        QCOMPARE(MayBePicture(path), looked);
        QCOMPARE(HasJpegExtension(path), jpeg);
    }
};

QTEST_GUILESS_MAIN(TestPreviewRules)
#include "test_preview_rules.moc"
