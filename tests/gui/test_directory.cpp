// The directory chooser: its drive and directory widgets, "&New directory" with "&Ok", and the
// ways it closes from the download field (save, cancel, close box) with the field re-tested and
// the file icons refreshed every time.
#include <QAction>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "dialogs/UnitDirectory.h"
#include "main/UnitMain.h"
#include "support/IsolatedSettings.h"
#include "widgets/TCheckListView.h"
#include "widgets/TDirectoryListBox.h"
#include "widgets/TDriveComboBox.h"
#include "widgets/TFlatComboBox.h"

class TestDirectory : public QObject {
    Q_OBJECT

    IsolatedSettings* FSettings = nullptr;
    TFormMain* FForm = nullptr;
    QTemporaryDir* FTree = nullptr;
    QStringList FMessages;        // the window's message boxes
    QStringList FDialogMessages;  // the dialog's own error boxes

    QString Path(const QString& relative) const { return QDir::cleanPath(FTree->path() + "/" + relative); }
    void Touch(const QString& relative)
    {
        QFile file(Path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("data");
    }
    int AddPendingFile(const QByteArray& name)
    {
        const int index = FForm->ListViewFile->Add("http://127.0.0.1/" + name);
        FForm->ListViewFile->SetSubItem(index, 1, name);
        FForm->ListViewFile->SetImageIndex(index, FilePending);
        return index;
    }
    // Opens the chooser from the download field; `inside` runs in the dialog's own event loop.
    void OpenWith(const std::function<void()>& inside)
    {
        bool ran = false;
        QTimer::singleShot(0, FormDirectory, [inside, &ran] {
            ran = FormDirectory->isVisible();
            if (ran)
                inside();
            if (FormDirectory->isVisible())  // a failed check must not leave the loop running
                FormDirectory->reject();
        });
        emit FForm->ComboBoxDownload->DoubleClicked();
        QVERIFY(ran);
        QVERIFY(!FormDirectory->isVisible());
    }
    bool FieldIsRed() const { return FForm->ComboBoxDownload->BackgroundColor() == QColor(255, 0, 0); }

private slots:
    void init()
    {
        FSettings = new IsolatedSettings;
        FTree = new QTemporaryDir;
        for (const char* dir : {"a/b/c", "a/b/D", "a/b/.hidden", "other"})
            QDir(FTree->path()).mkpath(dir);
        FForm = new TFormMain;
        FMessages.clear();
        FForm->MessageBoxHook = [this](MsgKind, const QString&, const QString& text) {
            FMessages << text;
            return int(mrOk);
        };
        FForm->EndProcessHook = [] {};
        FormDirectory = new TFormDirectory;
        // The dialog on its own reports here; opened by the window, through the window.
        FormDirectory->ErrorBoxHook = [this](const QString& text) { FDialogMessages << text; };
        FDialogMessages.clear();
    }
    void cleanup()
    {
        delete FormDirectory;
        FormDirectory = nullptr;
        delete FForm;
        delete FTree;
        delete FSettings;
    }

    void drivesAreMountedWritableFileSystems_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("offered");
        QTest::newRow("ext4") << QByteArray("ext4") << true << true << false << true;
        QTest::newRow("network nfs") << QByteArray("nfs4") << true << true << false << true;
        QTest::newRow("read-only ext4") << QByteArray("ext4") << true << true << true << false;
        QTest::newRow("not ready") << QByteArray("vfat") << true << false << false << false;
        QTest::newRow("proc") << QByteArray("proc") << true << true << false << false;
        QTest::newRow("sysfs") << QByteArray("sysfs") << true << true << false << false;
        QTest::newRow("squashfs image") << QByteArray("squashfs") << true << true << false << false;
    }
    void drivesAreMountedWritableFileSystems()
    {
        QFETCH(QByteArray, type);
        QFETCH(bool, valid);
        QFETCH(bool, ready);
        QFETCH(bool, readOnly);
        QFETCH(bool, offered);
        QCOMPARE(TDriveComboBox::IsOfferedVolume(type, valid, ready, readOnly), offered);
    }

    void driveOfAPath()
    {
        const QStringList roots{"/", "/home", "/mnt/usb"};
        QCOMPARE(TDriveComboBox::DriveOf("/home/u/Downloads", roots), QString("/home"));
        QCOMPARE(TDriveComboBox::DriveOf("/home", roots), QString("/home"));
        QCOMPARE(TDriveComboBox::DriveOf("/homework/x", roots), QString("/"));
        QCOMPARE(TDriveComboBox::DriveOf("/mnt/usb/../x", roots), QString("/"));
        QCOMPARE(TDriveComboBox::DriveOf("/mnt/usb/pics", roots), QString("/mnt/usb"));
        QVERIFY(!TDriveComboBox::MountedDrives().isEmpty());
    }

