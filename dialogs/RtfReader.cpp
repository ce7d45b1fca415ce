#include "dialogs/RtfReader.h"

#include <QList>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <cctype>
#include <climits>

namespace {

// The documentation is written in the Western code page; its bytes 0x80..0x9F hold
// typographic characters where Latin-1 has control codes.
// clang-format off
const char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
// clang-format on

QChar FromCodePage(uchar byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return QChar(Cp1252High[byte - 0x80]);
    return QChar(byte);
}

bool IsSkippedDestination(const QByteArray& word)
{
    // clang-format off
    static const char* const names[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "object", "fldinst", "listtable",
        "listoverridetable", "rsidtbl", "generator", "xmlnstbl", "filetbl", "revtbl", "themedata",
        "colorschememapping", "datastore", "latentstyles", "pgdsctbl", "operator", "author",
        "title", "subject", "comment", "keywords"};
    // clang-format on
    for (const char* name : names)
        if (word == name)
            return true;
    return false;
}

struct TGroupState {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int HalfPoints = 0;   // 0: the view's own size
    bool Skip = false;    // inside a destination that is not shown
    int UnicodeSkip = 1;  // fallback characters after \uN
};

struct TFormatKey {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int HalfPoints = 0;
    bool operator==(const TFormatKey&) const = default;
};

class TParser {
public:
    TParser(const QByteArray& data, QTextDocument* document) : FData(data), FCursor(document) {}

    void Run()
    {
        FCursor.beginEditBlock();
        FStack.append(TGroupState());
        int depth = 0;  // real nesting, also beyond MaxGroupDepth
        bool started = false;
        while (FPos < FData.size()) {
            const char c = FData[FPos];
            if (c == '{') {
                ++FPos;
                ++depth;
                started = true;
                if (FStack.size() < TRtfReader::MaxGroupDepth)
                    FStack.append(FStack.last());
                FPendingSkip = 0;
            } else if (c == '}') {
                ++FPos;
                FlushText();
                if (depth > 0 && FStack.size() == depth + 1)
                    FStack.removeLast();
                if (--depth <= 0 && started)
                    break;  // end of the outermost group: the rest is not part of the text
                FPendingSkip = 0;
            } else if (c == '\\') {
                ++FPos;
                ControlWord();
            } else if (c == '\r' || c == '\n' || c == '\0') {
                ++FPos;  // line breaks in the file are not text
            } else {
                ++FPos;
                if (depth > 0)  // nothing stands outside the outermost group
                    Text(FromCodePage(uchar(c)));
            }
        }
        FlushText();
        FCursor.endEditBlock();
    }

private:
    TGroupState& State() { return FStack.last(); }

    void Text(QChar ch)
    {
        if (FPendingSkip > 0) {  // fallback characters that follow \uN
            --FPendingSkip;
            return;
        }
        if (State().Skip)
            return;
        // Compared by the few values a format is made of: building a format per character would
        // cost more than the rest of the reading.
        const TFormatKey key{State().Bold, State().Italic, State().Underline, State().HalfPoints};
        if (!FRun.isEmpty() && key != FRunKey)
            FlushText();
        if (FRun.isEmpty() && (key != FRunKey || !FRunKeyValid)) {
            FRunFormat = CharFormat();
            FRunKey = key;
            FRunKeyValid = true;
        }
        FRun.append(ch);
    }

