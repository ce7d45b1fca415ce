// Every fixed text shows whole in its control, with the fonts a Linux desktop has: the design
// places were made for a narrow 8-point font, so each window is checked at the application's
// usual font and at a large one.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "dialogs/DialogTools.h"
#include "dialogs/UnitDirectory.h"
#include "dialogs/UnitInfo.h"
#include "dialogs/UnitKeyword.h"
#include "main/UnitMain.h"
#include "support/IsolatedSettings.h"

namespace {
// A label's text fits when the room inside its frame holds the text's advance.
bool Fits(const QLabel* label, const QString& text)
{
    return label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(text);
}

// A flat button's caption and picture fit when it is as wide as it asks to be.
bool Fits(const QToolButton* button) { return button->width() >= button->sizeHint().width(); }

QString Describe(const QWidget* widget, const QString& text)
{
    return QStringLiteral("%1 \"%2\": %3 wide, text %4")
        .arg(widget->objectName(), text)
        .arg(widget->width())
        .arg(widget->fontMetrics().horizontalAdvance(text));
}

class FontScope {
public:
    explicit FontScope(const QFont& font) : FOld(QApplication::font()) { QApplication::setFont(font); }
    ~FontScope() { QApplication::setFont(FOld); }

private:
    QFont FOld;
};
}  // namespace

class TestFittingTexts : public QObject {
    Q_OBJECT
private slots:
    void dialogs_data();
    void dialogs();
    void sidePanelOfTheMainWindow();
};

void TestFittingTexts::dialogs_data()
{
    QTest::addColumn<int>("points");
    QTest::newRow("usual font") << 0;
    QTest::newRow("large font (12 pt)") << 12;
}

void TestFittingTexts::dialogs()
{
    QFETCH(int, points);
    QFont font = QApplication::font();
    if (points > 0)
        font.setPointSize(points);
    FontScope scope(font);

    // The directory chooser: its three buttons and the "New directory:" label with its field.
    {
        TFormDirectory directory;
        for (QToolButton* button : {directory.ButtonSave, directory.ButtonCancel, directory.ButtonNew})
            QVERIFY2(Fits(button), qPrintable(Describe(button, button->text())));
        QVERIFY2(Fits(directory.Label1, directory.Label1->text()),
                 qPrintable(Describe(directory.Label1, directory.Label1->text())));
        QVERIFY(directory.Edit1->x() >= directory.Label1->geometry().right());
        QVERIFY(directory.Edit1->geometry().right() < directory.ButtonOk->x());
        QVERIFY(directory.Edit1->width() >= 100);
        QVERIFY(Fits(directory.ButtonOk));
        QVERIFY(directory.ButtonOk->geometry().right() < directory.width());
        QVERIFY(directory.ButtonNew->geometry().right() < directory.width());
        QVERIFY(directory.width() >= TitleBarWidth(directory.windowTitle()));
    }
    // The keyword dialog: its title, the two labels and the field between.
    {
        TFormKeyword keyword;
        for (QToolButton* button : {keyword.ButtonOk, keyword.ButtonCancel})
            QVERIFY2(Fits(button), qPrintable(Describe(button, button->text())));
        QVERIFY2(keyword.width() >= TitleBarWidth(keyword.windowTitle()), qPrintable(QString::number(keyword.width())));
        for (QLabel* label : {keyword.Label1, keyword.Label2})
            QVERIFY2(Fits(label, label->text()), qPrintable(Describe(label, label->text())));
        QVERIFY(keyword.EditKeyword->x() > keyword.Label1->geometry().right());
        QVERIFY(keyword.EditKeyword->geometry().right() < keyword.width());
        QVERIFY(keyword.Label2->geometry().right() < keyword.width());
        QVERIFY(keyword.Label2->geometry().bottom() < keyword.height());
    }
    // The about window: every credit line whole, no scroll bar.
    {
        TFormInfo info;
        info.show();
        QVERIFY(QTest::qWaitForWindowExposed(&info));
        const QFontMetrics metrics(info.Memo1->font());
        const int room = info.Memo1->viewport()->width() - 2 * int(info.Memo1->document()->documentMargin());
        for (const QString& line : TFormInfo::CreditText().split(QLatin1Char('\n')))
            QVERIFY2(metrics.horizontalAdvance(line) <= room, qPrintable(line));
        QTRY_COMPARE(info.Memo1->verticalScrollBar()->maximum(), 0);
        // The lines stand centred: a short line starts further right than a long one.
        const QTextBlock longLine = info.Memo1->document()->findBlockByNumber(5);
        const QTextBlock shortLine = info.Memo1->document()->findBlockByNumber(1);
        QVERIFY(longLine.text().size() > shortLine.text().size() + 10);
        QVERIFY(shortLine.layout()->lineAt(0).naturalTextRect().left()
                > longLine.layout()->lineAt(0).naturalTextRect().left() + 20);
        QVERIFY(info.width() >= TitleBarWidth(info.windowTitle()));
        QVERIFY(info.width() >= 285);
        QVERIFY(info.height() >= 241);
    }
}

void TestFittingTexts::sidePanelOfTheMainWindow()
{
    IsolatedSettings isolated;
    TFormMain window;
    window.EndProcessHook = [] {};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.PanelExtra->height() > 200);
    QVERIFY(window.PanelExtra->width() >= TFormMain::DesignSideWidth);
    QCOMPARE(window.PanelExtra->width(), window.PanelExtra->minimumWidth());
    QVERIFY2(Fits(window.Panel3, window.Panel3->text()), qPrintable(Describe(window.Panel3, window.Panel3->text())));
    QVERIFY2(Fits(window.Panel5, window.Panel5->text()), qPrintable(Describe(window.Panel5, window.Panel5->text())));
    window.BlankPreviewImage();
    QCOMPARE(window.Label1->text(), QStringLiteral("No image selected !"));
    QVERIFY2(Fits(window.Label1, window.Label1->text()), qPrintable(Describe(window.Label1, window.Label1->text())));
    for (QToolButton* button : {window.ButtonStart, window.ButtonStop, window.ButtonParse, window.ButtonDownload})
        QVERIFY2(Fits(button), qPrintable(Describe(button, button->text())));
    // A status text longer than its panel is the panel's hint as a whole; a short one needs none.
    const QString longStatus = QStringLiteral(
        "Status: Not active - Could not write /home/someone/Downloads/holiday/beach-1.jpg: Permission denied");
    window.SetStatusText(longStatus);
    QCOMPARE(window.StatusText(), longStatus);
    const QLabel* panel = window.StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel0"));
    QVERIFY(panel);
    QCOMPARE(panel->toolTip(), longStatus);
    window.SetStatusText(QStringLiteral("Status: Not active"));
    QCOMPARE(panel->toolTip(), QString());
    window.hide();
}

QTEST_MAIN(TestFittingTexts)
#include "test_fitting_texts.moc"
