// The program's pictures: every drawing the code names is in the resources, and each is rendered
// at the size and pixel ratio it is shown at, not scaled up from a small bitmap.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include "widgets/SvgIcon.h"

namespace {
// The names that the window-side sources pass to SvgIcon / SvgPixmap.
QSet<QString> NamesUsedInSources()
{
    QSet<QString> names;
    const QRegularExpression call(QString::fromLatin1("Svg(?:Icon|Pixmap)\\(QStringLiteral\\(\"([a-z-]+)\"\\)"));
    for (const char* folder : {"main", "dialogs", "widgets", "download"}) {
        QDirIterator it(QStringLiteral(KELVORN_SOURCE_DIR "/") + QLatin1String(folder), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (const auto& match : call.globalMatch(text))
                names.insert(match.captured(1));
        }
    }
    return names;
}

int OpaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}
}  // namespace

class TestIcons : public QObject {
    Q_OBJECT
private slots:
    void everyNamedDrawingIsInTheResources();
    void iconsRenderAtTheScreensPixelRatio_data();
    void iconsRenderAtTheScreensPixelRatio();
    void disabledLookAndUnknownNames();
};

void TestIcons::everyNamedDrawingIsInTheResources()
{
    const QSet<QString> names = NamesUsedInSources();
    // Every drawing in the resources is used, and nothing else is named: a renamed or removed
    // drawing would otherwise show as an empty button.
    QSet<QString> drawings;
    for (const QString& file : QDir(QStringLiteral(":/resources/src")).entryList({QStringLiteral("*.svg")}))
        drawings.insert(file.chopped(4));
    QCOMPARE(names, drawings);
    for (const QString& name : names) {
        QVERIFY2(QFile::exists(SvgPath(name)), qPrintable(name));
        QVERIFY2(!SvgIcon(name).isNull(), qPrintable(name));
    }
}

void TestIcons::iconsRenderAtTheScreensPixelRatio_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("logical");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("state icon at 1x") << "state-done" << 16 << 1.0;
    QTest::newRow("state icon at 2x") << "state-failed" << 16 << 2.0;
    QTest::newRow("button at 1.5x") << "button-get" << 16 << 1.5;
    QTest::newRow("application icon at 2x") << "icon-kelvorn" << 32 << 2.0;
    QTest::newRow("application icon at 3x") << "icon-friendly" << 32 << 3.0;
}

void TestIcons::iconsRenderAtTheScreensPixelRatio()
{
    QFETCH(QString, name);
    QFETCH(int, logical);
    QFETCH(qreal, ratio);
    const int device = qRound(logical * ratio);
    const QSize size(logical, logical);

    const QPixmap fromIcon = SvgIcon(name).pixmap(size, ratio);
    QCOMPARE(fromIcon.size(), QSize(device, device));
    QCOMPARE(fromIcon.devicePixelRatio(), ratio);
    const QPixmap direct = SvgPixmap(name, size, ratio);
    QCOMPARE(direct.size(), QSize(device, device));
    QCOMPARE(direct.deviceIndependentSize(), QSizeF(size));
    QCOMPARE(fromIcon.toImage().convertToFormat(QImage::Format_ARGB32),
             direct.toImage().convertToFormat(QImage::Format_ARGB32));

    // Drawn anew, not a small bitmap blown up: the large rendering has detail that scaling the
    // 1x rendering up does not give.
    if (ratio > 1.0) {
        const QImage small = SvgPixmap(name, size, 1.0).toImage();
        const QImage blownUp = small.scaled(device, device, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                                   .convertToFormat(QImage::Format_ARGB32);
        QVERIFY(direct.toImage().convertToFormat(QImage::Format_ARGB32) != blownUp);
    }
    QVERIFY(OpaquePixels(direct.toImage()) > device * device / 10);
}

void TestIcons::disabledLookAndUnknownNames()
{
    const QIcon icon = SvgIcon(QStringLiteral("button-stop"));
    const QImage normal = icon.pixmap(QSize(16, 16), 2.0, QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(16, 16), 2.0, QIcon::Disabled).toImage();
    QCOMPARE(disabled.size(), normal.size());
    QVERIFY(disabled != normal);

    QVERIFY(SvgIcon(QStringLiteral("no-such-picture")).isNull());
    QVERIFY(SvgPixmap(QStringLiteral("no-such-picture"), QSize(16, 16), 1.0).isNull());
}

QTEST_MAIN(TestIcons)
#include "test_icons.moc"
