#pragma once
// The Referer a modern request carries, as browsers send it by default: the whole page address
// to the page's own origin, only the origin to other sites, and nothing from an https page to a
// plain http address.
#include <QByteArray>
#include <QByteArrayView>

// `page`: where the link was found (empty: nothing is sent); `target`: the address requested.
QByteArray ReferrerFor(QByteArrayView page, QByteArrayView target);
