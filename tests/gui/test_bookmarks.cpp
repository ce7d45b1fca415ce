// Bookmarks of the two address fields: add, delete selected, delete all, the document list's
// "Add to bookmark", the settings value of CR LF lines, and the download field's focus refresh.
#include <QAction>
#include <QTemporaryDir>
#include <QtTest>

#include "main/UnitMain.h"
#include "platform/TRegistry.h"
#include "support/IsolatedSettings.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"

class TestBookmarks : public QObject {
    Q_OBJECT

    IsolatedSettings* FSettings = nullptr;
    TFormMain* FForm = nullptr;

    TFormMain* NewForm()
    {
        auto* form = new TFormMain;
        form->MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
        form->EndProcessHook = [] {};
        return form;
    }

private slots:
    void init()
    {
        FSettings = new IsolatedSettings;
        FForm = NewForm();
    }
    void cleanup()
    {
        delete FForm;
        delete FSettings;
    }

    void fieldCommands_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("prefix");
        // clang-format off
        QTest::newRow("document field") << "ComboBoxBookmark" << "http://host/";
        QTest::newRow("download field") << "ComboBoxDownload" << "/nonexistent-kelvorn/";
        // clang-format on
    }
    void fieldCommands()
    {
        QFETCH(QString, field);
        QFETCH(QString, prefix);
        const bool document = field == "ComboBoxBookmark";
        TFlatComboBox* box = document ? FForm->ComboBoxBookmark : FForm->ComboBoxDownload;
        QAction* add = document ? FForm->Addbookmark1 : FForm->MenuItem2;
        QAction* remove = document ? FForm->Deleteentry1 : FForm->MenuItem4;
        QAction* removeAll = document ? FForm->Deleteallentrys1 : FForm->MenuItem5;
        box->ClearEntries();

        // Sorted, and the same entry may stand twice.
        for (const char* name : {"b", "a", "b", "c"}) {
            box->SetText(prefix + name);
            add->trigger();
        }
        QCOMPARE(box->Entries(), QStringList({prefix + "a", prefix + "b", prefix + "b", prefix + "c"}));
        QCOMPARE(box->Text(), prefix + "c");
        // An empty text is not added.
        box->SetText(QString());
        add->trigger();
        QCOMPARE(box->Entries().size(), 4);

        // Nothing selected: nothing deleted.
        box->SetText(prefix + "typed");
        remove->trigger();
        QCOMPARE(box->Entries().size(), 4);
        // The selected entry goes, once.
        box->setCurrentIndex(1);
        QCOMPARE(box->Text(), prefix + "b");
        remove->trigger();
        QCOMPARE(box->Entries(), QStringList({prefix + "a", prefix + "b", prefix + "c"}));

        // Delete all keeps the text.
        box->SetText(prefix + "kept");
        removeAll->trigger();
        QVERIFY(box->Entries().isEmpty());
        QCOMPARE(box->Text(), prefix + "kept");
    }

    void documentListAddsToBookmarks()
    {
        FForm->ComboBoxBookmark->ClearEntries();
        FForm->ListViewDoc->Add("http://127.0.0.1/one.html");
        FForm->ListViewDoc->Add("http://127.0.0.1/two.html");
        FForm->CurrentDocIndex = -1;
        FForm->Addbookmark2->trigger();
        QVERIFY(FForm->ComboBoxBookmark->Entries().isEmpty());
        FForm->CurrentDocIndex = 1;
        FForm->Addbookmark2->trigger();
        QCOMPARE(FForm->ComboBoxBookmark->Entries(), QStringList{QString::fromLatin1(FForm->ListViewDoc->Caption(1))});
    }

    // Written at exit as entries each followed by CR LF, read back at the next start.
    void listsStoredAsCrLfLines()
    {
        FForm->ComboBoxBookmark->ClearEntries();
        FForm->ComboBoxDownload->ClearEntries();
        for (const char* address : {"http://b/", "http://a/", "http://b/"}) {
            FForm->ComboBoxBookmark->SetText(QString::fromLatin1(address));
            FForm->Addbookmark1->trigger();
        }
        FForm->FormClose();
        {
            TRegistry reg(FSettings->SettingsFile());
            QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), false));
            QCOMPARE(reg.ReadString(QStringLiteral("Bookmark")), QString("http://a/\r\nhttp://b/\r\nhttp://b/\r\n"));
            QCOMPARE(reg.ReadString(QStringLiteral("Download")), QString());
        }
        TFormMain* again = NewForm();
        QCOMPARE(again->ComboBoxBookmark->Entries(), QStringList({"http://a/", "http://b/", "http://b/"}));
        QVERIFY(again->ComboBoxDownload->Entries().isEmpty());
        delete again;
    }

    // Leaving the download field marks files already there, only with the skip option on.
    void focusLostRefreshesIconsWithSkipOption()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("there.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        FForm->ComboBoxDownload->SetText(dir.path());
        const int there = FForm->ListViewFile->Add("http://127.0.0.1/there.jpg");
        FForm->ListViewFile->SetSubItem(there, 1, "there.jpg");
        FForm->ListViewFile->SetImageIndex(there, FilePending);
        const int missing = FForm->ListViewFile->Add("http://127.0.0.1/missing.jpg");
        FForm->ListViewFile->SetSubItem(missing, 1, "missing.jpg");
        FForm->ListViewFile->SetImageIndex(missing, FilePending);

        FForm->Skipfileifexistindownloaddirectory1->setChecked(false);
        emit FForm->ComboBoxDownload->FocusLost();
        QCOMPARE(FForm->ListViewFile->ImageIndex(there), int(FilePending));

        FForm->Skipfileifexistindownloaddirectory1->setChecked(true);
        emit FForm->ComboBoxDownload->FocusLost();
        QCOMPARE(FForm->ListViewFile->ImageIndex(there), int(FileSkipped));
        QCOMPARE(FForm->ListViewFile->ImageIndex(missing), int(FilePending));
    }
};

QTEST_MAIN(TestBookmarks)
#include "test_bookmarks.moc"
