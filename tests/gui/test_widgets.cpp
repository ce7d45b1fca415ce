// The controls of the main window: LED, gauge, check-box list and flat combo box.
#include <QAbstractItemModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <thread>
#include <vector>

#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

namespace {
QByteArrayList Captions(const TCheckListView& list)
{
    QByteArrayList out;
    for (int i = 0; i < list.Count(); ++i)
        out << list.Caption(i);
    return out;
}

QColor PixelAt(QWidget& widget, int x, int y)
{
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image.pixelColor(x, y);
}
}  // namespace

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void ledFiresOnlyOnRealChange();
    void ledDrawsLitOnlyWhenEnabledAndLit();
    void gaugeClampsProgress_data();
    void gaugeClampsProgress();
    void gaugeRepaintsOnlyWhenWholePercentChanges();
    void gaugeDrawsItsShare();
    void listItemsBoxesAndIcons();
    void listSortingAndCaptionIndex();
    void listSortsAsLocaleAwareCompare_data();
    void listSortsAsLocaleAwareCompare();
    void listHoldsViewUpdates();
    void listNotifiesChangesAndInserts();
    void listLockIsOneAtATime();
    void comboListKeepsTextAndOrder();
    void comboColours();
};

void TestWidgets::ledFiresOnlyOnRealChange()
{
    TLed led(QStringLiteral("Connected / Busy"));
    QList<TLed*> senders;
    led.OnChangeState = [&senders](TLed* sender) { senders << sender; };
    QVERIFY(!led.LedEnabled());
    QVERIFY(led.Lit());
    QCOMPARE(led.Color(), lcRed);

    led.SetLedEnabled(false);  // already so
    led.SetLit(true);
    led.SetColor(lcRed);
    led.SetCaption(QStringLiteral("other"));  // captions are not a state change
    QCOMPARE(senders.size(), 0);

    led.SetLedEnabled(true);
    QCOMPARE(senders.size(), 1);
    QCOMPARE(senders.last(), &led);
    led.SetLedEnabled(true);
    QCOMPARE(senders.size(), 1);
    led.SetLit(false);
    QCOMPARE(senders.size(), 2);
    led.SetColor(lcGreen);
    QCOMPARE(senders.size(), 3);
    led.SetColor(lcGreen);
    QCOMPARE(senders.size(), 3);
    // The event sees the new state already.
    led.OnChangeState = [](TLed* sender) { QVERIFY(!sender->LedEnabled()); };
    led.SetLedEnabled(false);
}

void TestWidgets::ledDrawsLitOnlyWhenEnabledAndLit()
{
    TLed led(QStringLiteral("1"));
    led.resize(25, 16);
    const auto lamp = [&led] { return PixelAt(led, 6, 8); };
    const QColor dark = lamp();
    led.SetLedEnabled(true);
    QCOMPARE(lamp(), QColor(255, 0, 0));
    led.SetColor(lcGreen);
    QVERIFY(lamp().green() > 150 && lamp().red() < 50);
    led.SetLit(false);  // enabled but not lit: dark
    QCOMPARE(lamp(), dark);
    led.SetLit(true);
    led.SetLedEnabled(false);
    QCOMPARE(lamp(), dark);
    QVERIFY(dark.red() == dark.green() && dark.green() == dark.blue());  // grey
}

void TestWidgets::gaugeClampsProgress_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("percent");
    QTest::newRow("inside") << 0 << 500 << 250 << 250 << 50;
    QTest::newRow("above maximum") << 0 << 500 << 900 << 500 << 100;
    QTest::newRow("below minimum") << 10 << 20 << 3 << 10 << 0;
    QTest::newRow("cut, not rounded") << 0 << 3 << 2 << 2 << 66;
    QTest::newRow("maximum equals minimum") << 0 << 0 << 5 << 0 << 0;
    QTest::newRow("large numbers do not overflow") << 0 << 2000000000 << 1999999999 << 1999999999 << 99;
    QTest::newRow("negative range") << -100 << 100 << 0 << 0 << 50;
}

void TestWidgets::gaugeClampsProgress()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, set);
    QFETCH(int, progress);
    QFETCH(int, percent);
    TGauge gauge;
    gauge.SetMaxValue(maximum);
    gauge.SetMinValue(minimum);
    gauge.SetProgress(set);
    QCOMPARE(gauge.Progress(), progress);
    QCOMPARE(gauge.PercentDone(), percent);
}