    // The list: the path from the drive's root down (opened, the shown one current), then the
    // sub-folders (closed, hidden ones left out); opening folders by double click and Enter.
    void directoryListShowsPathThenSubFolders()
    {
        TDirectoryListBox list;
        list.SetRoots({FTree->path()});
        QVERIFY(list.SetDirectory(Path("a/b")));
        QCOMPARE(list.RowPaths(), QStringList({FTree->path(), Path("a"), Path("a/b"), Path("a/b/c"), Path("a/b/D")}));
        const QList<TDirectoryListBox::FolderKind> kinds{TDirectoryListBox::Opened, TDirectoryListBox::Opened,
                                                         TDirectoryListBox::Current, TDirectoryListBox::Closed,
                                                         TDirectoryListBox::Closed};
        for (int row = 0; row < kinds.size(); ++row)
            QCOMPARE(list.RowKind(row), kinds[row]);

        QVERIFY(!list.SetDirectory(Path("a/missing")));
        QVERIFY(!list.SetDirectory(QString()));
        QCOMPARE(list.Directory(), Path("a/b"));

        QSignalSpy changed(&list, &TDirectoryListBox::DirectoryChanged);
        QTreeWidgetItem* sub = list.findItems("c", Qt::MatchExactly | Qt::MatchRecursive).value(0);
        QVERIFY(sub);
        emit list.itemDoubleClicked(sub, 0);
        QCOMPARE(list.Directory(), Path("a/b/c"));
        QCOMPARE(changed.size(), 1);
        // Enter on a highlighted folder up the path opens it.
        list.setCurrentItem(list.findItems("a", Qt::MatchExactly | Qt::MatchRecursive).value(0));
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(list.Directory(), Path("a"));
        // Merely highlighting a folder does not change the shown directory.
        list.setCurrentItem(list.findItems("b", Qt::MatchExactly | Qt::MatchRecursive).value(0));
        QCOMPARE(list.Directory(), Path("a"));
    }

    void newDirectoryPanel()
    {
        QVERIFY(FormDirectory->MoveTo(Path("other")));
        FormDirectory->Edit1->setText("stale");
        FormDirectory->ButtonNew->click();
        QVERIFY(!FormDirectory->PanelBottom->isHidden());
        QCOMPARE(FormDirectory->Edit1->text(), QString());
        QVERIFY(!FormDirectory->ButtonOk->isEnabled());
        // Enter while "&Ok" is disabled does nothing.
        QTest::keyClick(FormDirectory->Edit1, Qt::Key_Return);
        QVERIFY(!FormDirectory->PanelBottom->isHidden());
        QTest::keyClicks(FormDirectory->Edit1, "fresh");
        QVERIFY(FormDirectory->ButtonOk->isEnabled());
        QTest::keyClick(FormDirectory->Edit1, Qt::Key_Return);
        QVERIFY(QFileInfo(Path("other/fresh")).isDir());
        QCOMPARE(FormDirectory->Directory(), Path("other/fresh"));
        QVERIFY(FormDirectory->PanelBottom->isHidden());
        QVERIFY(FDialogMessages.isEmpty());

        // "&New directory" twice hides the panel again.
        FormDirectory->ButtonNew->click();
        FormDirectory->ButtonNew->click();
        QVERIFY(FormDirectory->PanelBottom->isHidden());

        // An existing name is simply opened.
        FormDirectory->MoveTo(Path("a"));
        FormDirectory->ButtonNew->click();
        FormDirectory->Edit1->setText("b");
        FormDirectory->ButtonOk->click();
        QCOMPARE(FormDirectory->Directory(), Path("a/b"));
        QVERIFY(FDialogMessages.isEmpty());
    }

    void newDirectoryFailures()
    {
        QVERIFY(FormDirectory->MoveTo(Path("other")));
        FormDirectory->ButtonNew->click();
        // A full path is refused with a clear message; nothing is made anywhere.
        const QString absolute = Path("elsewhere");
        FormDirectory->Edit1->setText(absolute);
        FormDirectory->ButtonOk->click();
        QCOMPARE(FDialogMessages.size(), 1);
        QVERIFY(FDialogMessages[0].contains("full path"));
        QVERIFY(!QFileInfo::exists(absolute));
        QVERIFY(!QFileInfo::exists(Path("other") + absolute));
        QVERIFY(!FormDirectory->PanelBottom->isHidden());
        // A directory that cannot be made: an error box, the list stays, the panel stays.
        FormDirectory->Edit1->setText("no/such/parent");
        FormDirectory->ButtonOk->click();
        QCOMPARE(FDialogMessages.size(), 2);
        QVERIFY(FDialogMessages[1].contains("no/such/parent"));
        QCOMPARE(FormDirectory->Directory(), Path("other"));
        QVERIFY(!FormDirectory->PanelBottom->isHidden());
    }

