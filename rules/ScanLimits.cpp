#include "rules/ScanLimits.h"

#include <cstring>
#include <string_view>
#include <vector>

QString PageTooLargeReason()
{
    return QStringLiteral("Page larger than %1 MB: scanned the first %1 MB").arg(MaxScannedPageBytes >> 20);
}

QString TooManyLinksReason()
{
    return QStringLiteral("More than %1 links on the page: the first %1 listed").arg(MaxLinksPerPage);
}

QString NestedTooDeepReason()
{
    return QStringLiteral("Page nested deeper than %1 levels: deeper markup read as text").arg(MaxNestingDepth);
}

QString ScanOutOfMemoryReason() { return QStringLiteral("Not enough memory to scan the page"); }

QString FetchTooLongReason()
{
    return QStringLiteral("Page took longer than %1 minutes").arg(FetchTimeLimitSeconds / 60);
}

namespace {
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// A tag name as the scan reads it: lower case, at most 16 letters, kept on the stack (a page
// has millions of tags).
using TTagName = std::string_view;

template <size_t N>
bool OneOf(TTagName name, const std::string_view (&names)[N])
{
    for (const std::string_view n : names)
        if (name == n)
            return true;
    return false;
}

// Elements that never hold others (void), that close by themselves (optional end tags), or
// that do not nest (a link closes the one before it): they add no depth.
bool AddsNoDepth(TTagName name)
{
    static constexpr std::string_view Names[] = {
        "area",  "base",   "basefont", "bgsound", "br",    "col",    "embed", "frame", "hr",    "image", "img",
        "input", "keygen", "link",     "meta",    "param", "source", "track", "wbr",   "p",     "li",    "dt",
        "dd",    "option", "optgroup", "tr",      "td",    "th",     "thead", "tbody", "tfoot", "rb",    "rt",
        "rtc",   "rp",     "colgroup", "caption", "html",  "head",   "body",  "a"};
    return OneOf(name, Names);
}

// Elements whose content is text up to their own end tag.
bool HoldsRawText(TTagName name)
{
    static constexpr std::string_view Names[] = {"script", "style",   "textarea", "title",    "xmp",
                                                 "iframe", "noembed", "noframes", "plaintext"};
    return OneOf(name, Names);
}

// The position after the first `what` at or after `from`, or the page's end.
qsizetype After(QByteArrayView page, qsizetype from, QByteArrayView what)
{
    const qsizetype at = page.indexOf(what, from);
    return at < 0 ? page.size() : at + what.size();
}

// The end of a case-insensitive "</name" at or after `from`, or the page's end.
qsizetype AfterEndTag(QByteArrayView page, qsizetype from, TTagName name)
{
    for (qsizetype at = page.indexOf("</", from); at >= 0; at = page.indexOf("</", at + 2)) {
        qsizetype i = at + 2;
        qsizetype k = 0;
        while (k < qsizetype(name.size()) && i < page.size() && Lower(page[i]) == name[size_t(k)]) {
            ++i;
            ++k;
        }
        if (k == qsizetype(name.size()))
            return i;
    }
    return page.size();
}
}  // namespace

QByteArray FlattenDeepNesting(QByteArrayView page, int maxDepth, const TScanControl* control)
{
    // Stop is looked at every this many tags.
    constexpr int StopCheckInterval = 4096;
    int sinceStopCheck = 0;
    std::vector<qsizetype> flatten;  // positions of the "<" of tags beyond the depth
    int depth = 0;
    int foreignFrom = 0;  // the depth at which svg or math content began; 0 outside
    const qsizetype n = page.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = page.indexOf('<', i);
        if (lt < 0 || lt + 1 >= n)
            break;
        i = lt + 1;
        if (++sinceStopCheck == StopCheckInterval) {
            sinceStopCheck = 0;
            if (control && control->StopRequested())
                return {};
        }
        if (page.sliced(lt).startsWith("<!--")) {
            i = After(page, lt + 4, "-->");
            continue;
        }
        if (page[i] == '!' || page[i] == '?') {
            i = After(page, i, ">");
            continue;
        }
        const bool end = page[i] == '/';
        if (end)
            ++i;
        if (i >= n || !IsLetter(page[i]))
            continue;  // text, as the parser reads it
        char letters[16];
        size_t length = 0;
        while (i < n && page[i] != '>' && page[i] != '/' && uchar(page[i]) > ' ' && length < sizeof letters)
            letters[length++] = Lower(page[i++]);
        const TTagName name(letters, length);
        // The rest of the tag, quoted values included.
        char quote = 0;
        bool selfClosing = false;
        while (i < n && (quote || page[i] != '>')) {
            if (quote) {
                if (page[i] == quote)
                    quote = 0;
            } else if (page[i] == '"' || page[i] == '\'') {
                quote = page[i];
            }
            selfClosing = !quote && page[i] == '/';
            ++i;
        }
        if (i < n)
            ++i;  // past ">"
        if (AddsNoDepth(name))
            continue;
        if (end) {
            if (depth > maxDepth)
                flatten.push_back(lt);
            if (depth > 0)
                --depth;
            if (depth < foreignFrom)
                foreignFrom = 0;
        } else if (HoldsRawText(name) && foreignFrom == 0) {
            i = AfterEndTag(page, i, name);
        } else if (selfClosing && foreignFrom > 0) {
            // "/>" closes an element only in svg and math; an HTML parser ignores it elsewhere.
        } else if (++depth > maxDepth) {
            flatten.push_back(lt);
        } else if (foreignFrom == 0 && (name == "svg" || name == "math")) {
            foreignFrom = depth;
        }
    }
    if (flatten.empty())
        return {};
    QByteArray flat = page.toByteArray();
    for (qsizetype at : flatten)
        flat[at] = ' ';
    return flat;
}
