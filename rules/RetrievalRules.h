#pragma once
// Small text rules of document retrieval, kept apart from the window so tests can call them.
#include <QByteArray>
#include <QString>

// The directory of a document address: everything up to and including its last "/"
// ("http://h" gives "http://"); empty when there is no "/".
QByteArray DocumentDirectory(const QByteArray& address);

// The directory against which Parse links resolves a document's relative links: the address
// with its ASCII letters lower-cased, cut after its last "/". An address ending in "/" names a
// directory and keeps it whole.
QByteArray ParseBaseDirectory(const QByteArray& address);

// "Status: Parsing link 3 of 12".
QString ParsingLinkStatus(int number, int count);
