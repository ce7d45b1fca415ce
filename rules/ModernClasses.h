#pragma once
// Addresses the modern pages scanner classes by what lies behind them rather than by their
// extension: a wiki's page about a file, and the invisible pictures that count visits.
#include <QByteArrayView>

// True for a wiki's description page of a file ("/wiki/File:Name.png", "/wiki/Image:...",
// "index.php?title=File:..."): an HTML page, not the file its title names.
bool IsWikiFilePage(QByteArrayView address);

// True for the address of a tracking pixel: a counting service's host, or a path such as "/tr",
// ".../pixel.gif" or ".../beacon".
bool IsTrackingAddress(QByteArrayView address);
