#pragma once
// A reader for the small part of rich text (RTF) that the documentation file uses: groups,
// paragraphs (\par, \line, \tab, \pard, alignment \ql \qc \qr \qj, indent \li), character
// formats (\b, \i, \ul, \fs, \plain), characters (\'hh, \uN with \ucN, \~, \bullet, dashes and
// quotes, escaped \\ \{ \}) and destinations that are skipped (font and colour tables, style
// sheet, document information, pictures, headers and footers, and every \* group).
#include <QByteArray>

class QTextDocument;
class QTextEdit;

class TRtfReader {
public:
    // Nesting beyond this is read with the formats of the deepest kept group; the limit keeps a
    // file of a million "{" from costing a million saved states.
    static constexpr int MaxGroupDepth = 256;

    static bool IsRichText(const QByteArray& data);
    // Replaces the document's content with the rich text.
    static void Read(const QByteArray& data, QTextDocument* document);
    // Rich text through Read; anything else is shown as it is, as plain text.
    static void Fill(QTextEdit* view, const QByteArray& data);
};
