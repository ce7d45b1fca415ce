// "Filter files...": the dialog's values, kept in the settings between uses, and the window
// ticking the files the filter keeps (one copy of each picture) and unticking the small ones.
#include <QMenu>
#include <QtTest>

#include "dialogs/UnitFilter.h"
#include "gui/RetrievalFixture.h"
#include "gui/TickedItems.h"
#include "platform/TRegistry.h"

Q_DECLARE_METATYPE(TFileFilter)

class TestPictureFilter : public QObject {
    Q_OBJECT
private slots:
    void dialogShowsAndKeepsItsValues_data()
    {
        QTest::addColumn<TFileFilter>("filter");
        QTest::newRow("nothing set") << TFileFilter{};
        TFileFilter full;
        full.kinds = KindBit(TFileKind::Picture) | KindBit(TFileKind::Other);
        full.minWidth = 400;
        full.maxWidth = 4000;
        full.minHeight = 300;
        full.maxHeight = 3000;
        full.minBytes = 20 * 1024;
        full.maxBytes = 5 * 1024 * 1024;
        full.host = "img.example.test";
        full.keyword = "beach";
        QTest::newRow("every field") << full;
        TFileFilter none;
        none.kinds = 0;
        QTest::newRow("no kind at all") << none;
    }
    void dialogShowsAndKeepsItsValues()
    {
        QFETCH(TFileFilter, filter);
        IsolatedSettings isolated;
        TFormFilter dialog;
        dialog.SetFilter(filter);
        QCOMPARE(dialog.Filter(), filter);
        TRegistry registry;
        TFormFilter::SaveFilter(registry, dialog.Filter());
        TRegistry again;
        QCOMPARE(TFormFilter::LoadFilter(again), filter);
    }

    void absentOrMistypedSettingsGiveNoBounds()
    {
        IsolatedSettings isolated;
        TRegistry registry;
        QCOMPARE(TFormFilter::LoadFilter(registry), TFileFilter{});
        QVERIFY(registry.OpenKey(QStringLiteral("\\SoftWare\\Kelvorn"), true));
        registry.WriteString(QStringLiteral("FilterMinWidth"), QStringLiteral("wide"));
        registry.WriteInteger(QStringLiteral("FilterMaxHeight"), -5);
        registry.WriteInteger(QStringLiteral("FilterMinHeight"), 120);
        registry.CloseKey();
        TFileFilter expected;
        expected.minHeight = 120;
        QCOMPARE(TFormFilter::LoadFilter(registry), expected);
    }

    // A gallery whose sizes the page and the names state: the filter unticks the small ones and
    // keeps one copy of each picture; files of unknown size stay ticked.
    void filterUnticksTheSmallOnes()
    {
        RetrievalWindow w;
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
        const QByteArray h = "http://g.test/";
        w.win->ParseDocument(h,
                             "<img src=icons/home.png width=16 height=16>"
                             "<img src=banner.jpg width=728 height=90>"
                             "<a href=photos/a.jpg><img src=t/a.jpg width=150 height=100></a>"
                             "<img src=b-150x150.jpg><a href=b-1024x768.jpg>b</a>"
                             "<img src=unknown.jpg><a href=notes.pdf>pdf</a>",
                             ParseMain, h + "index.html");
        for (int i = 0; i < w.Files()->Count(); ++i)
            w.Files()->SetChecked(i, true);
        TFileFilter filter;
        filter.minWidth = 400;
        filter.minHeight = 300;
        w.win->ApplyFileFilter(filter);
        QCOMPARE(Ticked(w.Files()),
                 (QByteArrayList{h + "photos/a.jpg", h + "b-1024x768.jpg", h + "unknown.jpg", h + "notes.pdf"}));
        filter.kinds = KindBit(TFileKind::Picture);
        w.win->ApplyFileFilter(filter);
        QCOMPARE(Ticked(w.Files()), (QByteArrayList{h + "photos/a.jpg", h + "b-1024x768.jpg", h + "unknown.jpg"}));
        QCOMPARE(w.Files()->Count(), 8);
    }

    void menuOffersTheFilterOnlyWithModernPages()
    {
        RetrievalWindow w;
        const auto offered = [&w] {
            emit w.win->PopupMenuFile->aboutToShow();
            return w.win->PopupMenuFile->actions().contains(w.win->Filterfiles1);
        };
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, false);
        QVERIFY(!offered());
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
        QVERIFY(offered());
        QVERIFY(offered());  // once
        QCOMPARE(w.win->PopupMenuFile->actions().count(w.win->Filterfiles1), 1);
        RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, false);
        QVERIFY(!offered());
    }
};

QTEST_MAIN(TestPictureFilter)
#include "test_picture_filter.moc"
