// The modern scan's limits: nesting beyond the depth read as text, pages beyond the size limit
// scanned up to it, a link cap, and Stop.
#include <QElapsedTimer>
#include <QTest>

#include "rules/ModernLinks.h"
#include "rules/ScanLimits.h"

namespace {
QByteArray Repeat(const QByteArray& piece, int times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

QByteArray Nested(int depth, const QByteArray& inner)
{
    return Repeat("<div>", depth) + inner + Repeat("</div>", depth);
}

// How many "<" of the page the flattening turned into spaces.
int Flattened(const QByteArray& page, int maxDepth)
{
    const QByteArray flat = FlattenDeepNesting(page, maxDepth);
    if (flat.isNull())
        return 0;
    return int(page.count('<') - flat.count('<'));
}
}  // namespace

class TestScanLimits : public QObject {
    Q_OBJECT
private slots:
    void flattening_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<int>("flattened");  // tags made text with a depth limit of 3
        QTest::newRow("three levels stay") << Nested(3, "x") << 0;
        QTest::newRow("fifth level: two opening and two closing tags") << Nested(5, "x") << 4;
        QTest::newRow("siblings do not add up") << Repeat(Nested(3, "x"), 50) << 0;
        QTest::newRow("void elements and links add no depth")
            << Nested(3, Repeat("<img src=a.jpg><br><a href=b>b</a><meta content=x>", 20)) << 0;
        QTest::newRow("paragraphs and items close themselves") << Repeat("<p>a<li>b<td>c", 30) << 0;
        QTest::newRow("tags in a script are text") << Nested(2, "<script>" + Repeat("<div>", 10) + "</script>") << 0;
        QTest::newRow("tags in a comment are text") << Nested(2, "<!--" + Repeat("<div>", 10) + "-->") << 0;
        QTest::newRow("'>' inside a quoted value") << Nested(3, "<span title='a>b'>x</span>") << 2;
        QTest::newRow("self-closed shapes in svg add no depth")
            << "<div><svg>" + Repeat("<path d='M0'/>", 30) + "</svg></div>" << 0;
        QTest::newRow("a self-closed div nests as in a browser") << Repeat("<div/>", 5) << 2;
    }
    void flattening()
    {
        QFETCH(QByteArray, page);
        QTEST(Flattened(page, 3), "flattened");
    }

    // A link below nesting far beyond the limit is still found; the page says why it was cut.
    void deepNestingKeepsLinks()
    {
        const QByteArray page = Nested(20000, "<a href='/deep.jpg'>x</a>") + "<a href='/after.zip'>y</a>";
        TScanControl control;
        const QList<TModernLink> links = ModernLinks(page, "http://h/p.html", &control);
        QCOMPARE(links.size(), 2);
        QCOMPARE(links[0].address, QByteArray("http://h/deep.jpg"));
        QCOMPARE(links[1].address, QByteArray("http://h/after.zip"));
        QCOMPARE(control.Reason, NestedTooDeepReason());
    }

    void limitsAndReasons()
    {
        QCOMPARE(PageTooLargeReason(), QString("Page larger than 64 MB: scanned the first 64 MB"));
        QCOMPARE(FetchTooLongReason(), QString("Page took longer than 5 minutes"));

        // One link more than the cap: the first ones are listed, and the reason says so.
        QByteArray page;
        for (int i = 0; i <= MaxLinksPerPage; ++i)
            page += "<a href=/" + QByteArray::number(i) + ".jpg>x</a>\n";
        TScanControl control;
        const QList<TModernLink> links = ModernLinks(page, "http://h/", &control);
        QCOMPARE(links.size(), MaxLinksPerPage);
        QCOMPARE(links.last().address, "http://h/" + QByteArray::number(MaxLinksPerPage - 1) + ".jpg");
        QCOMPARE(control.Reason, TooManyLinksReason());
    }

