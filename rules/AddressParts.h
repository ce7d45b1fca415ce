#pragma once
// The parts of an address as the modern rules read them, without a copy.
#include <QByteArrayView>
#include <QList>

struct TAddressParts {
    QByteArrayView host;   // after "//" up to the port, path, query or fragment
    QByteArrayView path;   // from the first "/" after the host (the whole text without "//") to the query
    QByteArrayView query;  // after "?", up to the fragment
};
TAddressParts AddressParts(QByteArrayView address);

// A path's segments: "/a/b.jpg" gives "a" and "b.jpg", "/" one empty segment, "" none.
QList<QByteArrayView> PathSegments(QByteArrayView path);
