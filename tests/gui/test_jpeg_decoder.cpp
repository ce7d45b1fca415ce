// The JPEG decoder: real pictures in every colour layout come out right, and damaged or hostile
// input is a failed decode, never the end of the process.
#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "JpegFiles.h"
#include "main/JpegDecoder.h"

namespace {

QByteArray SaveWithQt(const QImage& image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", quality))
        return {};
    return bytes;
}

bool Near(QRgb a, QColor b, int tolerance = 12)
{
    return qAbs(qRed(a) - b.red()) <= tolerance && qAbs(qGreen(a) - b.green()) <= tolerance
        && qAbs(qBlue(a) - b.blue()) <= tolerance;
}

}  // namespace

class TestJpegDecoder : public QObject {
    Q_OBJECT
private slots:
    void decodesColourLayouts_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QColor>("colour");

        QImage rgb(100, 50, QImage::Format_RGB32);
        rgb.fill(QColor(200, 30, 40));
        QTest::newRow("rgb 100x50 from Qt") << SaveWithQt(rgb) << 100 << 50 << QColor(200, 30, 40);

        QImage grey(3, 2, QImage::Format_Grayscale8);
        grey.fill(QColor(128, 128, 128));
        QTest::newRow("greyscale 3x2") << SaveWithQt(grey) << 3 << 2 << QColor(128, 128, 128);

        // CMYK stored inverted as image editors write it: no cyan, full magenta and yellow,
        // no black is red.
        std::vector<uchar> cmyk(17 * 9 * 4);
        for (size_t i = 0; i < cmyk.size(); i += 4) {
            cmyk[i] = 255;
            cmyk[i + 1] = 0;
            cmyk[i + 2] = 0;
            cmyk[i + 3] = 255;
        }
        QTest::newRow("cmyk 17x9") << EncodeWithLibjpeg(17, 9, JCS_CMYK, 4, false, cmyk) << 17 << 9
                                   << QColor(255, 0, 0);

