// File > "Export list..." and "Import list..." in the window: the file list leaves as an aria2
// input file or plain text and comes back with its names; a name from outside that would lead
// out of the download directory is not taken; addresses already listed are not added twice.
#include <QTemporaryDir>
#include <QtTest>

#include "ListTestWindow.h"
#include "main/MainListExchange.h"

namespace {
QAction* Command(TListTestWindow& w, const char* name) { return w.Form->findChild<QAction*>(QLatin1String(name)); }
}  // namespace

class TestListExchangeWindow : public QObject {
    Q_OBJECT
private slots:
    void exportThenImport_data();
    void exportThenImport();
    void importTakesOnlyPlainNames();
};

void TestListExchangeWindow::exportThenImport_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("namesKept");
    QTest::newRow("aria2 input file keeps the names") << "list.aria2" << true;
    QTest::newRow("plain text: names made again from the addresses") << "list.txt" << false;
}

void TestListExchangeWindow::exportThenImport()
{
    QFETCH(QString, fileName);
    QFETCH(bool, namesKept);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    TListTestWindow w;
    const QByteArray longAddress = "http://cdn.test/pic.jpg?" + QByteArray(2000, 'k');
    w.AddFile("http://a.test/one.jpg", true, -1, "chosen-one.jpg");
    w.AddFile(longAddress, false, -1, "long.jpg");
    SetListFileChooser(*w.Form, [&](bool, QString& filter) {
        filter.clear();  // chosen by name, as typed into the dialog
        return path;
    });
    Command(w, "Exportlist1")->trigger();
    QVERIFY(QFile::exists(path));
    QVERIFY(w.Texts.isEmpty());

    w.File().Clear();
    Command(w, "Importlist1")->trigger();
    QCOMPARE(w.File().Count(), 2);
    QCOMPARE(w.File().Caption(0), QByteArray("http://a.test/one.jpg"));
    QCOMPARE(w.File().Caption(1), longAddress);
    QCOMPARE(w.File().SubItem(0, 1) == "chosen-one.jpg", namesKept);
    QVERIFY(!w.File().SubItem(0, 1).isEmpty());
    QCOMPARE(w.Texts.last(), QStringLiteral("2 files added to the file list."));

    // Importing again adds nothing: both addresses are listed.
    Command(w, "Importlist1")->trigger();
    QCOMPARE(w.File().Count(), 2);
    QCOMPARE(w.Texts.last(), QStringLiteral("0 files added to the file list."));
}

void TestListExchangeWindow::importTakesOnlyPlainNames()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hostile.input"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("http://a.test/x.jpg\n  out=../../.bashrc\nhttp://a.test/y.jpg\n  out=sub/y.jpg\n"
               "http://a.test/z.jpg\n  out=fine.jpg\n");
    file.close();
    TListTestWindow w;
    SetListFileChooser(*w.Form, [&](bool, QString&) { return path; });
    Command(w, "Importlist1")->trigger();
    QCOMPARE(w.File().Count(), 3);
    QCOMPARE(w.File().SubItem(0, 1), QByteArray("x.jpg"));
    QCOMPARE(w.File().SubItem(1, 1), QByteArray("y.jpg"));
    QCOMPARE(w.File().SubItem(2, 1), QByteArray("fine.jpg"));
}

QTEST_MAIN(TestListExchangeWindow)
#include "test_list_exchange_window.moc"
