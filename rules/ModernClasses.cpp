#include "rules/ModernClasses.h"

#include <QByteArray>
#include <QList>

namespace {
// File namespaces of the wikis met most often, in their own languages.
const char* const WikiFileNamespaces[] = {"file",    "image",   "datei", "fichier",
                                          "archivo", "bestand", "plik",  "immagine"};

// Hosts that serve nothing but counting pixels.
const char* const TrackingHosts[] = {"scorecardresearch.com", "bat.bing.com",        "pixel.quantserve.com",
                                     "pixel.wp.com",          "px.ads.linkedin.com", "ct.pinterest.com"};

// Path segments (without extension) that name a counting pixel.
const char* const TrackingSegments[] = {"pixel", "beacon", "1x1", "tracking-pixel", "trackingpixel", "spacer-pixel"};

QByteArray Lower(QByteArrayView text) { return text.toByteArray().toLower(); }

QByteArrayView HostOf(QByteArrayView address)
{
    const qsizetype slashes = address.indexOf("//");
    if (slashes < 0)
        return {};
    const qsizetype begin = slashes + 2;
    qsizetype end = begin;
    while (end < address.size() && address[end] != '/' && address[end] != '?' && address[end] != '#'
           && address[end] != ':')
        ++end;
    return address.sliced(begin, end - begin);
}

// From the first "/" after the host up to the query; and the query after "?".
void SplitAddress(QByteArrayView address, QByteArrayView& path, QByteArrayView& query)
{
    const qsizetype slashes = address.indexOf("//");
    qsizetype start = slashes < 0 ? 0 : address.indexOf('/', slashes + 2);
    path = query = {};
    if (start < 0)
        return;
    qsizetype end = address.indexOf('#', start);
    if (end < 0)
        end = address.size();
    const qsizetype mark = address.first(end).indexOf('?', start);
    path = address.sliced(start, (mark < 0 ? end : mark) - start);
    if (mark >= 0)
        query = address.sliced(mark + 1, end - mark - 1);
}

bool NamesFilePage(const QByteArray& title)
{
    for (const char* space : WikiFileNamespaces) {
        const QByteArray prefix = QByteArray(space);
        if (title.startsWith(prefix + ':') || title.startsWith(prefix + "%3a"))
            return true;
    }
    return false;
}
}  // namespace

bool IsWikiFilePage(QByteArrayView address)
{
    QByteArrayView path, query;
    SplitAddress(address, path, query);
    const QByteArray lowerPath = Lower(path);
    if (const qsizetype at = lowerPath.indexOf("/wiki/"); at >= 0 && NamesFilePage(lowerPath.mid(at + 6)))
        return true;
    for (const QByteArray& pair : Lower(query).split('&'))
        if (pair.startsWith("title=") && NamesFilePage(pair.mid(6)))
            return true;
    return false;
}

bool IsTrackingAddress(QByteArrayView address)
{
    const QByteArray host = Lower(HostOf(address));
    for (const char* known : TrackingHosts) {
        const QByteArray suffix(known);
        if (host == suffix || host.endsWith('.' + suffix))
            return true;
    }
    QByteArrayView path, query;
    SplitAddress(address, path, query);
    const QByteArray lowerPath = Lower(path);
    // The pixel of a large social network: "/tr" with the visit in its query.
    if (lowerPath == "/tr" || lowerPath == "/tr/")
        return true;
    for (const QByteArray& segment : lowerPath.split('/')) {
        const qsizetype dot = segment.indexOf('.');
        const QByteArray stem = dot < 0 ? segment : segment.left(dot);
        for (const char* known : TrackingSegments)
            if (stem == known)
                return true;
    }
    return false;
}