        std::vector<uchar> blue(64 * 40 * 3);
        for (size_t i = 0; i < blue.size(); i += 3) {
            blue[i] = 10;
            blue[i + 1] = 20;
            blue[i + 2] = 220;
        }
        QTest::newRow("progressive rgb 64x40")
            << EncodeWithLibjpeg(64, 40, JCS_RGB, 3, true, blue) << 64 << 40 << QColor(10, 20, 220);
    }
    void decodesColourLayouts()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QColor, colour);
        QVERIFY(!file.isEmpty());
        const TJpegPicture picture = TJpegDecoder::DecodeData(file);
        QVERIFY2(picture.Ok(), qPrintable(picture.Error));
        QCOMPARE(picture.Width, width);
        QCOMPARE(picture.Height, height);
        QCOMPARE(picture.Image.size(), QSize(width, height));
        QCOMPARE(picture.Warnings, 0);
        const QRgb middle = picture.Image.pixel(width / 2, height / 2);
        QVERIFY2(Near(middle, colour), qPrintable(QColor(middle).name() + " vs " + colour.name()));
    }

    // Whatever the bytes, the call returns with an error text and no picture.
    void rejectsWhatIsNoJpeg_data()
    {
        QTest::addColumn<QByteArray>("file");
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::green);
        const QByteArray good = SaveWithQt(image);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("<html>404 Not Found</html>");
        QTest::newRow("gif signature") << QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14);
        QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2);
        QTest::newRow("start and end marker, no frame") << QByteArray("\xFF\xD8\xFF\xD9", 4);
        QTest::newRow("header cut in the tables") << good.left(60);
        QByteArray noise(4096, '\0');
        quint32 seed = 12345;
        for (char& c : noise) {
            seed = seed * 1103515245u + 12345u;
            c = char(seed >> 24);
        }
        QTest::newRow("noise") << noise;
        QTest::newRow("jpeg start then noise") << QByteArray("\xFF\xD8", 2) + noise;
    }
    void rejectsWhatIsNoJpeg()
    {
        QFETCH(QByteArray, file);
        const TJpegPicture picture = TJpegDecoder::DecodeData(file);
        QVERIFY(!picture.Ok());
        QVERIFY(!picture.Error.isEmpty());
        QVERIFY(picture.Image.isNull());
        QVERIFY2(!picture.TooLarge, "damaged data is no size refusal");
    }

    // A file cut inside the pixel data still decodes (the rest grey) and counts a warning;
    // the decoder keeps working for the next picture afterwards.
    void truncatedDataIsAWarningAndDecoderStaysUsable()
    {
        QImage image(200, 200, QImage::Format_RGB32);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x)
                image.setPixel(x, y, qRgb(x, y, (x * y) & 255));
        const QByteArray full = SaveWithQt(image, 95);
        const TJpegPicture cut = TJpegDecoder::DecodeData(full.left(full.size() * 2 / 3));
        QVERIFY2(cut.Ok(), qPrintable(cut.Error));
        QVERIFY(cut.Warnings > 0);
        QCOMPARE(cut.Width, 200);
        const TJpegPicture whole = TJpegDecoder::DecodeData(full);
        QVERIFY(whole.Ok());
        QCOMPARE(whole.Warnings, 0);
    }

    // A progressive file whose frame header claims 60000 x 60000 pixels is refused before
    // libjpeg sets up its whole-picture buffers (gigabytes).
    // Such a refusal is about size, not damage: the file is kept by the preview.
    void hugeProgressiveHeaderIsRefused()
    {
        const QByteArray file = ProgressiveClaiming(60000, 60000);
        QVERIFY(!file.isEmpty());
        const TJpegPicture picture = TJpegDecoder::DecodeData(file);
        QVERIFY(!picture.Ok());
        QCOMPARE(picture.Width, 60000);
        QVERIFY2(picture.Error.contains("too large"), qPrintable(picture.Error));
        QVERIFY(picture.TooLarge);
    }

    // A progressive 9600 x 9600 picture with full colour resolution needs about 550 MB of
    // coefficients: within the cap, it previews reduced to a quarter of its size.
    void largeProgressivePicturePreviewsReduced()
    {
        const QByteArray file = ProgressiveClaiming(9600, 9600);
        QVERIFY(!file.isEmpty());
        const TJpegPicture picture = TJpegDecoder::DecodeData(file);
        QVERIFY2(picture.Ok(), qPrintable(picture.Error));
        QCOMPARE(picture.Width, 9600);
        QCOMPARE(picture.Image.size(), QSize(2400, 2400));
        QVERIFY(!picture.TooLarge);
    }

    // Big pictures are reduced to the pixel budget; the stated size stays the file's own.
    void largePicturesAreReducedOrRefused()
    {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(Qt::blue);
        const QByteArray file = SaveWithQt(image);
        const TJpegPicture half = TJpegDecoder::DecodeData(file, 32 * 32);
        QVERIFY2(half.Ok(), qPrintable(half.Error));
        QCOMPARE(half.Width, 64);
        QCOMPARE(half.Height, 64);
        QCOMPARE(half.Image.size(), QSize(32, 32));
        const TJpegPicture eighth = TJpegDecoder::DecodeData(file, 100);
        QCOMPARE(eighth.Image.size(), QSize(8, 8));
        const TJpegPicture refused = TJpegDecoder::DecodeData(file, 10);
        QVERIFY(!refused.Ok());
        QVERIFY(refused.Error.contains("too large"));
        QVERIFY(refused.TooLarge);
    }

    void filesAndProgress()
    {
        QTemporaryDir dir;
        QImage image(50, 100, QImage::Format_RGB32);
        image.fill(Qt::yellow);
        const QString path = dir.filePath("p.jpg");
        QVERIFY(image.save(path, "JPEG"));
        QList<int> rows;
        const TJpegPicture picture =
            TJpegDecoder::DecodeFile(path, TJpegDecoder::MaxPixels, [&](const QImage& partial, int done) {
                QCOMPARE(partial.size(), QSize(50, 100));
                rows << done;
            });
        QVERIFY(picture.Ok());
        QCOMPARE(rows, (QList<int>{32, 64, 96}));

        QVERIFY(!TJpegDecoder::DecodeFile(dir.filePath("missing.jpg")).Ok());
        QFile empty(dir.filePath("empty.jpg"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QCOMPARE(TJpegDecoder::DecodeFile(empty.fileName()).Error, QString("empty file"));
    }
};

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "test_jpeg_decoder.moc"
