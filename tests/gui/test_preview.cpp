// The preview pane of the main window: pictures scaled to the pane, blanking, files that are no
// pictures, corrupt pictures, the resize rule, opening files with the desktop and the option.
#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "GifFiles.h"
#include "JpegFiles.h"
#include "main/ShellOpen.h"
#include "main/TPreviewPane.h"
#include "main/UnitMain.h"
#include "rules/PreviewRules.h"
#include "support/IsolatedSettings.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TPreviewImage.h"

class TestPreview : public QObject {
    Q_OBJECT

    IsolatedSettings* FSettings = nullptr;
    TFormMain* FForm = nullptr;
    QTemporaryDir* FDownloads = nullptr;
    QList<QUrl> FOpened;

    void WriteJpeg(const QString& name, int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(FDownloads->filePath(name), "JPEG"));
    }
    void WriteBytes(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(FDownloads->filePath(name)).path());
        QFile file(FDownloads->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A file item with the given Filename column and state icon; returns its index.
    int AddFile(const QByteArray& fileName, int imageIndex)
    {
        const int index = FForm->ListViewFile->Add("http://127.0.0.1/" + fileName);
        FForm->ListViewFile->SetSubItem(index, 1, fileName);
        FForm->ListViewFile->SetSubItem(index, 2, "2000");
        FForm->ListViewFile->SetImageIndex(index, imageIndex);
        if (imageIndex >= 0)
            FForm->ListViewFile->SetStateImage(index, NoBoxStateImage);
        return index;
    }
    void Click(int index)
    {
        FForm->CurrentFileIndex = index;
        FForm->ListViewFileClick();
    }
    void ShowPicture(const QString& name, int width, int height)
    {
        WriteJpeg(name, width, height);
        Click(AddFile(name.toLatin1(), FileDownloaded));
    }

private slots:
    void init()
    {
        FSettings = new IsolatedSettings;
        FDownloads = new QTemporaryDir;
        FForm = new TFormMain;
        FForm->MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
        FForm->EndProcessHook = [] {};
        FForm->ComboBoxDownload->SetText(FDownloads->path());
        if (!FForm->Displayimagepreview1->isChecked())
            FForm->Displayimagepreview1Click();
        FOpened.clear();
        SetShellOpenHookForTesting([this](const QUrl& url) {
            FOpened << url;
            return true;
        });
    }
    void cleanup()
    {
        SetShellOpenHookForTesting({});
        delete FForm;
        delete FDownloads;
        delete FSettings;
    }

    void picturesFollowTheControlWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("controlHeight");
        QTest::addColumn<QString>("sizeLabel");
        QTest::newRow("100 x 50 gives 46") << 100 << 50 << 46 << "(100 * 50)";
        QTest::newRow("3 x 2 gives 61 (61.33)") << 3 << 2 << 61 << "(3 * 2)";
    }
    void picturesFollowTheControlWidth()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, controlHeight);
        QFETCH(QString, sizeLabel);
        QCOMPARE(FForm->ImagePreview->width(), 92);
        ShowPicture("shown.JPG", width, height);
        QCOMPARE(FForm->ImagePreview->width(), 92);
        QCOMPARE(FForm->ImagePreview->height(), controlHeight);
        QCOMPARE(FForm->Label1->text(), QString("shown.JPG"));
        QCOMPARE(FForm->Label2->text(), sizeLabel);
        QCOMPARE(FForm->ImagePreview->Picture().size(), QSize(width, height));
        QCOMPARE(FForm->ImagePreview->toolTip(), QString("Double click for view"));
    }

    // Items without a picture blank the pane (labels, picture, hint) and keep the height.
    void itemsWithoutPictureBlankThePane()
    {
        const int failed = AddFile("failed.jpg", FileFailed);
        const int busy = AddFile("busy.jpg", FileDownloading);
        const int pending = AddFile("pending.jpg", FilePending);
        for (int index : {failed, busy, pending, -1}) {
            ShowPicture(QStringLiteral("p%1.jpg").arg(index + 1), 100, 50);
            QCOMPARE(FForm->Label2->text(), QString("(100 * 50)"));
            if (index == -1)
                FForm->PreviewImage(-1);
            else
                Click(index);
            QCOMPARE(FForm->Label1->text(), QString("No image selected !"));
            QCOMPARE(FForm->Label2->text(), QString());
            QVERIFY(FForm->ImagePreview->Picture().isNull());
            QCOMPARE(FForm->ImagePreview->toolTip(), QString());
            QCOMPARE(FForm->ImagePreview->height(), 46);
        }
    }

    // Files that are no JPEG pictures leave the pane as it was and stay on disk.
    void otherFilesLeaveThePaneAlone_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("create");
        QTest::newRow("gif") << "anim.gif" << true;
        QTest::newRow("gif in a folder named x.jpg-pics") << "x.jpg-pics/a.gif" << true;
        QTest::newRow("jpe extension") << "odd.jpe" << true;
        QTest::newRow("downloaded jpg whose file is gone") << "gone.jpg" << false;
    }
    void otherFilesLeaveThePaneAlone()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, create);
        ShowPicture("before.jpg", 3, 2);
        if (create)
            WriteBytes(fileName, QByteArray(3000, 'x'));
        const int index = AddFile(fileName.toLatin1(), FileDownloaded);
        Click(index);
        QCOMPARE(FForm->Label1->text(), QString("before.jpg"));
        QCOMPARE(FForm->Label2->text(), QString("(3 * 2)"));
        QVERIFY(!FForm->ImagePreview->Picture().isNull());
        QCOMPARE(FForm->ImagePreview->height(), 61);
        QCOMPARE(QFile::exists(FDownloads->filePath(fileName)), create);
        QCOMPARE(FForm->ListViewFile->ImageIndex(index), int(FileDownloaded));
        QCOMPARE(FForm->ListViewFile->SubItem(index, 1), fileName.toLatin1());
    }

    // PNG, GIF and WebP pictures show as JPEG ones do, whatever their path holds.
    void otherFormatsShow_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("png") << "shot.png" << QByteArray("PNG") << 100 << 50;
        QTest::newRow("gif, upper-case extension") << "anim.GIF" << QByteArray("GIF") << 3 << 2;
        QTest::newRow("webp, mixed-case extension") << "photo.WebP" << QByteArray("WEBP") << 40 << 10;
    }
    void otherFormatsShow()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        if (format == "GIF") {
            WriteBytes(fileName, GifOf(width, height));
        } else {
            if (!QImageWriter::supportedImageFormats().contains(format.toLower()))
                QSKIP("Qt's image format plug-ins are not installed (scripts/setup.sh installs them)");
            QImage image(width, height, QImage::Format_RGB32);
            image.fill(Qt::darkYellow);
            QVERIFY(image.save(FDownloads->filePath(fileName), format.constData()));
        }
        ShowPicture("before.jpg", 7, 7);
        Click(AddFile(fileName.toLatin1(), FileDownloaded));
        QCOMPARE(FForm->Label1->text(), fileName);
        QCOMPARE(FForm->Label2->text(), PictureSizeText(width, height));
        QCOMPARE(FForm->ImagePreview->Picture().size(), QSize(width, height));
        QCOMPARE(FForm->ImagePreview->height(), PreviewHeight(92, width, height));
        QCOMPARE(FForm->ImagePreview->toolTip(), QString("Double click for view"));
    }

    // A PNG, GIF or WebP file that does not read is no JPEG verdict: it stays, and so does the pane.
    void damagedOtherPictureIsKept_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("png cut after its header")
            << "cut.png" << QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000640000003208060000");
        QTest::newRow("gif of text") << "text.gif" << QByteArray("<html>404 Not Found</html>");
        QTest::newRow("empty webp") << "empty.webp" << QByteArray();
    }
    void damagedOtherPictureIsKept()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        ShowPicture("before.jpg", 3, 2);
        WriteBytes(fileName, bytes);
        const int index = AddFile(fileName.toLatin1(), FileDownloaded);
        Click(index);
        QCOMPARE(FForm->Label1->text(), QString("before.jpg"));
        QCOMPARE(FForm->Label2->text(), QString("(3 * 2)"));
        QVERIFY(QFile::exists(FDownloads->filePath(fileName)));
        QCOMPARE(FForm->ListViewFile->ImageIndex(index), int(FileDownloaded));
        QCOMPARE(FForm->ListViewFile->SubItem(index, 1), fileName.toLatin1());
    }

    void corruptPictureIsDeletedAndMarked()
    {
        ShowPicture("good.jpg", 100, 50);
        WriteBytes("bad.jpg", QByteArray(2000, '\x55'));
        const int index = AddFile("bad.jpg", FileSkipped);
        Click(index);
        QVERIFY(!QFile::exists(FDownloads->filePath("bad.jpg")));
        QCOMPARE(FForm->ListViewFile->SubItem(index, 1), QByteArray("Image corrupted"));
        QCOMPARE(FForm->ListViewFile->SubItem(index, 2), QByteArray("(Deleted)"));
        QCOMPARE(FForm->ListViewFile->ImageIndex(index), int(FileFailed));
        QCOMPARE(FForm->ListViewFile->StateImage(index), 3);
        QCOMPARE(FForm->ImagePreview->toolTip(), QString());
        QCOMPARE(FForm->Label1->text(), QString("good.jpg"));  // the last picture stays
        QCOMPARE(FForm->Label2->text(), QString("(100 * 50)"));
        // Clicking it again now blanks the pane: it has no picture any more.
        Click(index);
        QCOMPARE(FForm->Label1->text(), QString("No image selected !"));
    }

    // A picture refused for its size is no corrupt download: the file stays, the item keeps its
    // state, and the pane names it and says why no picture is shown.
    void tooLargePictureIsKeptAndLabelled_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("size");
        QTest::newRow("progressive 20000 x 20000") << ProgressiveClaiming(20000, 20000) << "(20000 * 20000)";
        QTest::newRow("progressive 60000 x 30000") << ProgressiveClaiming(60000, 30000) << "(60000 * 30000)";
    }
    void tooLargePictureIsKeptAndLabelled()
    {
        QFETCH(QByteArray, file);
        QVERIFY(!file.isEmpty());
        ShowPicture("good.jpg", 100, 50);
        WriteBytes("huge.jpg", file);
        const int index = AddFile("huge.jpg", FileDownloaded);
        Click(index);
        QVERIFY(QFile::exists(FDownloads->filePath("huge.jpg")));
        QCOMPARE(FForm->ListViewFile->SubItem(index, 1), QByteArray("huge.jpg"));
        QCOMPARE(FForm->ListViewFile->SubItem(index, 2), QByteArray("2000"));
        QCOMPARE(FForm->ListViewFile->ImageIndex(index), int(FileDownloaded));
        QCOMPARE(FForm->ImagePreview->Notice(), QString("(too large to preview)"));
        QVERIFY(FForm->ImagePreview->Picture().isNull());
        QCOMPARE(FForm->Label1->text(), QString("huge.jpg"));
        QTEST(FForm->Label2->text(), "size");
        // The next picture replaces the notice.
        Click(AddFile("good.jpg", FileDownloaded));
        QCOMPARE(FForm->ImagePreview->Notice(), QString());
        QCOMPARE(FForm->Label2->text(), QString("(100 * 50)"));
    }

    void resizeKeepsProportionsOfAShownPictureOnly()
    {
        FForm->show();  // sizes of a hidden window are only settled when it shows
        QVERIFY(QTest::qWaitForWindowExposed(FForm));
        QCOMPARE(FForm->ImagePreview->width(), FForm->PanelPreview->width() - 5);
        ShowPicture("wide.jpg", 100, 50);
        const int panelHeight = FForm->PanelPreview->height();
        FForm->PanelPreview->resize(197, panelHeight);  // picture control: 197 - 5 = 192 wide
        QCOMPARE(FForm->ImagePreview->width(), 192);
        QCOMPARE(FForm->ImagePreview->height(), 96);
        FForm->PanelPreview->resize(198, panelHeight);  // 193 * 0.5 = 96.5: halves to even
        QCOMPARE(FForm->ImagePreview->height(), 96);
        FForm->BlankPreviewImage();
        FForm->PanelPreview->resize(97, panelHeight);
        QCOMPARE(FForm->ImagePreview->width(), 92);
        QCOMPARE(FForm->ImagePreview->height(), 96);
    }

    // A click hides the check box of an item with an icon, and previews only with the option on.
    void clickFollowsTheOption()
    {
        WriteJpeg("a.jpg", 100, 50);
        const int index = AddFile("a.jpg", FileDownloaded);
        FForm->ListViewFile->SetStateImage(index, 1);  // the user's click ticked the hidden box
        FForm->Displayimagepreview1Click();
        QVERIFY(!FForm->Displayimagepreview1->isChecked());
        FForm->BlankPreviewImage();
        Click(index);
        QCOMPARE(FForm->ListViewFile->StateImage(index), 3);
        QCOMPARE(FForm->Label1->text(), QString("No image selected !"));
        FForm->Displayimagepreview1Click();
        Click(index);
        QCOMPARE(FForm->Label1->text(), QString("a.jpg"));
        // A pending item keeps its box; no current item does nothing.
        const int pending = AddFile("p.jpg", FilePending);
        FForm->ListViewFile->SetStateImage(pending, 1);
        Click(pending);
        QCOMPARE(FForm->ListViewFile->StateImage(pending), 1);
        Click(-1);
        QCOMPARE(FForm->Label1->text(), QString("No image selected !"));
    }

    void optionShowsAndHidesThePane()
    {
        FForm->Displayimagepreview1Click();
        QVERIFY(FForm->PanelPreview->isHidden());
        QVERIFY(!FForm->Letpreviewjumptolatestfiledownloaded1->isEnabled());
        if (!FForm->Displaydownloadengineprogress1->isChecked()) {
            QVERIFY(FForm->PanelExtra->isHidden());
            QVERIFY(FForm->Splitter2->isHidden());
        }
        FForm->Displayimagepreview1Click();
        QVERIFY(!FForm->PanelPreview->isHidden());
        QVERIFY(!FForm->PanelExtra->isHidden());
        QVERIFY(FForm->Letpreviewjumptolatestfiledownloaded1->isEnabled());
    }

    // An engine thread asks for the preview of the file it finished; the window does the work.
    void doubleClickOpensTheCurrentFile()
    {
        ShowPicture("shown.jpg", 100, 50);
        WriteJpeg("other.jpg", 10, 10);
        const int other = AddFile("other.jpg", FileSkipped);
        FForm->CurrentFileIndex = other;
        // A double click on the picture opens the current item, not the picture shown.
        QTest::mouseDClick(FForm->ImagePreview, Qt::LeftButton);
        QCOMPARE(FOpened, QList<QUrl>{QUrl::fromLocalFile(FDownloads->filePath("other.jpg"))});
        QCOMPARE(FForm->ListViewFile->ImageIndex(other), int(FileOpened));
        QCOMPARE(FForm->ListViewFile->StateImage(other), 3);

        // Items not downloaded are not opened and keep their state.
        for (int state : {int(FileDownloading), int(FileFailed), int(FilePending)}) {
            FOpened.clear();
            FForm->CurrentFileIndex = AddFile("x.jpg", state);
            FForm->ListViewFileDblClick();
            QVERIFY(FOpened.isEmpty());
            QCOMPARE(FForm->ListViewFile->ImageIndex(FForm->CurrentFileIndex), state);
        }
        FOpened.clear();
        FForm->CurrentFileIndex = -1;
        FForm->ListViewFileDblClick();
        QVERIFY(FOpened.isEmpty());

        // A path longer than the shell takes is not cut short into another name; the item still
        // counts as opened, as after any failed open.
        const QByteArray longName = QByteArray(130, 'n') + ".jpg";
        FForm->CurrentFileIndex = AddFile(longName, FileDownloaded);
        FForm->ListViewFileDblClick();
        QVERIFY(FOpened.isEmpty());
        QCOMPARE(FForm->ListViewFile->ImageIndex(FForm->CurrentFileIndex), int(FileOpened));
    }

    // A downloaded file goes to the desktop's program only when its name and its first bytes
    // agree that it is a picture, video, audio file, archive or document; anything else is
    // shown in its folder.
    void doubleClickOpensOnlyHarmlessFiles_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("opened");  // false: its folder is shown instead
        const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        QTest::newRow("a picture") << QByteArray("pic.png") << png << true;
        QTest::newRow("a PDF") << QByteArray("doc.pdf") << QByteArray("%PDF-1.7\n") << true;
        QTest::newRow("a desktop entry") << QByteArray("run.desktop") << QByteArray("[Desktop Entry]\nExec=sh -c id\n")
                                         << false;
        QTest::newRow("a shell script") << QByteArray("install.sh") << QByteArray("#!/bin/sh\nid\n") << false;
        QTest::newRow("a Java archive") << QByteArray("tool.jar") << QByteArray("PK\x03\x04\x14\0") << false;
        QTest::newRow("a Windows program") << QByteArray("setup.exe") << QByteArray("MZ\x90\0") << false;
        QTest::newRow("a program named as a picture") << QByteArray("pic.jpg")
                                                      << QByteArray("\x7f"
                                                                    "ELF\2\1\1")
                                                      << false;
        QTest::newRow("a script named as a picture") << QByteArray("pic2.jpg") << QByteArray("#!/bin/sh\n") << false;
        QTest::newRow("no extension") << QByteArray("README") << png << false;
    }
    void doubleClickOpensOnlyHarmlessFiles()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, opened);
        WriteBytes(QString::fromLatin1(name), bytes + QByteArray(2000, '\0'));
        FForm->CurrentFileIndex = AddFile(name, FileDownloaded);
        FForm->ListViewFileDblClick();
        const QString path = FDownloads->filePath(QString::fromLatin1(name));
        QCOMPARE(FOpened, QList<QUrl>{QUrl::fromLocalFile(opened ? path : QFileInfo(path).absolutePath())});
        QCOMPARE(FForm->ListViewFile->ImageIndex(FForm->CurrentFileIndex), int(FileOpened));
    }

    // The pane on its own: it finds an item's file through the path it is given, a click
    // without preview only hides the check box again, and indexes that name no item (an item
    // removed while events ran) change nothing.
    void paneOnItsOwnControls()
    {
        TCheckListView files;
        TPreviewImage picture;
        picture.resize(92, 68);
        QLabel name, size;
        QTemporaryDir elsewhere;
        QList<int> asked;
        TPreviewPane pane(&picture, &name, &size, &files, [&](int index) {
            asked << index;
            return elsewhere.filePath(QString::fromLatin1(files.SubItem(index, 1)));
        });
        QImage image(40, 10, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(elsewhere.filePath("p.jpg"), "JPEG"));
        const int item = files.Add("http://127.0.0.1/p.jpg");
        files.SetSubItem(item, 1, "p.jpg");
        files.SetImageIndex(item, FileDownloaded);
        files.SetStateImage(item, 0);  // a check box showing on an item with an icon

        pane.Click(item, false);
        QCOMPARE(files.StateImage(item), 3);
        QVERIFY(picture.Picture().isNull());
        QVERIFY(asked.isEmpty());

        pane.Click(item, true);
        QCOMPARE(asked, QList<int>{item});
        QCOMPARE(name.text(), QString("p.jpg"));
        QCOMPARE(size.text(), QString("(40 * 10)"));
        QCOMPARE(pane.PictureWidth(), 40);
        QCOMPARE(picture.height(), 23);  // 92 * 10 / 40 = 23

        for (int gone : {1, 7, -2}) {
            pane.Click(gone, true);
            pane.Open(gone);
        }
        QVERIFY(FOpened.isEmpty());
        QCOMPARE(name.text(), QString("p.jpg"));
        pane.Show(7);  // no such item: nothing to show
        QCOMPARE(name.text(), QString("No image selected !"));
        QVERIFY(picture.Picture().isNull());

        pane.Open(item);
        QCOMPARE(FOpened, QList<QUrl>{QUrl::fromLocalFile(elsewhere.filePath("p.jpg"))});
        QCOMPARE(files.ImageIndex(item), int(FileOpened));
    }
};

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
