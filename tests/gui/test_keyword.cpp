// The keyword dialog: a fresh field on every opening, the keyword it returns, and the selection
// the window runs with it.
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

#include "ListTestWindow.h"
#include "dialogs/UnitKeyword.h"

class TestKeyword : public QObject {
    Q_OBJECT
private slots:
    void init() { FormKeyword = new TFormKeyword; }
    void cleanup()
    {
        delete FormKeyword;
        FormKeyword = nullptr;
    }

    void everyOpeningStartsEmpty()
    {
        TFormKeyword& k = *FormKeyword;
        for (int round = 0; round < 2; ++round) {
            k.EditKeyword->setText("left over");
            k.show();
            QCOMPARE(k.EditKeyword->text(), QString());
            QCOMPARE(k.focusWidget(), k.EditKeyword);
            k.ButtonCancel->click();
            QVERIFY(!k.isVisible());
        }
    }

    // The dialog only asks: it returns the field's text on "&Ok" and on Enter, nothing when it
    // is cancelled or closed, and changes nothing on its own.
    void askKeywordReturnsTheChoice_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("answered");
        // clang-format off
        QTest::newRow("ok button") << "Pics" << "ok" << true;
        QTest::newRow("enter key") << "a b" << "enter" << true;
        QTest::newRow("ok with empty field") << "" << "ok" << true;
        QTest::newRow("cancel button") << "pics" << "cancel" << false;
        QTest::newRow("close box") << "pics" << "close" << false;
        // clang-format on
    }
    void askKeywordReturnsTheChoice()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(bool, answered);
        TFormKeyword& k = *FormKeyword;
        k.EditKeyword->setText("left over");  // emptied when the dialog opens
        bool ran = false;
        QTimer::singleShot(0, &k, [&] {
            ran = k.isVisible() && k.isModal();
            QTest::keyClicks(k.EditKeyword, typed);
            if (how == "ok")
                k.ButtonOk->click();
            else if (how == "enter")
                QTest::keyClick(k.EditKeyword, Qt::Key_Return);
            else if (how == "cancel")
                k.ButtonCancel->click();
            else
                k.close();
        });
        const std::optional<QString> keyword = k.AskKeyword();
        QVERIFY(ran);
        QVERIFY(!k.isVisible());
        QCOMPARE(keyword.has_value(), answered);
        if (answered)
            QCOMPARE(*keyword, typed);
    }

    // The window ticks what the keyword names.
    void selection_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("case-insensitive, anywhere, untouched only")
            << "gallery" << true << false << QStringList{"http://a.org/Gallery/1.html", "http://b.org/x?GALLERY=2"}
            << QStringList{"2 line(s) where selected."};
        QTest::newRow("empty keyword") << "" << true << false << QStringList{} << QStringList{};
        QTest::newRow("no match") << "nowhere" << true << false << QStringList{} << QStringList{};
        QTest::newRow("no current document") << "gallery" << false << false << QStringList{} << QStringList{};
        QTest::newRow("cancelled") << "gallery" << true << true << QStringList{} << QStringList{};
    }
    void selection()
    {
        QFETCH(QString, keyword);
        QFETCH(bool, marked);
        QFETCH(bool, cancel);
        QFETCH(QStringList, ticked);
        QFETCH(QStringList, messages);
        TListTestWindow w;
        w.AddDoc("http://a.org/Gallery/1.html");
        w.AddDoc("http://b.org/x?GALLERY=2");
        w.AddDoc("http://c.org/gallery/done.html", false, DocParsed);
        w.AddDoc("http://d.org/other.html");
        w.AddFile("http://a.org/gallery/pic.jpg");  // only the document list is searched
        w.Form->CurrentDocIndex = marked ? 0 : -1;

        QTimer::singleShot(0, FormKeyword, [&] {
            QTest::keyClicks(FormKeyword->EditKeyword, keyword);
            (cancel ? FormKeyword->ButtonCancel : FormKeyword->ButtonOk)->click();
        });
        w.Form->Selectbykeyword1->trigger();
        QVERIFY(!FormKeyword->isVisible());
        QStringList nowTicked;
        for (int i = 0; i < w.Doc().Count(); ++i)
            if (w.Doc().ImageIndex(i) == -1 && w.Doc().Checked(i))
                nowTicked << QString::fromLatin1(w.Doc().Caption(i));
        QCOMPARE(nowTicked, ticked);
        QCOMPARE(w.Texts, messages);
        QVERIFY(!w.File().Checked(0));
    }

    void menuOpensTheDialogAndEnterIsOk()
    {
        TListTestWindow w;
        w.AddDoc("http://a.org/pics.html");
        w.AddDoc("http://b.org/none.html");
        w.Doc().SetCurrentIndex(0);
        bool wasModal = false;
        QTimer::singleShot(0, FormKeyword, [&] {
            wasModal = FormKeyword->isVisible() && FormKeyword->isModal();
            QTest::keyClicks(FormKeyword->EditKeyword, "PICS");
            QTest::keyClick(FormKeyword->EditKeyword, Qt::Key_Return);
        });
        w.Form->Selectbykeyword1->trigger();  // returns when the dialog has closed
        QVERIFY(wasModal);
        QVERIFY(w.Doc().Checked(0));
        QVERIFY(!w.Doc().Checked(1));
        QCOMPARE(w.Titles, QStringList{"Information"});
        QCOMPARE(w.Texts, QStringList{"1 line(s) where selected."});
    }
};

QTEST_MAIN(TestKeyword)
#include "test_keyword.moc"
