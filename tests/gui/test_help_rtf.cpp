// The rich-text reader: the text and formats of the subset the documentation uses, hostile or
// broken input without a crash, plain text shown as it is, and the shipped documentation itself.
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include "dialogs/RtfReader.h"
#include "main/UnitMain.h"
#include "support/IsolatedSettings.h"

namespace {

QString Read(const QByteArray& rtf)
{
    QTextDocument document;
    TRtfReader::Read(rtf, &document);
    // The raw text keeps non-breaking spaces; paragraph ends read as line feeds.
    return document.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

// The character format at the first occurrence of a piece of text.
QTextCharFormat FormatAt(const QTextDocument& document, const QString& piece)
{
    const QTextCursor found = document.find(piece);
    if (found.isNull())
        return {};
    QTextCursor at(const_cast<QTextDocument*>(&document));
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

}  // namespace

class TestHelpRtf : public QObject {
    Q_OBJECT
private slots:
    void text_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("paragraphs") << QByteArray("{\\rtf1 one\\par two\\par\nthree}") << QString("one\ntwo\nthree");
        QTest::newRow("delimiting space is not text")
            << QByteArray("{\\rtf1\\b bold\\b0  plain}") << QString("bold plain");
        QTest::newRow("line breaks in the file are not text") << QByteArray("{\\rtf1 a\r\nb\nc}") << QString("abc");
        QTest::newRow("escaped symbols") << QByteArray("{\\rtf1 \\\\ \\{x\\} }") << QString("\\ {x} ");
        QTest::newRow("hex bytes of the code page")
            << QByteArray("{\\rtf1 caf\\'e9 \\'93q\\'94 \\'80}") << QString::fromUtf8("café “q” €");
        QTest::newRow("unicode with one fallback")
            << QByteArray("{\\rtf1 \\u8364?5 \\u-3913?x}") << QString::fromUtf8("€5 \uF0B7x");
        QTest::newRow("unicode fallback as hex byte") << QByteArray("{\\rtf1 \\u233\\'e9!}") << QString::fromUtf8("é!");
        QTest::newRow("uc2 skips two") << QByteArray("{\\rtf1\\uc2 \\u8212--z}") << QString::fromUtf8("—z");
        QTest::newRow("uc0 skips none") << QByteArray("{\\rtf1\\uc0 \\u8212-z}") << QString::fromUtf8("—-z");
        QTest::newRow("tables and info skipped")
            << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
                          "{\\info{\\title T}{\\author A}}{\\*\\generator Gen 1.0;}Body}")
            << QString("Body");
        QTest::newRow("unknown starred destination skipped")
            << QByteArray("{\\rtf1 a{\\*\\whatever {nested} text}b}") << QString("ab");
        QTest::newRow("unknown words ignored")
            << QByteArray("{\\rtf1\\deff0\\viewkind4\\lang1033 x\\cf2 y}") << QString("xy");
        QTest::newRow("named characters")
            << QByteArray("{\\rtf1 \\bullet\\tab a\\endash b\\emdash c\\lquote d\\rquote\\ldblquote e\\rdblquote\\~f}")
            << QString::fromUtf8("•\ta–b—c‘d’“e”\u00A0f");
        QTest::newRow("text after the outer group is not shown") << QByteArray("{\\rtf1 in}out") << QString("in");
        QTest::newRow("missing closing brace") << QByteArray("{\\rtf1 {\\b open") << QString("open");
        QTest::newRow("stray closing braces") << QByteArray("{\\rtf1 a}}}}") << QString("a");
        QTest::newRow("backslash at the very end") << QByteArray("{\\rtf1 a\\") << QString("a");
        QTest::newRow("hex escape cut off") << QByteArray("{\\rtf1 a\\'") << QString("a");
        QTest::newRow("overlong number") << QByteArray("{\\rtf1\\fs99999999999999999999 a\\u99999999999 ?b}")
                                         << QString::fromUtf8("a\uFFFDb");
    }
    void text()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(Read(rtf), text);
    }

    void formatsFollowGroups()
    {
        QTextDocument document;
        TRtfReader::Read("{\\rtf1 {\\b bold {\\i both} back}{\\ul under}\\par{\\fs40 big}\\par"
                         "\\b on\\plain off\\par\\qc middle\\par\\pard left}",
                         &document);
        QCOMPARE(document.toPlainText(), QString("bold both backunder\nbig\nonoff\nmiddle\nleft"));
        QCOMPARE(FormatAt(document, "bold").fontWeight(), int(QFont::Bold));
        QVERIFY(!FormatAt(document, "bold").fontItalic());
        QCOMPARE(FormatAt(document, "both").fontWeight(), int(QFont::Bold));
        QVERIFY(FormatAt(document, "both").fontItalic());
        QVERIFY(!FormatAt(document, "back").fontItalic());
        QCOMPARE(FormatAt(document, "back").fontWeight(), int(QFont::Bold));
        QVERIFY(FormatAt(document, "under").fontUnderline());
        QCOMPARE(FormatAt(document, "under").fontWeight(), int(QFont::Normal));
        QCOMPARE(FormatAt(document, "big").fontPointSize(), 20.0);
        QCOMPARE(FormatAt(document, "on").fontWeight(), int(QFont::Bold));
        QCOMPARE(FormatAt(document, "off").fontWeight(), int(QFont::Normal));
        QCOMPARE(document.findBlockByNumber(3).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(!(document.findBlockByNumber(4).blockFormat().alignment() & Qt::AlignHCenter));
    }

    void deepNestingIsBounded()
    {
        const int depth = 100000;
        QByteArray rtf = "{\\rtf1 ";
        rtf += QByteArray(depth, '{') + "\\b deep" + QByteArray(depth, '}') + " after}";
        QTextDocument document;
        TRtfReader::Read(rtf, &document);
        QCOMPARE(document.toPlainText(), QString("deep after"));
        QCOMPARE(FormatAt(document, "deep").fontWeight(), int(QFont::Bold));
        QCOMPARE(FormatAt(document, "after").fontWeight(), int(QFont::Normal));
    }

    // The document changes once for the whole file, however many formatting runs it has: a
    // change per run makes its view lay the text out again each time (quadratic in the runs).
    void wholeFileIsOneChange()
    {
        QByteArray rtf = "{\\rtf1 ";
        for (int i = 0; i < 2000; ++i)
            rtf += (i % 2 ? "{\\b bold} " : "{\\i it} ") + QByteArray(i % 10 == 9 ? "\\par " : "");
        rtf += '}';
        QTextEdit view;
        view.document()->setPlainText(QStringLiteral("old text"));
        int changes = 0;
        connect(view.document(), &QTextDocument::contentsChange, this, [&changes] { ++changes; });
        TRtfReader::Read(rtf, view.document());
        // A few (the clear, the text, the final block format), never one per run.
        QVERIFY2(changes <= 4, qPrintable(QString::number(changes) + " changes"));
        QVERIFY(view.document()->toPlainText().startsWith(QStringLiteral("it bold it bold")));
        QCOMPARE(view.document()->availableUndoSteps(), 0);
        QVERIFY(view.document()->isUndoRedoEnabled());
    }

    void fillShowsRichOrPlainText()
    {
        QTextEdit view;
        TRtfReader::Fill(&view, "  \r\n{\\rtf1 {\\b Title}\\par body}");
        QCOMPARE(view.toPlainText(), QString("Title\nbody"));
        TRtfReader::Fill(&view, "Just text {\\b not rich}\nline two");
        QCOMPARE(view.toPlainText(), QString("Just text {\\b not rich}\nline two"));
        TRtfReader::Fill(&view, "Latin-1 caf\xe9");
        QCOMPARE(view.toPlainText(), QString::fromUtf8("Latin-1 café"));
        TRtfReader::Fill(&view, QByteArray());
        QCOMPARE(view.toPlainText(), QString());
    }

    // The documentation shipped with the program reads cleanly and covers what the user sees.
    void shippedDocumentation()
    {
        QFile file(QStringLiteral(KELVORN_SOURCE_DIR "/resources/Kelvorn.rtf"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QVERIFY(TRtfReader::IsRichText(data));
        const QString text = Read(data);
        QVERIFY2(!text.contains('\\') && !text.contains('{') && !text.contains('}'),
                 "control words leaked into the text");
        // clang-format off
        const char* const mustMention[] = {
            "Get document", "Stop", "Parse links", "Download files", "Document:", "DL dir:",
            "Load links & file list from disk", "Save links & file list to disk", "Quit",
            "Add new files to excisting list when parsing", "Auto select & download files after parsing",
            "Auto select first file from each link parsed", "Skip file if exist in download directory",
            "Add child links found when parsing to existing list",
            "Add embedded images when parsing", "Include links one level up when parsing main document",
            "Beep when done working", "Use friendly name on taskbar", "Display download engine progress",
            "Display image preview", "Preview latest file downloaded automatic",
            "Save links & files on program exit", "Save window position & size on program exit",
            "Deselect all", "Select all", "Invert selection", "Select by keyword",
            "Select all lines refering to marked Url", "Reset link", "Reset file",
            "Delete all lines refering to marked Url", "Add to bookmark",
            "Use selected doc as main and parse it", "Sort list", "Add bookmark", "Delete bookmark",
            "Delete all bookmarks", "New directory", "Image corrupted", "(Deleted)", "(Skipped)",
            "Not available", "Documentation", "About", "Kelvorn.dir", "Kelvorn.fil"};
        // clang-format on
        for (const char* phrase : mustMention)
            QVERIFY2(text.contains(QLatin1String(phrase)), phrase);
    }

    // Every item of the window's menus is explained, options added later included, and Stop is
    // described as it acts: running downloads are cancelled, not left to finish.
    void documentationCoversEveryMenuItem()
    {
        QFile file(QStringLiteral(KELVORN_SOURCE_DIR "/resources/Kelvorn.rtf"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = Read(file.readAll());
        IsolatedSettings isolated;
        TFormMain window;
        window.EndProcessHook = [] {};
        int options = 0;
        for (QMenu* menu : {window.File1, window.Options1, window.Help1}) {
            for (const QAction* item : menu->actions()) {
                if (item->isSeparator())
                    continue;
                // "&&" shows as "&"; a lone "&" only marks the access key.
                QString caption = item->text();
                caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
                caption.remove(QLatin1Char('&'));
                caption.replace(QStringLiteral("\x01"), QStringLiteral("&"));
                QVERIFY2(text.contains(caption), qPrintable(caption));
                options += menu == window.Options1;
            }
        }
        QVERIFY(options >= 14);
        QVERIFY(!text.contains(QStringLiteral("finish by themselves")));
        for (const char* fact : {"cancelled within half a second", "goes back to untouched", "NAME.kelvorn-part",
                                 "loads them again when it starts", "Point at a failed document or file",
                                 "A page that cannot be fetched empties nothing"})
            QVERIFY2(text.contains(QLatin1String(fact)), fact);
    }
};

QTEST_MAIN(TestHelpRtf)
#include "test_help_rtf.moc"
