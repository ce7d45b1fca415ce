// An address from a page, a list file or the user, parsed and built into a request: either a
// clean refusal, or a header block whose only control characters are the CR LF that end its
// lines, so no part of the address can add a line of its own.
#include <QByteArray>

#include "FuzzCheck.h"
#include "http/HttpRules.h"
#include "platform/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the method and whether a proxy is used; the rest is the address.
    const uint8_t choice = data[0];
    UrlTarget target;
    target.Url = QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    try {
        ParseUrlRule(target);
    } catch (const Exception&) {
        return 0;  // a refused address is a clean outcome
    }
    FUZZ_CHECK(target.Port >= 0 && target.Port <= 65535);
    FUZZ_CHECK(target.RequestPath.startsWith('/'));

    RequestShape shape;
    shape.Kind = CmdType(choice % (cmdRaw + 1));
    shape.Url = target.Url;
    shape.RequestPath = target.RequestPath;
    shape.Host = target.Host;
    if (choice & 0x80)
        shape.Proxy = "127.0.0.1";
    shape.Info.Referer = target.Url;
    const TExStringList lines = BuildHeaderLines(shape);
    const QByteArray block = JoinHeaderBlock(lines);
    int lineEnds = 0;
    for (qsizetype i = 0; i < block.size(); ++i) {
        const uchar c = uchar(block.at(i));
        if (c == '\r') {
            FUZZ_CHECK(i + 1 < block.size() && block.at(i + 1) == '\n');
            ++lineEnds;
            ++i;
        } else {
            FUZZ_CHECK(c >= 0x20 && c != 0x7F);
        }
    }
    FUZZ_CHECK(lineEnds == lines.size());
    return 0;
}