void TestWidgets::gaugeRepaintsOnlyWhenWholePercentChanges()
{
    TGauge gauge;
    gauge.SetMaxValue(1000);
    const int start = gauge.PaintCount();
    gauge.SetProgress(5);  // 0 % still
    QCOMPARE(gauge.PaintCount(), start);
    gauge.SetProgress(10);  // 1 %
    QCOMPARE(gauge.PaintCount(), start + 1);
    gauge.SetProgress(19);  // 1 % still
    QCOMPARE(gauge.PaintCount(), start + 1);
    gauge.SetProgress(1000);
    QCOMPARE(gauge.PaintCount(), start + 2);
    // A lower maximum pulls the progress down with it: still full, nothing to repaint.
    gauge.SetMaxValue(400);
    QCOMPARE(gauge.Progress(), 400);
    QCOMPARE(gauge.PaintCount(), start + 2);
    // Half full when the maximum is twice the bytes received, as engines without a length do.
    gauge.SetMaxValue(2 * 300);  // 400 of 600: 66 %
    QCOMPARE(gauge.PaintCount(), start + 3);
    gauge.SetProgress(300);
    QCOMPARE(gauge.PercentDone(), 50);
    QCOMPARE(gauge.PaintCount(), start + 4);
}

void TestWidgets::gaugeDrawsItsShare()
{
    TGauge gauge;
    gauge.resize(100, 5);
    gauge.SetColors(QColor(0, 0, 128), QColor(128, 128, 128));
    gauge.SetMaxValue(500);
    gauge.SetProgress(250);
    QCOMPARE(PixelAt(gauge, 10, 2), QColor(0, 0, 128));
    QCOMPARE(PixelAt(gauge, 90, 2), QColor(128, 128, 128));
    gauge.SetMaxValue(0);  // maximum equals minimum: empty
    QCOMPARE(PixelAt(gauge, 10, 2), QColor(128, 128, 128));
}

