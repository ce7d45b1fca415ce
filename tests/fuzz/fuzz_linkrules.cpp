// The link scanner on arbitrary page text: every marker lies inside the text, in the scan's
// order (links before pictures, each kind left to right), and resolving into a reused buffer
// gives the same link as resolving afresh.
#include <QByteArray>

#include "FuzzCheck.h"
#include "rules/LinkRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QByteArray base = "http://127.0.0.1/dir/sub/";
    TMarkerWalk walk(text);
    TMarker marker;
    TLinkBuffer buffer;
    bool pictures = false;
    qsizetype last = -1;
    while (walk.Next(marker)) {
        FUZZ_CHECK(marker.start >= 0 && marker.start <= marker.end && marker.end <= text.size());
        FUZZ_CHECK(marker.end == text.size() || text.at(marker.end) == '"');
        if (marker.kind == TMarkerKind::Picture && !pictures) {
            pictures = true;
            last = -1;
        }
        FUZZ_CHECK(marker.kind == (pictures ? TMarkerKind::Picture : TMarkerKind::Link));
        FUZZ_CHECK(marker.start > last);
        last = marker.start;

        const QByteArray value = MarkerValue(text, marker);
        FUZZ_CHECK(!value.contains(' '));
        const QByteArray& link = MarkerLink(text, marker, base, true, buffer);
        FUZZ_CHECK(link == ResolveLink(base, value));
        ClassifyLink(link);
        ExistsWithoutSearch(link);
    }
    return 0;
}
