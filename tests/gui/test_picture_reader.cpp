// Pictures read with Qt's image plug-ins: sizes from a file's first bytes (what a request for
// the first 64 KB brings), and PNG, GIF and WebP files decoded for the preview.
#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/GifFiles.h"
#include "main/PictureReader.h"

namespace {
// A picture of noise, so that its file is much larger than the 64 KB head.
QImage Noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random->generate();
    }
    return image;
}

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format) ? bytes : QByteArray();
}

bool Readable(const char* format) { return QImageReader::supportedImageFormats().contains(QByteArray(format)); }
}  // namespace

class TestPictureReader : public QObject {
    Q_OBJECT
private slots:
    void sizeFromTheFirstBytes_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("jpeg") << QByteArray("jpeg") << 1500 << 1000;
        QTest::newRow("png") << QByteArray("png") << 1200 << 900;
        QTest::newRow("webp") << QByteArray("webp") << 1024 << 683;
        QTest::newRow("gif") << QByteArray("gif") << 640 << 480;
        QTest::newRow("avif") << QByteArray("avif") << 800 << 600;
    }
    void sizeFromTheFirstBytes()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        if (!Readable(format.constData()))
            QSKIP("no image plug-in reads this format here");
        QByteArray file;
        if (format == "gif") {
            file = GifOf(width, height);
        } else {
            if (!QImageWriter::supportedImageFormats().contains(format))
                QSKIP("no image plug-in writes this format here");
            file = Encoded(Noise(width, height), format.constData());
            QVERIFY(file.size() > 64 * 1024);  // the head below is really cut
        }
        QCOMPARE(PictureSizeFromHead(file.left(64 * 1024)), QSize(width, height));
    }

    void noSizeFromOtherBytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("an error page") << QByteArray("<html><body>404 Not Found</body></html>");
        QTest::newRow("png signature alone") << QByteArray::fromHex("89504e470d0a1a0a");
        QTest::newRow("jpeg start without frame") << QByteArray::fromHex("ffd8ffe000104a46494600");
        QTest::newRow("gif with zero width") << GifOf(0, 10);
    }
    void noSizeFromOtherBytes()
    {
        QFETCH(QByteArray, head);
        QVERIFY(!PictureSizeFromHead(head).isValid());
    }

    void decodesOtherFormats()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath("a.png");
        QVERIFY(Noise(30, 20).save(png, "PNG"));
        const TJpegPicture picture = DecodeOtherPicture(png);
        QVERIFY2(picture.Ok(), qPrintable(picture.Error));
        QCOMPARE(QSize(picture.Width, picture.Height), QSize(30, 20));
        QCOMPARE(picture.Image.size(), QSize(30, 20));
    }

    // A picture over the preview's pixel budget is decoded reduced; one that claims an absurd
    // size is refused before decoding, its claimed size kept for the label.
    void largePicturesAreReducedOrRefused()
    {
        QTemporaryDir dir;
        const QString big = dir.filePath("big.png");
        QVERIFY(Noise(400, 300).save(big, "PNG"));
        const TJpegPicture reduced = DecodeOtherPicture(big, 400 * 300 / 4);
        QVERIFY2(reduced.Ok(), qPrintable(reduced.Error));
        QCOMPARE(QSize(reduced.Width, reduced.Height), QSize(400, 300));
        QCOMPARE(reduced.Image.size(), QSize(200, 150));

        const QString huge = dir.filePath("huge.gif");
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(GifOf(60000, 40000));
        file.close();
        const TJpegPicture refused = DecodeOtherPicture(huge);
        QVERIFY(refused.TooLarge);
        QVERIFY(!refused.Ok());
        QCOMPARE(QSize(refused.Width, refused.Height), QSize(60000, 40000));
    }
};

QTEST_MAIN(TestPictureReader)
#include "test_picture_reader.moc"