void TestWidgets::listItemsBoxesAndIcons()
{
    TCheckListView list;
    list.setColumnCount(3);
    QPixmap red(16, 16);
    red.fill(Qt::red);
    list.SetStateIcons({QIcon(red), QIcon(red), QIcon(red), QIcon(red), QIcon(red)});
    const QByteArray latin = "http://h/\xe9t\xe9.jpg";  // bytes above 127 survive
    const int i = list.Add(latin);
    QCOMPARE(list.Caption(i), latin);
    QCOMPARE(list.ImageIndex(i), -1);
    QCOMPARE(list.StateImage(i), 0);
    QVERIFY(!list.Checked(i));
    const QModelIndex cell = list.model()->index(i, 0);
    QVERIFY(cell.data(Qt::CheckStateRole).isValid());  // a box is shown
    QVERIFY(cell.data(Qt::DecorationRole).value<QIcon>().isNull());

    list.SetChecked(i, true);
    QCOMPARE(list.StateImage(i), 1);
    QCOMPARE(cell.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

    // An item with an icon shows no box and reads as ticked.
    list.SetImageIndex(i, 2);
    list.SetStateImage(i, NoBoxStateImage);
    QVERIFY(!cell.data(Qt::CheckStateRole).isValid());
    QVERIFY(!cell.data(Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(list.Checked(i));
    list.SetChecked(i, true);  // keeps the box hidden
    QCOMPARE(list.StateImage(i), 3);
    // Resetting shows the box again, unticked, then ticked on request.
    list.SetStateImage(i, 0);
    list.SetImageIndex(i, -1);
    QVERIFY(!list.Checked(i));
    QVERIFY(cell.data(Qt::DecorationRole).value<QIcon>().isNull());
    list.SetChecked(i, true);
    QVERIFY(list.Checked(i));

    list.SetSubItem(i, 1, "\xe9t\xe9.jpg");
    list.SetSubItem(i, 2, "(Skipped)");
    QCOMPARE(list.SubItem(i, 1), QByteArray("\xe9t\xe9.jpg"));
    QCOMPARE(list.SubItem(i, 2), QByteArray("(Skipped)"));
    QCOMPARE(list.model()->index(i, 2).data().toString(), QStringLiteral("(Skipped)"));

    // A click on the box by the user (the view sets the check role) is followed by the tick.
    list.SetChecked(i, false);
    list.model()->setData(cell, int(Qt::Checked), Qt::CheckStateRole);
    QCOMPARE(list.StateImage(i), 1);
    QVERIFY(list.Checked(i));

    // Out-of-range indexes are harmless.
    QCOMPARE(list.Caption(7), QByteArray());
    list.SetChecked(7, true);
    list.Delete(7);
    QCOMPARE(list.Count(), 1);
}

void TestWidgets::listSortingAndCaptionIndex()
{
    TCheckListView list;
    for (const char* c : {"http://b/2", "http://a/1", "http://c/3"})
        list.Add(c);
    QCOMPARE(Captions(list), (QByteArrayList{"http://b/2", "http://a/1", "http://c/3"}));  // appended
    list.SetCurrentIndex(0);
    list.SetSorted(true);
    QCOMPARE(Captions(list), (QByteArrayList{"http://a/1", "http://b/2", "http://c/3"}));
    QCOMPARE(list.Caption(list.CurrentIndex()), QByteArray("http://b/2"));  // the current item moves along
    QCOMPARE(list.Add("http://bb/"), 2);                                    // sorted insert
    QCOMPARE(list.Add("http://a/1"), 1);                                    // duplicates allowed, after the equal one
    QCOMPARE(Captions(list), (QByteArrayList{"http://a/1", "http://a/1", "http://b/2", "http://bb/", "http://c/3"}));
    // Case-sensitive: a caption that differs only in case is a different caption.
    list.Add("HTTP://A/1");
    QVERIFY(list.ContainsCaption("HTTP://A/1"));
    QVERIFY(list.ContainsCaption("http://a/1"));
    QVERIFY(!list.ContainsCaption("Http://a/1"));
    // Renaming keeps the order and the caption index.
    const int b = Captions(list).indexOf("http://b/2");
    list.SetCaption(b, "http://zz/");
    QCOMPARE(list.Caption(list.Count() - 1), QByteArray("http://zz/"));
    QVERIFY(!list.ContainsCaption("http://b/2"));
    for (int i = 0; i + 1 < list.Count(); ++i)
        QVERIFY2(
            QString::localeAwareCompare(QString::fromLatin1(list.Caption(i)), QString::fromLatin1(list.Caption(i + 1)))
                <= 0,
            list.Caption(i).constData());
    // The current item keeps being current when a rename moves it.
    list.SetCurrentIndex(0);
    const QByteArray first = list.Caption(0);
    list.SetCaption(0, "http://zzz/");
    QCOMPARE(list.Caption(list.CurrentIndex()), QByteArray("http://zzz/"));
    list.SetCaption(list.CurrentIndex(), first);
    // An edit in place by the user takes its sorted place, is notified there, and is indexed.
    QSignalSpy changes(&list, &TCheckListView::Change);
    const int edited = Captions(list).indexOf("http://c/3");
    list.model()->setData(list.model()->index(edited, 0), QStringLiteral("0://edited"));
    QCOMPARE(list.Caption(0), QByteArray("0://edited"));
    QVERIFY(!changes.isEmpty());
    QCOMPARE(changes.last().at(0).toInt(), 0);
    QCOMPARE(list.CurrentIndex(), 0);
    QVERIFY(list.ContainsCaption("0://edited"));
    QVERIFY(!list.ContainsCaption("http://c/3"));
    // One of two equal captions deleted: the other is still known.
    list.Delete(Captions(list).indexOf("http://a/1"));
    QVERIFY(list.ContainsCaption("http://a/1"));
    list.Delete(Captions(list).indexOf("http://a/1"));
    QVERIFY(!list.ContainsCaption("http://a/1"));
    // Sorting off: new items go to the end.
    list.SetSorted(false);
    const int appended = list.Add("http://0/");
    QCOMPARE(appended, list.Count() - 1);
    list.Clear();
    QCOMPARE(list.Count(), 0);
    QVERIFY(!list.ContainsCaption("http://zz/"));
}

void TestWidgets::listSortsAsLocaleAwareCompare_data()
{
    // Captions in the order they are added; each gets its arrival number as its Filename, so
    // that the order of equal captions shows.
    QTest::addColumn<QByteArrayList>("captions");
    QTest::newRow("letter case") << QByteArrayList{"http://h/b", "http://h/B", "HTTP://h/a", "http://h/A",
                                                   "http://h/a"};
    QTest::newRow("digits, punctuation, separators")
        << QByteArrayList{"http://h/10.jpg", "http://h/9.jpg", "http://h/a-b", "http://h/a_b", "http://h/a.b",
                          "http://h/ab",     "http://h/a%20b", "http://h/~x",  "http://h/"};
    QTest::newRow("Latin-1 bytes") << QByteArrayList{"http://h/été", "http://h/ete", "http://h/ÉTÉ", "http://h/etf",
                                                     "http://h/ü",   "http://h/u",   "http://h/z"};
    QTest::newRow("equal captions keep their order")
        << QByteArrayList{"http://h/same", "http://h/other", "http://h/same", "http://h/Same", "http://h/same"};
    QTest::newRow("sorted already") << QByteArrayList{"http://a/", "http://b/", "http://c/"};
}

// The sorted order is locale-aware, case-sensitive and stable, whether the list sorts itself
// when sorting is switched on or takes items one by one into their places while sorted.
void TestWidgets::listSortsAsLocaleAwareCompare()
{
    QFETCH(QByteArrayList, captions);
    // A locale whose collation is not the characters' order (the "C" locale's is).
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    QList<int> expected;
    for (int i = 0; i < captions.size(); ++i)
        expected << i;
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        return QString::localeAwareCompare(QString::fromLatin1(captions[a]), QString::fromLatin1(captions[b])) < 0;
    });
    const auto arrivals = [](const TCheckListView& list) {
        QList<int> out;
        for (int i = 0; i < list.Count(); ++i)
            out << list.SubItem(i, 1).toInt();
        return out;
    };

    TCheckListView sortedLater;
    for (int i = 0; i < captions.size(); ++i)
        sortedLater.SetSubItem(sortedLater.Add(captions[i]), 1, QByteArray::number(i));
    // The current item stays with its item.
    sortedLater.SetCurrentIndex(captions.size() - 1);
    sortedLater.SetSorted(true);
    QCOMPARE(arrivals(sortedLater), expected);
    QCOMPARE(sortedLater.SubItem(sortedLater.CurrentIndex(), 1), QByteArray::number(captions.size() - 1));

    TCheckListView sortedAlways;
    sortedAlways.SetSorted(true);
    for (int i = 0; i < captions.size(); ++i)
        sortedAlways.SetSubItem(sortedAlways.Add(captions[i]), 1, QByteArray::number(i));
    QCOMPARE(arrivals(sortedAlways), expected);
    // Switching sorting on again changes nothing in a list that is sorted.
    sortedAlways.SetSorted(true);
    QCOMPARE(arrivals(sortedAlways), expected);
    // A renamed item moves to its place in the sorted list.
    sortedAlways.SetCaption(0, "http://zzz/");
    QCOMPARE(sortedAlways.Caption(sortedAlways.Count() - 1), QByteArray("http://zzz/"));
    for (int i = 0; i + 1 < sortedAlways.Count(); ++i)
        QVERIFY(QString::localeAwareCompare(QString::fromLatin1(sortedAlways.Caption(i)),
                                            QString::fromLatin1(sortedAlways.Caption(i + 1)))
                <= 0);
}

// Held updates: the view stops repainting until the last hold ends; a turn of the window lifts
// every hold and puts them back afterwards.
void TestWidgets::listHoldsViewUpdates()
{
    TCheckListView list;
    QVERIFY(list.updatesEnabled());
    {
        TListUpdates outer(&list);
        QVERIFY(!list.updatesEnabled());
        list.BeginUpdate();
        list.Add("http://h/1");
        list.EndUpdate();
        QVERIFY2(!list.updatesEnabled(), "an inner hold ended, the outer one still holds");
        list.BeginUpdate();
        const int holds = list.LiftUpdates();
        QCOMPARE(holds, 2);
        QVERIFY(list.updatesEnabled());
        // A command run from inside the turn holds and releases the list as usual.
        {
            TListUpdates nested(&list);
            QVERIFY(!list.updatesEnabled());
        }
        QVERIFY(list.updatesEnabled());
        list.RestoreUpdates(holds);
        QVERIFY(!list.updatesEnabled());
        list.EndUpdate();
        QVERIFY(!list.updatesEnabled());
    }
    QVERIFY(list.updatesEnabled());
    // Releasing more than was held does not leave a debt that swallows the next hold.
    list.EndUpdate();
    QCOMPARE(list.LiftUpdates(), 0);
    list.BeginUpdate();
    QVERIFY(!list.updatesEnabled());
    list.EndUpdate();
    QVERIFY(list.updatesEnabled());
}

void TestWidgets::listNotifiesChangesAndInserts()
{
    TCheckListView list;
    QSignalSpy changes(&list, &TCheckListView::Change);
    QSignalSpy inserts(&list, &TCheckListView::Insert);
    list.Add("http://x/1");
    list.Add("http://x/2");
    QCOMPARE(inserts.size(), 2);
    QCOMPARE(inserts.at(1).at(0).toInt(), 1);
    changes.clear();
    list.SetCurrentIndex(1);  // selecting an item is a change of it
    QVERIFY(!changes.isEmpty());
    QCOMPARE(changes.last().at(0).toInt(), 1);
    QCOMPARE(list.CurrentIndex(), 1);
    changes.clear();
    list.SetImageIndex(0, 1);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.last().at(0).toInt(), 0);
    changes.clear();
    list.SetStateImage(0, NoBoxStateImage);
    list.SetStateImage(0, NoBoxStateImage);  // no change, no notification
    QCOMPARE(changes.size(), 1);
}

