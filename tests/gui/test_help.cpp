// The help and about windows: the documentation file read once at creation (or the line that
// says it is missing), the windows' looks, and showing without blocking from the Help menu.
#include <QAction>
#include <QFile>
#include <QFrame>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

#include "dialogs/UnitHelp.h"
#include "dialogs/UnitInfo.h"
#include "main/UnitMain.h"
#include "platform/ProgramDir.h"
#include "support/IsolatedSettings.h"

class TestHelp : public QObject {
    Q_OBJECT

    void WriteDocumentation(const IsolatedSettings& settings, const QByteArray& content)
    {
        QFile file(settings.ProgramDirectory() + "Kelvorn.rtf");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

private slots:
    void missingDocumentationIsOneLine()
    {
        IsolatedSettings settings;
        TFormHelp help;
        QCOMPARE(help.RichEdit1->toPlainText(), "Kelvorn.rtf is missing in : " + settings.ProgramDirectory());
        QVERIFY(settings.ProgramDirectory().endsWith('/'));
    }

    void documentationReadOnceAtCreation()
    {
        IsolatedSettings settings;
        WriteDocumentation(settings, "{\\rtf1\\ansi {\\b Kelvorn guide}\\par Second line.}");
        TFormHelp help;
        QCOMPARE(help.RichEdit1->toPlainText(), QString("Kelvorn guide\nSecond line."));
        QTextCursor at(help.RichEdit1->document());
        at.setPosition(1);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));

        // Changing the file later is seen only by a new window; showing again reads nothing.
        WriteDocumentation(settings, "changed");
        help.ShowInFront();
        help.ButtonClose->click();
        QVERIFY(help.isHidden());
        help.ShowInFront();
        QCOMPARE(help.RichEdit1->toPlainText(), QString("Kelvorn guide\nSecond line."));
        help.close();

        TFormHelp plain;
        QCOMPARE(plain.RichEdit1->toPlainText(), QString("changed"));
    }

    void helpWindowOpensMaximisedAndKeepsItsInsets()
    {
        IsolatedSettings settings;
        TFormHelp help;
        QVERIFY(help.windowState() & Qt::WindowMaximized);
        help.setWindowState(Qt::WindowNoState);
        help.resize(617, 378);
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(help.PanelTop->height(), 49);
        QCOMPARE(help.RichEdit1->geometry(), QRect(3, 49, help.width() - 6, help.height() - 49 - 5));
    }

    // The Help menu shows each window without blocking; choosing again keeps one window and
    // brings it to the front.
    void helpMenuShowsWithoutBlocking()
    {
        IsolatedSettings settings;
        TFormMain form;
        form.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
        form.EndProcessHook = [] {};
        FormHelp = new TFormHelp;
        FormInfo = new TFormInfo;
        form.Info1->trigger();  // returns at once: the window is not modal
        QVERIFY(FormInfo->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(FormInfo->isActiveWindow(), 5000);
        form.Help3->trigger();
        QVERIFY(FormHelp->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(FormHelp->isActiveWindow(), 5000);
        form.Info1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(FormInfo->isActiveWindow(), 5000);
        QVERIFY(FormHelp->isVisible());
        // Closing hides: the same window comes back.
        TFormInfo* before = FormInfo;
        FormInfo->ButtonClose->click();
        QVERIFY(FormInfo->isHidden());
        form.Info1->trigger();
        QCOMPARE(FormInfo, before);
        QVERIFY(FormInfo->isVisible());
        delete FormHelp;
        delete FormInfo;
        FormHelp = nullptr;
        FormInfo = nullptr;
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
