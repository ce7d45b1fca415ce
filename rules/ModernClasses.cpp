#include "rules/ModernClasses.h"

#include "rules/AddressParts.h"

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
    const TAddressParts parts = AddressParts(address);
    const QByteArray lowerPath = Lower(parts.path);
    if (const qsizetype at = lowerPath.indexOf("/wiki/"); at >= 0 && NamesFilePage(lowerPath.mid(at + 6)))
        return true;
    for (const QByteArray& pair : Lower(parts.query).split('&'))
        if (pair.startsWith("title=") && NamesFilePage(pair.mid(6)))
            return true;
    return false;
}

bool IsTrackingAddress(QByteArrayView address)
{
    const TAddressParts parts = AddressParts(address);
    const QByteArray host = Lower(parts.host);
    for (const char* known : TrackingHosts) {
        const QByteArray suffix(known);
        if (host == suffix || host.endsWith('.' + suffix))
            return true;
    }
    const QByteArray lowerPath = Lower(parts.path);
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
