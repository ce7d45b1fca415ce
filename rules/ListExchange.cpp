#include "rules/ListExchange.h"

#include <algorithm>

namespace {

bool IsLineBreakOrTab(char c) { return c == '\n' || c == '\r' || c == '\t'; }

bool HoldsLineBreakOrTab(const QByteArray& text) { return std::any_of(text.begin(), text.end(), IsLineBreakOrTab); }

QByteArray SafeAddress(const QByteArray& address)
{
    if (!HoldsLineBreakOrTab(address))
        return address;
    QByteArray safe;
    safe.reserve(address.size() + 6);
    for (const char c : address) {
        if (c == '\n')
            safe += "%0A";
        else if (c == '\r')
            safe += "%0D";
        else if (c == '\t')
            safe += "%09";
        else
            safe += c;
    }
    return safe;
}

bool IsOptionLine(const QByteArray& line) { return !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'); }

bool IsSkippedLine(const QByteArray& trimmed) { return trimmed.isEmpty() || trimmed.startsWith('#'); }

// The file's lines without their "\n" or "\r\n".
QList<QByteArray> Lines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

}  // namespace

QByteArray WriteListExchange(TListFormat format, const QList<TExchangeEntry>& entries)
{
    QByteArray out;
    for (const TExchangeEntry& entry : entries) {
        if (entry.Address.isEmpty())
            continue;
        out += SafeAddress(entry.Address);
        out += '\n';
        if (format != TListFormat::Aria2Input)
            continue;
        if (!entry.FileName.isEmpty() && !HoldsLineBreakOrTab(entry.FileName))
            out += "  out=" + entry.FileName + '\n';
        if (!entry.Referrer.isEmpty() && !HoldsLineBreakOrTab(entry.Referrer))
            out += "  referer=" + entry.Referrer + '\n';
    }
    return out;
}

QList<TExchangeEntry> ReadListExchange(TListFormat format, const QByteArray& text)
{
    QList<TExchangeEntry> entries;
    bool inEntry = false;  // an option line belongs to the address above it
    for (const QByteArray& line : Lines(text)) {
        const QByteArray trimmed = line.trimmed();
        if (IsSkippedLine(trimmed))
            continue;
        if (format == TListFormat::Aria2Input && IsOptionLine(line)) {
            if (!inEntry)
                continue;
            const int equals = trimmed.indexOf('=');
            if (equals <= 0)
                continue;
            const QByteArray key = trimmed.left(equals);
            const QByteArray value = trimmed.mid(equals + 1);
            if (key == "out")
                entries.last().FileName = value;
            else if (key == "referer")
                entries.last().Referrer = value;
            continue;
        }
        TExchangeEntry entry;
        entry.Address = format == TListFormat::Aria2Input ? trimmed.split('\t').first().trimmed() : trimmed;
        entries.append(entry);
        inEntry = true;
    }
    return entries;
}

TListFormat GuessListFormat(const QByteArray& text)
{
    bool afterAddress = false;
    for (const QByteArray& line : Lines(text)) {
        const QByteArray trimmed = line.trimmed();
        if (IsSkippedLine(trimmed))
            continue;
        if (IsOptionLine(line)) {
            if (afterAddress && trimmed.contains('='))
                return TListFormat::Aria2Input;
            continue;
        }
        afterAddress = true;
    }
    return TListFormat::PlainText;
}
