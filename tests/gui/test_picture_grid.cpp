// The picture grid: the file list's pictures with their sizes and thumbnails fetched from a
// local gallery, and ticks that go both ways between the grid and the list.
#include <QtTest>

#include "gui/DownloadFixture.h"
#include "gui/RetrievalFixture.h"
#include "main/TThumbnailFetcher.h"
#include "support/PyHttpServer.h"
#include "widgets/TPictureGrid.h"

namespace {
QByteArray Png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

int RowOf(const QAbstractItemModel* model, const QByteArray& address)
{
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, 0).data(Qt::ToolTipRole).toString().toLatin1() == address)
            return row;
    return -1;
}

constexpr int Pictures = 12;
}  // namespace

class TestPictureGrid : public QObject {
    Q_OBJECT
private slots:
    void sizeTexts_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("text");
        QTest::newRow("both sides known") << 640 << 480 << "640 x 480";
        QTest::newRow("width alone") << 640 << 0 << "640 x ?";
        QTest::newRow("height alone") << 0 << 480 << "? x 480";
        QTest::newRow("nothing known shows nothing") << 0 << 0 << "";
    }
    void sizeTexts()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QTEST(TPictureGridModel::SizeText(width, height), "text");
    }

    void largePicturesAreReadAtTheCellsSize()
    {
        QTemporaryDir dir;
        WriteFile(dir.path(), "big.png", Png(1200, 300));
        const QImage image = TThumbnailFetcher::ReadScaled(dir.filePath("big.png"), QSize(128, 96));
        QCOMPARE(image.size(), QSize(128, 32));
        WriteFile(dir.path(), "bad.png", "not a picture");
        QVERIFY(TThumbnailFetcher::ReadScaled(dir.filePath("bad.png"), QSize(128, 96)).isNull());
    }

    // Get document on a gallery: the grid holds its pictures (not the archive), each with the
    // size the page declares and a thumbnail fetched from the server; ticks go both ways.
    void galleryInTheGrid()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        PyHttpServer server(root.path());
        QVERIFY(server.Start());
        QByteArray page = "<!doctype html><html><body>";
        for (int i = 1; i <= Pictures; ++i) {
            const QByteArray n = QByteArray::number(i);
            const QByteArray w = QByteArray::number(100 + 10 * i);
            page += "<img src='pics/p" + n + ".png' width=" + w + " height=80>";
            WriteFile(root.path(), "g/pics/p" + n + ".png", Png(100 + 10 * i, 80));
        }
        page += "<a href='files/all.zip'>zip</a></body></html>";
        WriteFile(root.path(), "g/index.html", page);
        WriteFile(root.path(), "g/files/all.zip", "PK");
        const QByteArray b = server.Url("/g/");

        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
        w.Get(b + "index.html");
        QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle() && w.Files()->Count() == Pictures + 1, 60000);
        w.win->Picturegrid1->trigger();
        QWidget* form = w.win->findChild<QWidget*>("FormPictures");
        QVERIFY(form && form->isVisible());
        auto* grid = form->findChild<QListView*>("PictureGrid");
        QVERIFY(grid);
        QAbstractItemModel* model = grid->model();
        QCOMPARE(model->rowCount(), Pictures);
        QCOMPARE(RowOf(model, b + "files/all.zip"), -1);

        const int row = RowOf(model, b + "pics/p3.png");
        QVERIFY(row >= 0);
        const QModelIndex cell = model->index(row, 0);
        QCOMPARE(cell.data(Qt::DisplayRole).toString(), QStringLiteral("p3.png\n130 x 80"));
        // The visible cells' thumbnails arrive, scaled to the cell.
        form->resize(1200, 900);
        QTRY_VERIFY_WITH_TIMEOUT(!cell.data(Qt::DecorationRole).value<QImage>().isNull(), 60000);
        QCOMPARE(cell.data(Qt::DecorationRole).value<QImage>().size(), QSize(128, 78));

        const int item = RetrievalWindow::IndexOf(w.Files(), b + "pics/p3.png");
        QVERIFY(!w.Files()->Checked(item));
        QVERIFY(model->setData(cell, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(w.Files()->Checked(item));
        w.Files()->SetChecked(item, false);
        QTRY_COMPARE(cell.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        w.win->Selectall1->trigger();
        QTRY_COMPARE(cell.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

        // A file the user has downloaded keeps its tick: the grid offers no box for it.
        w.Files()->SetImageIndex(item, FileDownloaded);
        QTRY_VERIFY(!(model->flags(cell) & Qt::ItemIsUserCheckable));
        QVERIFY(!model->setData(cell, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(w.Files()->Checked(item));

        // Deleting the lines of the gallery's host (confirmed) empties the grid.
        w.win->MessageBoxHook = [](MsgKind kind, const QString&, const QString&) {
            return kind == MsgKind::Confirm ? int(mrYes) : int(mrOk);
        };
        w.Files()->SetCurrentIndex(item);
        w.win->Deletealllines1->trigger();
        QCOMPARE(w.Files()->Count(), 0);
        QTRY_COMPARE(model->rowCount(), 0);
    }
};

QTEST_MAIN(TestPictureGrid)
#include "test_picture_grid.moc"
