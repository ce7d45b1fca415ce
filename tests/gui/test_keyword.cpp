// The keyword dialog: its look, a fresh field on every opening, and the selection it runs.
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

    void selection_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("case-insensitive, anywhere, untouched only")
            << "gallery" << true << QStringList{"http://a.org/Gallery/1.html", "http://b.org/x?GALLERY=2"}
            << QStringList{"2 line(s) where selected."};
        QTest::newRow("empty keyword") << "" << true << QStringList{} << QStringList{};
        QTest::newRow("no match") << "nowhere" << true << QStringList{} << QStringList{};
        QTest::newRow("no current document") << "gallery" << false << QStringList{} << QStringList{};
    }
    void selection()
    {
        QFETCH(QString, keyword);
        QFETCH(bool, marked);
        QFETCH(QStringList, ticked);
        QFETCH(QStringList, messages);
        TListTestWindow w;
        w.AddDoc("http://a.org/Gallery/1.html");
        w.AddDoc("http://b.org/x?GALLERY=2");
        w.AddDoc("http://c.org/gallery/done.html", false, DocParsed);
        w.AddDoc("http://d.org/other.html");
        w.Form->CurrentDocIndex = marked ? 0 : -1;
        w.AddFile("http://a.org/gallery/pic.jpg");  // only the document list is searched

        TFormKeyword& k = *FormKeyword;
        k.show();
        QTest::keyClicks(k.EditKeyword, keyword);
        k.ButtonOk->click();
        QVERIFY(!k.isVisible());
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