void TestWidgets::listLockIsOneAtATime()
{
    TCheckListView list;
    std::atomic<int> holders{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < 2000; ++n) {
                int expected = 0;
                while (!list.Tag.compare_exchange_weak(expected, 1))
                    expected = 0;
                if (holders.fetch_add(1) != 0)
                    ++overlaps;
                holders.fetch_sub(1);
                list.Tag.store(0);
            }
        });
    for (std::thread& t : threads)
        t.join();
    QCOMPARE(overlaps.load(), 0);
    QCOMPARE(list.Tag.load(), 0);
}

void TestWidgets::comboListKeepsTextAndOrder()
{
    TFlatComboBox combo;
    QCOMPARE(combo.maxVisibleItems(), 16);
    combo.SetText(QStringLiteral("typed"));
    QSignalSpy changed(&combo, &TFlatComboBox::TextChanged);
    combo.AddEntry(QStringLiteral("http://m/"));
    combo.AddEntry(QStringLiteral("http://a/"));
    combo.AddEntry(QStringLiteral("http://m/"));
    combo.AddEntry(QStringLiteral("http://z/"));
    QCOMPARE(combo.Entries(), (QStringList{"http://a/", "http://m/", "http://m/", "http://z/"}));
    QCOMPARE(combo.Text(), QStringLiteral("typed"));
    QCOMPARE(changed.size(), 0);  // list work is not an edit of the text
    QCOMPARE(combo.SelectedEntry(), -1);
    combo.setCurrentIndex(3);
    QCOMPARE(combo.Text(), QStringLiteral("http://z/"));
    QCOMPARE(combo.SelectedEntry(), 3);
    combo.DeleteEntry(combo.SelectedEntry());
    QCOMPARE(combo.Entries(), (QStringList{"http://a/", "http://m/", "http://m/"}));
    QCOMPARE(combo.Text(), QStringLiteral("http://z/"));
    combo.DeleteEntry(-1);  // nothing selected: nothing removed
    QCOMPARE(combo.Entries().size(), 3);
    combo.SetEntries({QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("c")});
    QCOMPARE(combo.Entries(), (QStringList{"b", "c", "c"}));
    QCOMPARE(combo.Text(), QStringLiteral("http://z/"));
    changed.clear();
    combo.ClearEntries();
    QCOMPARE(combo.Entries(), QStringList());
    QCOMPARE(combo.Text(), QStringLiteral("http://z/"));
    QCOMPARE(changed.size(), 0);
    combo.SetText(QString());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.last().at(0).toString(), QString());
    // Typing a prefix of an entry gives that prefix, not the entry.
    combo.AddEntry(QStringLiteral("http://example/"));
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    combo.activateWindow();
    combo.setFocus();
    QTRY_VERIFY(combo.lineEdit()->hasFocus());
    QTest::keyClicks(combo.lineEdit(), QStringLiteral("http://ex"));
    QCOMPARE(combo.Text(), QStringLiteral("http://ex"));
    QCOMPARE(changed.last().at(0).toString(), QStringLiteral("http://ex"));
    // Enter is reported and adds nothing to the list.
    QSignalSpy enter(&combo, &TFlatComboBox::EnterPressed);
    QTest::keyClick(combo.lineEdit(), Qt::Key_Return);
    QCOMPARE(enter.size(), 1);
    QCOMPARE(combo.Entries(), QStringList{QStringLiteral("http://example/")});
}

void TestWidgets::comboColours()
{
    TFlatComboBox combo;
    combo.SetColors(QColor(255, 0, 0), QColor(255, 255, 255));
    QCOMPARE(combo.BackgroundColor(), QColor(255, 0, 0));
    QCOMPARE(combo.TextColor(), QColor(255, 255, 255));
}

QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
