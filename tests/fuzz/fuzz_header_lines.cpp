// The response's status and header lines as a hostile server may send them: no crash, and the
// values the client takes over (Location, Set-Cookie) never carry a line break into a later
// request.
#include <QByteArray>

#include "FuzzCheck.h"
#include "http/HttpRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    // Lines as the socket hands them out: each up to and including its LF.
    qsizetype at = 0;
    bool first = true;
    while (at < input.size()) {
        qsizetype end = input.indexOf('\n', at);
        end = end < 0 ? input.size() : end + 1;
        const QByteArray line = input.mid(at, end - at);
        at = end;
        if (first) {
            StatusCode(line);
            first = false;
            continue;
        }
        if (IsHeaderBlockEnd(line))
            break;
        const HeaderLineKind kind = ClassifyHeaderLine(line);
        if (kind == HeaderLineKind::Location || kind == HeaderLineKind::SetCookie) {
            const QByteArray value = HeaderLineValue(line, kind);
            FUZZ_CHECK(!value.contains('\r') && !value.contains('\n'));
            FUZZ_CHECK(value.size() <= MaxHeaderValueLength);
            if (kind == HeaderLineKind::Location)
                RedirectUrl(value, "127.0.0.1", 8080);
        } else if (kind == HeaderLineKind::ContentLength) {
            FUZZ_CHECK(ContentLengthValue(line) >= 0);
        }
    }
    return 0;
}
