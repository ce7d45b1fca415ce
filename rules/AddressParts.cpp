#include "rules/AddressParts.h"

TAddressParts AddressParts(QByteArrayView address)
{
    TAddressParts parts;
    if (const qsizetype hash = address.indexOf('#'); hash >= 0)
        address = address.first(hash);
    if (const qsizetype mark = address.indexOf('?'); mark >= 0) {
        parts.query = address.sliced(mark + 1);
        address = address.first(mark);
    }
    const qsizetype slashes = address.indexOf("//");
    if (slashes < 0) {
        parts.path = address;
        return parts;
    }
    const qsizetype hostStart = slashes + 2;
    const qsizetype pathStart = address.indexOf('/', hostStart);
    const QByteArrayView authority =
        address.sliced(hostStart, (pathStart < 0 ? address.size() : pathStart) - hostStart);
    const qsizetype colon = authority.indexOf(':');
    parts.host = colon < 0 ? authority : authority.first(colon);
    if (pathStart >= 0)
        parts.path = address.sliced(pathStart);
    return parts;
}

QList<QByteArrayView> PathSegments(QByteArrayView path)
{
    QList<QByteArrayView> segments;
    if (path.isEmpty())
        return segments;
    if (path.startsWith('/'))
        path = path.sliced(1);
    for (;;) {
        const qsizetype slash = path.indexOf('/');
        if (slash < 0)
            break;
        segments.append(path.first(slash));
        path = path.sliced(slash + 1);
    }
    segments.append(path);
    return segments;
}
