// Hostile pages against the real window with "modern pages" on: Stop reaches a long scan, which
// then lists nothing more, and a page beyond the size limit is scanned up to the limit, with the
// reason in the status line; the window answers and ends idle either way.
#include <QtTest>

#include "gui/RetrievalFixture.h"
#include "gui/StallServer.h"
#include "rules/ScanLimits.h"
#include "support/WhenReady.h"

namespace {
// A page of `bytes` with a link and a picture every line: tens of seconds of scanning for
// tens of megabytes.
QByteArray LinkPage(qsizetype bytes)
{
    QByteArray page = "<html><body>\n";
    page.reserve(bytes + 128);
    for (int i = 0; page.size() < bytes; ++i) {
        const QByteArray n = QByteArray::number(i);
        page += "<div class=row><a href=/f" + n + ".jpg>f</a> <img src=/p" + n + ".png alt='picture'></div>\n";
    }
    return page + "</body></html>\n";
}
}  // namespace

class TestHostilePages : public QObject {
    Q_OBJECT
private slots:
    void stopEndsALongScan();
    void pageBeyondTheSizeLimit();
};

void TestHostilePages::stopEndsALongScan()
{
    StallServer server;
    server.SetPage("/big.html", LinkPage(qsizetype(48) << 20));
    RetrievalWindow w;
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    bool busyWhileScanning = false;
    WhenReady stop([&] { return w.win->StatusText() == QStringLiteral("Status: Parsing link"); },
                   [&] {
                       busyWhileScanning = w.LooksBusy();
                       w.win->ButtonStop->click();
                   });
    w.Get(server.Url("/big.html"));
    QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle(), 120000);
    QVERIFY(stop.Done);
    QVERIFY(busyWhileScanning);
    // The scan ended at Stop: nothing of the page was listed.
    QCOMPARE(w.Files()->Count(), 0);
    QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active"));
}

void TestHostilePages::pageBeyondTheSizeLimit()
{
    QByteArray page = "<html><body><a href=/first.jpg>first</a><p>";
    page += QByteArray(MaxScannedPageBytes - page.size() - 100, 'x');
    page += QByteArray(qsizetype(4) << 20, ' ');  // the limit falls here
    page += "</p><a href=/late.jpg>late</a><img src=/late.png></body></html>";
    StallServer server;
    server.SetPage("/huge.html", page);
    page.clear();  // the server holds its own copy
    RetrievalWindow w;
    RetrievalWindow::Set(w.win->Findlinksasabrowserdoesmodernpages1, true);
    w.Get(server.Url("/huge.html"));
    QTRY_VERIFY_WITH_TIMEOUT(w.LooksIdle(), 120000);
    QCOMPARE(RetrievalWindow::Captions(w.Files()), QByteArrayList{server.Url("/first.jpg")});
    QCOMPARE(w.win->StatusText(), QStringLiteral("Status: Not active - ") + PageTooLargeReason());
}

QTEST_MAIN(TestHostilePages)
#include "test_hostile_pages.moc"
