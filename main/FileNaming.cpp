#include "main/FileNaming.h"

QByteArray FilNavn(const QByteArray& address)
{
    const int slash = address.lastIndexOf('/');
    return slash < 0 ? address : address.mid(slash + 1);
}
