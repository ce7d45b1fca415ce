#pragma once
// The HTTP client's text rules: address parsing, the request header block and the reading of
// the status and header lines. Free functions so that they can be checked without a socket.
#include <QByteArray>
#include <cstdint>

#include "http/TExStringList.h"
#include "http/HttpTypes.h"

// The path of a direct request line is cut to this many characters.
constexpr int MaxRequestPathLength = 256;
// Set-Cookie and Location values are kept to this many characters.
constexpr int MaxHeaderValueLength = 256;
// A peer can make a header line or block as long as it likes; past these sizes the response is
// refused. Real servers stay far below 8 KiB per line and 64 KiB per block.
constexpr qsizetype MaxHeaderLineLength = 16 * 1024;
constexpr qsizetype MaxHeaderBlockSize = 256 * 1024;
// A request whose passes keep asking to be repeated (codes 299 to 399) ends after this many.
constexpr int MaxRepeatedPasses = 20;

// The parts of an address that a pass works with; ParseUrlRule updates them in place.
struct UrlTarget {
    QByteArray Url;
    QByteArray Host;
    int Port = 0;
    QByteArray RequestPath;
    bool Tls = false;  // the scheme is https
};

// Splits Url into Host, Port and RequestPath (a Url that is only a path keeps Host; an address
// without a path gets "/" appended). A scheme sets Tls (https, default port 443) or clears it;
// an address without one keeps it. Raises Exception "Empty URL", EConvertError for a port that
// is not a number, ERangeError for one beyond 65535 and ESockError "Invalid host" for a host
// that holds a control character (before any connection is made).
void ParseUrlRule(UrlTarget& target);

// True for the bytes that must never reach a request as themselves: those below 0x20 (CR, LF,
// NUL, ...) and DEL.
bool IsControlByte(char c);
// The text with each control byte written as "%" and two hex digits, so that no address or value
// taken from a page, a list file or a server can end a request line or add one.
QByteArray EncodeControlBytes(const QByteArray& text);

// The method word ("GET ", ...) of a command kind; empty for cmdRaw.
QByteArray MethodWord(CmdType kind);
// Kinds whose request carries a "Content-Length: " line, and those that send the data as body.
bool SendsContentLength(CmdType kind);
bool SendsRequestBody(CmdType kind);

// What the request header block is built from.
struct RequestShape {
    CmdType Kind = cmdGet;
    QByteArray Url;
    QByteArray RequestPath;
    QByteArray Host;
    QByteArray Proxy;
    QByteArray TargetUri;
    THeaderInfo Info;
    qint64 ContentLength = 0;  // used by the kinds of SendsContentLength
    int Port = 0;              // shown in the Host line when it is not the scheme's default; 0: never
    bool Tls = false;          // the scheme is https (default port 443, else 80)
};

// The Host line's value: the host, with ":port" when the port is given and is not the default
// of the scheme (443 for https, 80 otherwise). An empty host stays empty.
QByteArray HostLineValue(const QByteArray& host, int port, bool tls);

// The request lines, ending with the empty line. Control bytes in the address and in the values
// are percent-encoded (EncodeControlBytes): every line ends only where the client ends it.
TExStringList BuildHeaderLines(const RequestShape& shape);
// Every line followed by CR LF.
QByteArray JoinHeaderBlock(const TExStringList& lines);

// The code in the second space-separated field of a status line (line end included in the
// field); 0 when that field is not a decimal number in the signed 16-bit range.
int16_t StatusCode(const QByteArray& statusLine);

// A status line as HTTP/1 clients accept it: "HTTP/" digits "." digits, a space, a three-digit
// code from 100 to 599, then the line's end or a space and the reason phrase. Anything else (a
// bare "HTTP/1.0", "ICY 200 OK", a code of 0 or below, garbage) is no answer to trust.
// Its code, or -1 for any other line.
int WellFormedStatusCode(const QByteArray& statusLine);
inline bool IsWellFormedStatusLine(const QByteArray& statusLine) { return WellFormedStatusCode(statusLine) >= 0; }
// 1xx: an interim answer whose header block a client reads past to the final answer.
inline bool IsInterimStatus(int code) { return code >= 100 && code <= 199; }
// Only a 2xx answer is a success; 299 has always asked for the pass again, and still does.
inline bool IsSuccessStatus(int code) { return code >= 200 && code < 299; }
// The failure text of an answer without a well-formed status line.
inline constexpr char BadStatusLine[] = "Bad status line";

enum class HeaderLineKind { Other, SetCookie, Location, ContentLength };
// A name counts only when written so up to the colon (any letter case) and followed by a space.
HeaderLineKind ClassifyHeaderLine(const QByteArray& line);
// The value after "Name: " of a Set-Cookie or Location line, up to the first CR or LF (a bare CR
// inside a line ends the value too), at most MaxHeaderValueLength characters.
QByteArray HeaderLineValue(const QByteArray& line, HeaderLineKind kind);
// The announced length of a Content-Length line; 0 when there is none, when it is negative and
// when it does not fit a signed 64-bit number (files beyond 2 GiB are ordinary).
qint64 ContentLengthValue(const QByteArray& line);
// Whether a response carries a body whose end can be checked: not the answer to HEAD, and a
// success other than 204 (No Content). Redirects and error replies are not kept, so their bodies
// are not checked.
bool BodyIsChecked(int16_t statusCode, bool head);
// Why a body that has ended is not whole, empty when it is: fewer bytes than the announced length
// (`announced` > 0), however the connection ended ("Connection closed after 51,200 of 100,000
// bytes"), or, without a length, a connection whose end was broken (`brokenEnd` says how).
QByteArray CutBodyReason(qint64 received, qint64 announced, const QByteArray& brokenEnd);
// A count with a comma between each group of three digits ("1,048,576").
QByteArray GroupedNumber(qint64 value);

// True for the empty line that ends a header block ("\r\n", "\n" or nothing at all).
bool IsHeaderBlockEnd(const QByteArray& line);

// The address a redirect goes to. A Location without any "/" is a name on the current server
// (scheme, host, and the port when it is not the scheme's default); over https a path ("/...")
// is made absolute too, so that it keeps the scheme whatever it holds. Other addresses (an
// absolute one may change the scheme either way) are returned unchanged.
QByteArray RedirectUrl(const QByteArray& url, const QByteArray& host, int port, bool tls = false);
