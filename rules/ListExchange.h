#pragma once
// "Export list..." and "Import list...": the file list as plain text (one address per line) or as
// an aria2 input file (the address, then indented "out=" and "referer=" lines), so a harvest can
// move to other download tools and back. Pure text rules; no widgets, no files.
#include <QByteArray>
#include <QList>

enum class TListFormat { PlainText, Aria2Input };

struct TExchangeEntry {
    QByteArray Address;
    QByteArray FileName;  // empty: none known (plain text never carries one)
    QByteArray Referrer;  // empty: none known (plain text never carries one)
    bool operator==(const TExchangeEntry&) const = default;
};

// The file's bytes for the entries. Lines end with "\n". A line break or tab inside an address is
// written percent-encoded, since either would split the address in every reader; a name or
// referrer holding one is left out, as no reader could take it back whole.
QByteArray WriteListExchange(TListFormat format, const QList<TExchangeEntry>& entries);

// The entries of a file in `format`. Blank lines and lines starting with "#" are skipped, "\r\n"
// reads as "\n". In an aria2 input file an address line may list several tab-separated mirrors:
// the first one is taken; option lines other than "out=" and "referer=" are ignored, as are
// option lines before the first address.
QList<TExchangeEntry> ReadListExchange(TListFormat format, const QByteArray& text);

// The format an imported file is written in: aria2's when an indented option line follows an
// address, else plain text.
TListFormat GuessListFormat(const QByteArray& text);
