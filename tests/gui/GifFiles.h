#pragma once
// GIF files built by hand for tests: Qt reads GIF but writes none.
#include <QByteArray>

// A GIF of the given size whose picture data holds one pixel; a reader fills the rest with
// the background.
inline QByteArray GifOf(int width, int height)
{
    QByteArray gif("GIF89a");
    const auto le16 = [&gif](int v) {
        gif.append(char(v & 0xff));
        gif.append(char((v >> 8) & 0xff));
    };
    le16(width);
    le16(height);
    gif.append(QByteArray("\x80\x00\x00\xff\xff\xff\x00\x00\x00", 9));  // two-colour table
    gif.append(QByteArray("!\xf9\x04\x01\x00\x00\x00\x00", 8));
    gif.append(',');
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    gif.append(QByteArray("\x00\x02\x02\x44\x01\x00;", 7));
    return gif;
}
