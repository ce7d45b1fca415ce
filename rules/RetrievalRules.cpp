#include "rules/RetrievalRules.h"

QByteArray DocumentDirectory(const QByteArray& address) { return address.left(address.lastIndexOf('/') + 1); }

QByteArray ParseBaseDirectory(const QByteArray& address)
{
    // Only ASCII letters change case: captions are 8-bit text whose upper half stays as it is.
    QByteArray lower = address;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return DocumentDirectory(lower);
}

QString ParsingLinkStatus(int number, int count)
{
    return QStringLiteral("Status: Parsing link %1 of %2").arg(number).arg(count);
}
