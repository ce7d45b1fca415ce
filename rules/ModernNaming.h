#pragma once
// Local names and request details of items found by the modern pages scanner, whose addresses
// often carry queries, escapes and no extension at all.
#include <QByteArray>
#include <QByteArrayView>

// The address's last path segment without query or fragment, percent-decoded, with characters
// that do not belong in a file name replaced by "_"; "index" when the path ends with "/".
QByteArray ModernFileName(QByteArrayView address);

// The usual extension (with its dot) for a Content-Type value, parameters and letter case
// ignored; empty for a type without one.
QByteArray ExtensionForContentType(QByteArrayView contentType);

// The name with the Content-Type's extension added when it has none of its own.
QByteArray NameWithTypeExtension(const QByteArray& name, QByteArrayView contentType);

// The request target as browsers send it: spaces, control characters and bytes above 127
// percent-encoded, everything else (escapes already present included) as it is.
QByteArray RequestTarget(QByteArrayView target);

// Whether a finished download is deleted. The classic rule deletes every file below
// MinimumFileSize; for modern items small pictures and icons are real files, so a small file goes
// only when the server answered with an error status or an HTML page. A failed download always goes.
bool DiscardDownload(qint64 size, bool failed, bool modern, int statusCode, QByteArrayView contentType);

// "Kelvorn/1.31": the User-Agent that modern requests carry.
QByteArray ModernUserAgent();
