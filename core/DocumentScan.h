#pragma once
// The scan of a fetched page: every link the classic text rules or the modern HTML5 scanner find,
// in the order the lists take them, with its class. The window's scanner and the command-line
// harvester both walk a page through this one function and sort the links into their lists.
#include <QByteArray>
#include <functional>

#include "rules/LinkRules.h"
#include "rules/ModernLinks.h"

struct TScannedLink {
    const QByteArray& Address;  // resolved; valid during the call only
    TLinkClass Class = TLinkClass::None;
    bool Picture = false;                  // modern: found as a picture, video or audio source
    const TPictureFacts* Facts = nullptr;  // modern pictures: what the page says of it
};

struct TScanControl;

struct TScanSettings {
    bool Modern = false;
    // The modern scan's Stop flag and the limit it reached (null: neither).
    TScanControl* Control = nullptr;
    // Asked at each picture marker of the classic rules: a change while a scan runs counts from
    // then on.
    std::function<bool()> TakePictures;
};

// Walks `text`, fetched from `address` (after redirects) with `base` its classic directory, and
// hands every link to `sink` in scan order: classic markers also when they give no link (class
// None), so a caller can pace itself per marker.
void ScanDocument(const QByteArray& base, const QByteArray& text, const QByteArray& address,
                  const TScanSettings& settings, const std::function<void(const TScannedLink&)>& sink);
