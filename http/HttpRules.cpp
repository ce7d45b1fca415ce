#include "http/HttpRules.h"

#include <limits>

#include "http/SockExceptions.h"

#include "http/TNMUUProcessor.h"

#include <algorithm>

namespace {
// Position of the n-th "/" of text (n counted from 1), -1 when it has fewer.
qsizetype NthSlash(const QByteArray& text, int n)
{
    qsizetype pos = -1;
    for (int i = 0; i < n; ++i) {
        pos = text.indexOf('/', pos + 1);
        if (pos < 0)
            return -1;
    }
    return pos;
}

// The standard integer conversion: an optional sign, then decimal digits and nothing else.
bool ToInteger(const QByteArray& text, qint64& value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-'))
        negative = text.at(i++) == '-';
    if (i == text.size() || text.size() - i > 18)
        return false;
    value = 0;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (negative)
        value = -value;
    return true;
}

}  // namespace

bool IsControlByte(char c) { return uchar(c) < 0x20 || c == 0x7F; }

QByteArray EncodeControlBytes(const QByteArray& text)
{
    if (std::none_of(text.cbegin(), text.cend(), IsControlByte))
        return text;
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (IsControlByte(c)) {
            out += '%';
            out += hex[uchar(c) >> 4];
            out += hex[uchar(c) & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void ParseUrlRule(UrlTarget& t)
{
    if (t.Url.isEmpty())
        throw Exception("Empty URL");
    if (t.Port == 0)
        t.Port = 80;
    const QByteArray& url = t.Url;
    const bool hasAuthority = url.contains("//");
    const qsizetype thirdSlash = hasAuthority ? NthSlash(url, 3) : -1;

    if (hasAuthority) {
        // A third "/" that ends the address counts as absent here (the path becomes "/" below).
        const bool usable = thirdSlash >= 0 && thirdSlash != url.size() - 1;
        t.RequestPath = usable ? url.mid(thirdSlash).left(MaxRequestPathLength) : QByteArray();
    } else if (url.contains('/')) {
        t.RequestPath = url.mid(url.indexOf('/')).left(MaxRequestPathLength);
    } else {
        t.RequestPath.clear();
    }

    const qsizetype colon = url.indexOf(':');
    if (colon >= 0) {
        const QByteArray scheme = url.left(colon).toLower();
        t.Tls = scheme == "https";
        t.Port = t.Tls ? 443 : scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80;
    }

    QByteArray hostPart;
    if (hasAuthority) {
        const qsizetype second = NthSlash(url, 2);
        hostPart = thirdSlash < 0 ? url.mid(second + 1) : url.mid(second + 1, thirdSlash - second - 1);
    } else if (!url.startsWith('/')) {
        const qsizetype slash = url.indexOf('/');
        hostPart = slash < 0 ? url : url.left(slash);
    }

    // A host is a name or a dotted address: a line break in it would end the Host line early.
    if (std::any_of(hostPart.cbegin(), hostPart.cend(), IsControlByte))
        throw ESockError("Invalid host");
    const qsizetype portColon = hostPart.indexOf(':');
    if (portColon >= 0) {
        const QByteArray portText = hostPart.mid(portColon + 1);
        qint64 port = 0;
        if (!ToInteger(portText, port))
            throw EConvertError("'" + portText + "' is not a valid integer value");
        // A port is 16 bits on the wire; a larger number would silently reach another port.
        if (port < 0 || port > 65535)
            throw ERangeError("Port " + portText + " out of range");
        t.Port = int(port);
        hostPart.truncate(portColon);
    }

    if (!hostPart.isEmpty())
        t.Host = hostPart;
    if (t.RequestPath.isEmpty()) {
        t.RequestPath = "/";
        t.Url.append('/');
    }
}

QByteArray MethodWord(CmdType kind)
{
    static const char* const words[] = {"GET ",  "OPTIONS ", "HEAD ",   "POST ", "PUT ",    "PATCH ",
                                        "COPY ", "MOVE ",    "DELETE ", "LINK ", "UNLINK ", "TRACE "};
    return kind < cmdRaw ? QByteArray(words[kind]) : QByteArray();
}

bool SendsContentLength(CmdType kind)
{
    return kind == cmdPost || kind == cmdPut || kind == cmdPatch || kind == cmdLink || kind == cmdUnlink
        || kind == cmdTrace || kind == cmdRaw;
}

bool SendsRequestBody(CmdType kind)
{
    return kind == cmdPost || kind == cmdPut || kind == cmdPatch || kind == cmdTrace || kind == cmdRaw;
}

TExStringList BuildHeaderLines(const RequestShape& shape)
{
    // Everything below comes from addresses, the caller's settings or an earlier response.
    RequestShape s = shape;
    for (QByteArray* text : {&s.Url, &s.RequestPath, &s.Host, &s.TargetUri, &s.Info.LocalMailAddress,
                             &s.Info.LocalProgram, &s.Info.Cookie, &s.Info.Referer})
        *text = EncodeControlBytes(*text);
    TExStringList lines;
    const bool viaProxy = !s.Proxy.isEmpty();
    const QByteArray host = HostLineValue(s.Host, s.Port, s.Tls);
    if (s.Kind != cmdRaw)
        lines.append(MethodWord(s.Kind) + (viaProxy ? s.Url : s.RequestPath) + " HTTP/1.0");
    if (viaProxy) {
        lines.append("Proxy-Connection: Keep-Alive");
        lines.append("Host: " + host);
    }
    lines.SetHeader("Host", host);
    lines.append("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    lines.append("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (!s.Info.LocalProgram.isEmpty())
        lines.SetHeader("User-Agent", s.Info.LocalProgram);
    if (!s.Info.LocalMailAddress.isEmpty())
        lines.SetHeader("From", s.Info.LocalMailAddress);
    if (!s.Info.Cookie.isEmpty())
        lines.SetHeader("Cookie", s.Info.Cookie);
    if (!s.Info.Referer.isEmpty())
        lines.SetHeader("Referer", s.Info.Referer);
    if (!s.Info.UserId.isEmpty() && !s.Info.Password.isEmpty()) {
        TNMUUProcessor encoder;
        encoder.Method = uuMime;
        lines.SetHeader("Authorization", "Basic " + encoder.EncodeBytes(s.Info.UserId + ":" + s.Info.Password));
    }
    lines.append("Content-type: application/x-www-form-urlencoded");
    if (s.Kind == cmdCopy || s.Kind == cmdMove)
        lines.append("URI-header: " + s.TargetUri);
    else if (s.Kind == cmdLink || s.Kind == cmdUnlink)
        lines.append("Link: " + s.TargetUri);
    if (SendsContentLength(s.Kind))
        lines.append("Content-Length: " + QByteArray::number(s.ContentLength));
    lines.append(QByteArray());
    return lines;
}

QByteArray JoinHeaderBlock(const TExStringList& lines)
{
    QByteArray block;
    for (const QByteArray& line : lines)
        block += line + "\r\n";
    return block;
}

int16_t StatusCode(const QByteArray& statusLine)
{
    const qsizetype space = statusLine.indexOf(' ');
    if (space < 0)
        return 0;
    const qsizetype next = statusLine.indexOf(' ', space + 1);
    const QByteArray field = next < 0 ? statusLine.mid(space + 1) : statusLine.mid(space + 1, next - space - 1);
    qint64 code = 0;
    if (!ToInteger(field, code) || code < INT16_MIN || code > INT16_MAX)
        return 0;
    return int16_t(code);
}

int WellFormedStatusCode(const QByteArray& statusLine)
{
    const QByteArray line = statusLine.endsWith("\r\n") ? statusLine.chopped(2)
        : statusLine.endsWith('\n')                     ? statusLine.chopped(1)
                                                        : statusLine;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!line.startsWith("HTTP/"))
        return -1;
    qsizetype at = 5;
    const auto digits = [&] {
        const qsizetype from = at;
        while (at < line.size() && isDigit(line[at]))
            ++at;
        return at > from;
    };
    if (!digits() || at >= line.size() || line[at] != '.')
        return -1;
    ++at;
    if (!digits() || at >= line.size() || line[at] != ' ')
        return -1;
    ++at;
    if (line.size() - at < 3 || !isDigit(line[at]) || !isDigit(line[at + 1]) || !isDigit(line[at + 2]))
        return -1;
    const int code = (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
    at += 3;
    return code >= 100 && code <= 599 && (at == line.size() || line[at] == ' ') ? code : -1;
}

HeaderLineKind ClassifyHeaderLine(const QByteArray& line)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return HeaderLineKind::Other;
    const QByteArray word = line.left(space).toUpper();
    if (word == "SET-COOKIE:")
        return HeaderLineKind::SetCookie;
    if (word == "LOCATION:")
        return HeaderLineKind::Location;
    if (word == "CONTENT-LENGTH:")
        return HeaderLineKind::ContentLength;
    return HeaderLineKind::Other;
}

QByteArray HeaderLineValue(const QByteArray& line, HeaderLineKind kind)
{
    const int skip = kind == HeaderLineKind::SetCookie ? 12 : kind == HeaderLineKind::Location ? 10 : 0;
    QByteArray value = line.mid(skip);
    const auto end = std::find_if(value.cbegin(), value.cend(), [](char c) { return c == '\r' || c == '\n'; });
    value.truncate(end - value.cbegin());
    return value.left(MaxHeaderValueLength);
}

qint64 ContentLengthValue(const QByteArray& line)
{
    const QByteArray upper = line.toUpper();
    const qsizetype p = upper.indexOf("ENGTH:");
    if (p < 0)
        return 0;
    const QByteArray rest = upper.mid(p + 7);
    qsizetype i = 0;
    while (i < rest.size() && (rest.at(i) < '0' || rest.at(i) > '9'))
        ++i;
    // A sign before the digits makes it a negative length, which announces nothing.
    if (i == rest.size() || rest.left(i).contains('-'))
        return 0;
    qint64 value = 0;
    for (; i < rest.size() && rest.at(i) >= '0' && rest.at(i) <= '9'; ++i) {
        const int digit = rest.at(i) - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return 0;
        value = value * 10 + digit;
    }
    return value;
}

bool BodyIsChecked(int16_t statusCode, bool head)
{
    return !head && statusCode >= 200 && statusCode <= 299 && statusCode != 204;
}

QByteArray CutBodyReason(qint64 received, qint64 announced, const QByteArray& brokenEnd)
{
    if (announced > 0) {
        if (received >= announced)
            return {};
        return "Connection closed after " + GroupedNumber(received) + " of " + GroupedNumber(announced) + " bytes";
    }
    if (brokenEnd.isEmpty())
        return {};
    return brokenEnd + " after " + GroupedNumber(received) + " bytes";
}

QByteArray GroupedNumber(qint64 value)
{
    const QByteArray digits = QByteArray::number(value < 0 ? -value : value);
    QByteArray grouped;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits.at(i);
    }
    return value < 0 ? '-' + grouped : grouped;
}

bool IsHeaderBlockEnd(const QByteArray& line) { return line.isEmpty() || line == "\r\n" || line == "\n"; }

QByteArray HostLineValue(const QByteArray& host, int port, bool tls)
{
    // A server that hosts several sites tells them apart by this line, port included.
    if (host.isEmpty() || port == 0 || port == (tls ? 443 : 80))
        return host;
    return host + ':' + QByteArray::number(port);
}

QByteArray RedirectUrl(const QByteArray& url, const QByteArray& host, int port, bool tls)
{
    const bool name = !url.contains('/');
    const bool path = tls && url.startsWith('/') && !url.startsWith("//");
    if (!name && !path)
        return url;
    // Relative to the server that answered: its scheme, host and port.
    const QByteArray origin = (tls ? "https://" : "http://") + HostLineValue(host, port, tls);
    return name ? origin + "/" + url : origin + url;
}
