#include "core/DocumentScan.h"

void ScanDocument(const QByteArray& base, const QByteArray& text, const QByteArray& address,
                  const TScanSettings& settings, const std::function<void(const TScannedLink&)>& sink)
{
    if (settings.Modern) {
        QList<TPictureFacts> facts;
        const QList<TModernLink> links =
            ModernLinks(text, address.isEmpty() ? base : address, settings.Control, &facts);
        for (qsizetype i = 0; i < links.size(); ++i) {
            const TModernLink& link = links[i];
            sink({link.address, link.file ? TLinkClass::File : TLinkClass::Document, link.picture,
                  link.picture ? &facts[i] : nullptr});
        }
        return;
    }
    // A text of nothing but spaces has no markers: the walk ends at once.
    TMarkerWalk walk(text);
    TMarker marker;
    TLinkBuffer buffer;
    while (walk.Next(marker)) {
        const bool takePictures =
            marker.kind == TMarkerKind::Picture && (!settings.TakePictures || settings.TakePictures());
        const QByteArray& link = MarkerLink(text, marker, base, takePictures, buffer);
        sink({link, ClassifyLink(link), false, nullptr});
    }
}
