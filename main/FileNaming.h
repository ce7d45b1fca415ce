#pragma once
// Local file names of file items.
#include <QByteArray>

// The text after the address's last "/" (the whole text when it has none); nothing decoded.
QByteArray FilNavn(const QByteArray& address);