    // The dialog returns the directory it shows when the user saves, and nothing otherwise;
    // a start that does not exist leaves the list where it stood.
    void chooseReturnsTheShownDirectory_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("chosen");  // empty: nothing returned
        // clang-format off
        QTest::newRow("save at the start") << "other" << "save" << "other";
        QTest::newRow("save after opening a folder") << "a/b" << "open c, save" << "a/b/c";
        QTest::newRow("missing start keeps the last one") << "gone" << "save" << "a";
        QTest::newRow("cancel") << "other" << "cancel" << "";
        QTest::newRow("close box") << "other" << "close" << "";
        // clang-format on
    }
    void chooseReturnsTheShownDirectory()
    {
        QFETCH(QString, start);
        QFETCH(QString, how);
        QFETCH(QString, chosen);
        QVERIFY(FormDirectory->MoveTo(Path("a")));
        bool ran = false;
        QTimer::singleShot(0, FormDirectory, [&] {
            ran = FormDirectory->isVisible() && FormDirectory->isModal();
            if (how.startsWith("open c"))
                FormDirectory->MoveTo(Path("a/b/c"));
            if (how.endsWith("save"))
                FormDirectory->ButtonSave->click();
            else if (how == "cancel")
                FormDirectory->ButtonCancel->click();
            else
                FormDirectory->close();
        });
        const std::optional<QString> result = FormDirectory->Choose(Path(start));
        QVERIFY(ran);
        QVERIFY(!FormDirectory->isVisible());
        QCOMPARE(result.has_value(), !chosen.isEmpty());
        if (result)
            QCOMPARE(*result, Path(chosen));
    }

    // Opened by the window, the dialog's error boxes are the window's message boxes; a second
    // opening asked for while it is open does nothing; closed, the dialog reports as before.
    void openedByTheWindow()
    {
        FForm->ComboBoxDownload->SetText(Path("other"));
        OpenWith([this] {
            // A queued second double click: refused at once, the dialog stays open.
            QTimer::singleShot(0, FormDirectory, [] { FormDirectory->reject(); });
            emit FForm->ComboBoxDownload->DoubleClicked();
            QVERIFY(FormDirectory->isVisible());
            FormDirectory->ButtonNew->click();
            FormDirectory->Edit1->setText(Path("elsewhere"));
            FormDirectory->ButtonOk->click();
        });
        QCOMPARE(FMessages.size(), 1);
        QVERIFY(FMessages[0].contains("full path"));
        QVERIFY(FDialogMessages.isEmpty());
        FormDirectory->ButtonOk->click();
        QCOMPARE(FMessages.size(), 1);
        QCOMPARE(FDialogMessages.size(), 1);
    }

    // Whichever way the dialog closes, the field is re-tested and the icons refreshed, also with
    // the skip option off.
    void closePaths()
    {
        FForm->Skipfileifexistindownloaddirectory1->setChecked(false);
        Touch("other/in-other.jpg");
        Touch("a/in-a.jpg");
        const int inOther = AddPendingFile("in-other.jpg");
        const int inA = AddPendingFile("in-a.jpg");

        // Save: the field takes the shown directory, not a highlighted folder.
        FForm->ComboBoxDownload->SetText(Path("a"));
        OpenWith([this] {
            QCOMPARE(FormDirectory->Directory(), Path("a"));
            FormDirectory->MoveTo(Path("other"));
            FormDirectory->RzDirectoryListBox1->setCurrentItem(FormDirectory->RzDirectoryListBox1->topLevelItem(0));
            FormDirectory->ButtonSave->click();
        });
        QCOMPARE(FForm->ComboBoxDownload->Text(), Path("other"));
        QVERIFY(!FieldIsRed());
        QCOMPARE(FForm->ListViewFile->ImageIndex(inOther), int(FileSkipped));
        QCOMPARE(FForm->ListViewFile->ImageIndex(inA), int(FilePending));

        // Cancel keeps the field; the icons are refreshed all the same.
        FForm->ComboBoxDownload->SetText(Path("a"));
        OpenWith([] {
            FormDirectory->MoveTo(QDir::tempPath());
            FormDirectory->ButtonCancel->click();
        });
        QCOMPARE(FForm->ComboBoxDownload->Text(), Path("a"));
        QCOMPARE(FForm->ListViewFile->ImageIndex(inA), int(FileSkipped));

        // The close box with a missing directory in the field: the list keeps showing its last
        // directory, and the field is re-tested (red) after closing.
        FForm->ListViewFile->SetImageIndex(inOther, FilePending);
        FForm->ComboBoxDownload->SetText(Path("gone"));
        FForm->ComboBoxDownload->SetColors(Qt::white, Qt::black);
        FormDirectory->MoveTo(Path("other"));
        OpenWith([this] {
            QCOMPARE(FormDirectory->Directory(), Path("other"));
            FormDirectory->close();
        });
        QCOMPARE(FForm->ComboBoxDownload->Text(), Path("gone"));
        QVERIFY(FieldIsRed());
        QCOMPARE(FForm->ListViewFile->ImageIndex(inOther), int(FilePending));

        // The folder button opens the same dialog.
        QTimer::singleShot(0, FormDirectory, [] { FormDirectory->ButtonCancel->click(); });
        FForm->SpeedButton1->click();
        QVERIFY(!FormDirectory->isVisible());
    }
};

QTEST_MAIN(TestDirectory)
#include "test_directory.moc"
