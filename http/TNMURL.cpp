#include "http/TNMURL.h"

namespace {
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}  // namespace

bool UrlDecode(const QByteArray& input, QByteArray& output, QByteArray& errMsg)
{
    output.clear();
    output.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        const char c = input.at(i);
        if (c == '+') {
            output.append(' ');
        } else if (c == '%') {
            const int high = i + 1 < input.size() ? HexValue(input.at(i + 1)) : -1;
            const int low = i + 2 < input.size() ? HexValue(input.at(i + 2)) : -1;
            if (high < 0 || low < 0) {
                errMsg = "'" + input.mid(i, 3) + "' is not a valid escape sequence";
                output.clear();
                return false;
            }
            output.append(char(high * 16 + low));
            i += 2;
        } else {
            output.append(c);
        }
    }
    errMsg.clear();
    return true;
}

QByteArray TNMURL::Decode()
{
    QByteArray output, errMsg;
    if (UrlDecode(InputString, output, errMsg))
        return output;
    if (OnError)
        OnError(this, "Error during decode", errMsg);
    return InputString;
}