    QTextCharFormat CharFormat()
    {
        QTextCharFormat format;
        format.setFontWeight(State().Bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(State().Italic);
        format.setFontUnderline(State().Underline);
        if (State().HalfPoints > 0)
            format.setFontPointSize(State().HalfPoints / 2.0);
        return format;
    }

    void FlushText()
    {
        if (FRun.isEmpty())
            return;
        ApplyBlockFormat();
        FCursor.insertText(FRun, FRunFormat);
        FRun.clear();
    }

    void ApplyBlockFormat()
    {
        if (FCursor.blockFormat() != FBlock)
            FCursor.setBlockFormat(FBlock);
    }

    void Paragraph()
    {
        if (State().Skip)
            return;
        FlushText();
        ApplyBlockFormat();
        FCursor.insertBlock(FBlock, CharFormat());
    }

    void ControlWord()
    {
        if (FPos >= FData.size())
            return;
        const char first = FData[FPos];
        if (!std::isalpha(uchar(first))) {
            ++FPos;
            ControlSymbol(first);
            return;
        }
        const qsizetype wordStart = FPos;
        while (FPos < FData.size() && std::isalpha(uchar(FData[FPos])) && FPos - wordStart < 32)
            ++FPos;
        const QByteArray word = FData.mid(wordStart, FPos - wordStart);
        bool hasParam = false;
        long long param = 0;
        bool negative = false;
        if (FPos < FData.size() && FData[FPos] == '-') {
            negative = true;
            ++FPos;
        }
        int digits = 0;
        while (FPos < FData.size() && std::isdigit(uchar(FData[FPos]))) {
            if (digits++ < 10)  // a longer number is nonsense; keep it from overflowing
                param = param * 10 + (FData[FPos] - '0');
            hasParam = true;
            ++FPos;
        }
        if (negative)
            param = -param;
        if (FPos < FData.size() && FData[FPos] == ' ')
            ++FPos;  // the delimiting space belongs to the word
        Apply(word, hasParam, int(std::clamp<long long>(param, INT_MIN, INT_MAX)));
    }

    void ControlSymbol(char symbol)
    {
        switch (symbol) {
        case '\\':
        case '{':
        case '}': Text(QLatin1Char(symbol)); break;
        case '~': Text(QChar(0x00A0)); break;
        case '_': Text(QChar(0x2011)); break;
        case '-': break;  // optional hyphen
        case '*':
            State().Skip = true;  // a destination the reader may ignore, and we do
            break;
        case '\'': {
            const QByteArray hex = FData.mid(FPos, 2);
            bool ok = false;
            const int byte = hex.toInt(&ok, 16);
            if (ok && hex.size() == 2) {
                FPos += 2;
                Text(FromCodePage(uchar(byte)));
            }
            break;
        }
        case '\r':
        case '\n':
            Paragraph();  // a backslash before a line break is a paragraph
            break;
        default: break;
        }
    }

    void Apply(const QByteArray& word, bool hasParam, int param)
    {
        const bool on = !hasParam || param != 0;
        if (IsSkippedDestination(word)) {
            State().Skip = true;
        } else if (word == "par") {
            Paragraph();
        } else if (word == "line") {
            Text(QChar(QChar::LineSeparator));
        } else if (word == "tab") {
            Text(QLatin1Char('\t'));
        } else if (word == "b") {
            State().Bold = on;
        } else if (word == "i") {
            State().Italic = on;
        } else if (word == "ul") {
            State().Underline = on;
        } else if (word == "ulnone") {
            State().Underline = false;
        } else if (word == "fs") {
            State().HalfPoints = hasParam && param > 0 && param <= 2 * 1638 ? param : 0;
        } else if (word == "plain") {
            const bool skip = State().Skip;
            const int uc = State().UnicodeSkip;
            State() = TGroupState();
            State().Skip = skip;
            State().UnicodeSkip = uc;
        } else if (word == "pard") {
            FBlock = QTextBlockFormat();
        } else if (word == "ql") {
            FBlock.setAlignment(Qt::AlignLeft);
        } else if (word == "qc") {
            FBlock.setAlignment(Qt::AlignHCenter);
        } else if (word == "qr") {
            FBlock.setAlignment(Qt::AlignRight);
        } else if (word == "qj") {
            FBlock.setAlignment(Qt::AlignJustify);
        } else if (word == "li") {
            FBlock.setLeftMargin(qBound(0, param, 20000) / 15.0);  // twips to pixels at 96 dpi
        } else if (word == "sb") {
            FBlock.setTopMargin(qBound(0, param, 20000) / 15.0);
        } else if (word == "sa") {
            FBlock.setBottomMargin(qBound(0, param, 20000) / 15.0);
        } else if (word == "uc") {
            State().UnicodeSkip = qBound(0, param, 16);
        } else if (word == "u" && hasParam) {
            int code = param < 0 ? param + 65536 : param;
            if (code < 0 || code > 0xFFFF)
                code = 0xFFFD;
            Text(QChar(char16_t(code)));
            FPendingSkip = State().UnicodeSkip;
        } else if (word == "bullet") {
            Text(QChar(0x2022));
        } else if (word == "endash") {
            Text(QChar(0x2013));
        } else if (word == "emdash") {
            Text(QChar(0x2014));
        } else if (word == "lquote") {
            Text(QChar(0x2018));
        } else if (word == "rquote") {
            Text(QChar(0x2019));
        } else if (word == "ldblquote") {
            Text(QChar(0x201C));
        } else if (word == "rdblquote") {
            Text(QChar(0x201D));
        }
        // Every other word is formatting this reader does not show; it is left out.
        if (word != "u")
            FPendingSkip = 0;
    }

    const QByteArray& FData;
    qsizetype FPos = 0;
    QTextCursor FCursor;
    QList<TGroupState> FStack;
    QTextBlockFormat FBlock;
    QString FRun;
    QTextCharFormat FRunFormat;
    TFormatKey FRunKey;
    bool FRunKeyValid = false;
    int FPendingSkip = 0;
};

}  // namespace

bool TRtfReader::IsRichText(const QByteArray& data) { return data.trimmed().startsWith("{\\rtf"); }

void TRtfReader::Read(const QByteArray& data, QTextDocument* document)
{
    document->clear();
    // One edit block for the whole file: the document and its view see one change at the end,
    // not one per formatting run, which made a help file of many short runs quadratic to show.
    // Nobody edits the help text, so nothing needs undoing either.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    TParser parser(data, document);
    parser.Run();
    document->setUndoRedoEnabled(undo);
}

void TRtfReader::Fill(QTextEdit* view, const QByteArray& data)
{
    view->clear();
    if (IsRichText(data)) {
        Read(data, view->document());
    } else {
        // Plain text as written: UTF-8 when it is valid UTF-8, otherwise the 8-bit code page.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        QString text = utf8.decode(data);
        if (utf8.hasError()) {
            text.clear();
            for (const char c : data)
                text.append(FromCodePage(uchar(c)));
        }
        view->setPlainText(text);
    }
    view->moveCursor(QTextCursor::Start);
}
