#include "http/TNMUUProcessor.h"

#include <QIODevice>

#include "http/SockExceptions.h"

namespace {
// Data bytes per uuencoded line, the classic width.
constexpr int UULineBytes = 45;

char UUChar(int sixBits) { return sixBits == 0 ? '`' : char(32 + sixBits); }

int UUValue(char c)
{
    if (c == '`')
        return 0;
    if (c < 32 || c > 95)
        throw EConvertError(QByteArray("Invalid uuencoded character '") + c + "'");
    return (c - 32) & 0x3f;
}
}  // namespace

QByteArray MimeEncode(const QByteArray& data) { return data.toBase64(); }

QByteArray MimeDecode(const QByteArray& text)
{
    auto result = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        throw EConvertError("Invalid Base64 text");
    return *result;
}

QByteArray UUEncode(const QByteArray& data)
{
    QByteArray out;
    for (qsizetype start = 0; start < data.size(); start += UULineBytes) {
        const qsizetype n = qMin<qsizetype>(UULineBytes, data.size() - start);
        out.append(UUChar(int(n)));
        for (qsizetype i = 0; i < n; i += 3) {
            const auto byteAt = [&](qsizetype k) { return k < n ? uint8_t(data.at(start + k)) : uint8_t(0); };
            const uint32_t v = (uint32_t(byteAt(i)) << 16) | (uint32_t(byteAt(i + 1)) << 8) | byteAt(i + 2);
            out.append(UUChar((v >> 18) & 0x3f));
            out.append(UUChar((v >> 12) & 0x3f));
            out.append(UUChar((v >> 6) & 0x3f));
            out.append(UUChar(v & 0x3f));
        }
        out.append("\r\n");
    }
    out.append("`\r\n");
    return out;
}

QByteArray UUDecode(const QByteArray& text)
{
    QByteArray out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const int n = UUValue(line.at(0));
        if (n == 0)
            break;  // the closing line
        const qsizetype needed = 1 + (n + 2) / 3 * 4;
        if (line.size() < needed)
            throw EConvertError("Uuencoded line too short");
        for (int i = 0, pos = 1; i < n; i += 3, pos += 4) {
            const uint32_t v = (uint32_t(UUValue(line.at(pos))) << 18) | (uint32_t(UUValue(line.at(pos + 1))) << 12)
                | (uint32_t(UUValue(line.at(pos + 2))) << 6) | uint32_t(UUValue(line.at(pos + 3)));
            const char bytes[3] = {char(v >> 16), char(v >> 8), char(v)};
            out.append(bytes, qMin(3, n - i));
        }
    }
    return out;
}

QByteArray TNMUUProcessor::EncodeBytes(const QByteArray& data)
{
    if (OnBeginEncode)
        OnBeginEncode(this);
    QByteArray result = Method == uuCode ? UUEncode(data) : MimeEncode(data);
    if (OnEndEncode)
        OnEndEncode(this);
    return result;
}

QByteArray TNMUUProcessor::DecodeBytes(const QByteArray& text)
{
    if (OnBeginDecode)
        OnBeginDecode(this);
    QByteArray result = Method == uuCode ? UUDecode(text) : MimeDecode(text);
    if (OnEndDecode)
        OnEndDecode(this);
    return result;
}

void TNMUUProcessor::Encode()
{
    if (!InputStream || !OutputStream)
        throw EConvertError("Encoding needs an input and an output stream");
    OutputStream->write(EncodeBytes(InputStream->readAll()));
}

void TNMUUProcessor::Decode()
{
    if (!InputStream || !OutputStream)
        throw EConvertError("Decoding needs an input and an output stream");
    OutputStream->write(DecodeBytes(InputStream->readAll()));
}