    // A page without a base element has its links resolved while the tree is walked; one that
    // may have one (its text holds "<base") waits for the walk's end. Both give the same links
    // and facts; a comment that reads "<base" makes the second happen on the same page.
    void streamedAndDeferredAgree_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<int>("expected");
        QTest::newRow("noscript after an img adds its picture to the img's")
            << QByteArray("<img src=/thumb.gif width=10 height=10><noscript><img src=/real.jpg></noscript>"
                          "<a href=/next.html>n</a>")
            << 2;
        QTest::newRow("links of every kind, duplicates once")
            << QByteArray("<a href=a.html>a</a><a href=a.html>a</a><img src=p.png srcset='p2.png 2x'>"
                          "<video poster=v.jpg src=v.mp4></video><div style='background:url(bg.jpg)'></div>"
                          "<meta property=og:image content=/og.jpg><link rel=image_src href=/s.jpg>")
            << 7;
        QTest::newRow("link limit reached on the way") << Repeat("<a href=/x>x</a>", 3) + [] {
            QByteArray links;
            for (int i = 0; i <= MaxLinksPerPage; ++i)
                links += "<a href=/" + QByteArray::number(i) + ".jpg>x</a>";
            return links;
        }() << MaxLinksPerPage;
    }
    void streamedAndDeferredAgree()
    {
        QFETCH(QByteArray, page);
        QFETCH(int, expected);
        TScanControl streamedControl, deferredControl;
        QList<TPictureFacts> streamedFacts, deferredFacts;
        const QList<TModernLink> streamed = ModernLinks(page, "http://h/d/", &streamedControl, &streamedFacts);
        const QList<TModernLink> deferred =
            ModernLinks(page + "<!-- <base -->", "http://h/d/", &deferredControl, &deferredFacts);
        QCOMPARE(streamed.size(), expected);
        QCOMPARE(streamed, deferred);
        QCOMPARE(streamedFacts.size(), deferredFacts.size());
        for (qsizetype i = 0; i < streamedFacts.size(); ++i) {
            QCOMPARE(streamedFacts[i].around, deferredFacts[i].around);
            QCOMPARE(streamedFacts[i].thumbnail, deferredFacts[i].thumbnail);
            QCOMPARE(streamedFacts[i].width, deferredFacts[i].width);
        }
        QCOMPARE(streamedControl.Reason, deferredControl.Reason);
    }

    // A base element in any letter case, after the links it applies to, still applies to them.
    void baseAfterTheLinks_data()
    {
        QTest::addColumn<QByteArray>("base");
        QTest::newRow("lower case") << QByteArray("<base href=http://o/b/>");
        QTest::newRow("upper case") << QByteArray("<BASE HREF=http://o/b/>");
        QTest::newRow("mixed case, late in a long page") << Repeat("<p>filler</p>", 5000) + "<BaSe href=http://o/b/>";
    }
    void baseAfterTheLinks()
    {
        QFETCH(QByteArray, base);
        const QList<TModernLink> links = ModernLinks("<a href=x.html>x</a><img src=y.jpg>" + base, "http://h/d/");
        QCOMPARE(links.size(), 2);
        QCOMPARE(links[0].address, QByteArray("http://o/b/x.html"));
        QCOMPARE(links[1].address, QByteArray("http://o/b/y.jpg"));
    }

    // A page beyond the size limit: what stands before the limit is scanned, what stands after
    // it is not.
    void pageBeyondTheSizeLimit()
    {
        QByteArray page = "<a href=/first.jpg>x</a>";
        page += QByteArray(MaxScannedPageBytes - page.size() - 10, 'x');
        page += "<a href=/late.jpg>x</a>";
        TScanControl control;
        const QList<TModernLink> links = ModernLinks(page, "http://h/", &control);
        QCOMPARE(links.size(), 1);
        QCOMPARE(links[0].address, QByteArray("http://h/first.jpg"));
        QCOMPARE(control.Reason, PageTooLargeReason());
    }

    // Stop set while the scan runs ends it within its next allocations or tags; no links, no
    // reason.
    void stopEndsTheScan()
    {
        const QByteArray page = Repeat("<p><a href=/a.jpg>x</a><img src=/b.png>", 200000);
        std::atomic<bool> stop{true};
        TScanControl control;
        control.Stop = &stop;
        QVERIFY(ModernLinks(page, "http://h/", &control).isEmpty());
        QVERIFY(control.Reason.isEmpty());
        // The same page without Stop lists its two links.
        QCOMPARE(ModernLinks(page, "http://h/").size(), 2);
        // The look for deep nesting, which reads the whole page before the parse, ends at Stop too.
        const QByteArray deep = Nested(20000, "x");
        QVERIFY(FlattenDeepNesting(deep, 3, &control).isNull());
        QVERIFY(!FlattenDeepNesting(deep, 3).isNull());
    }
};

QTEST_MAIN(TestScanLimits)
#include "test_scan_limits.moc"
