#pragma once
// Encodes and decodes a stream: Base64 (uuMime, used for Basic credentials) or uuencode
// (uuCode). Reads all of InputStream and writes the result to OutputStream.
#include <QByteArray>
#include <functional>

class QIODevice;

enum UUMethods : uint8_t { uuMime = 0, uuCode = 1 };

class TNMUUProcessor {
public:
    UUMethods Method = uuMime;
    QIODevice* InputStream = nullptr;
    QIODevice* OutputStream = nullptr;

    std::function<void(TNMUUProcessor* sender)> OnBeginEncode;
    std::function<void(TNMUUProcessor* sender)> OnEndEncode;
    std::function<void(TNMUUProcessor* sender)> OnBeginDecode;
    std::function<void(TNMUUProcessor* sender)> OnEndDecode;

    // Both raise EConvertError when a stream is missing, and Decode when the input is not
    // valid text of the method.
    void Encode();
    void Decode();

    // The same transforms on bytes in memory, with the events.
    QByteArray EncodeBytes(const QByteArray& data);
    QByteArray DecodeBytes(const QByteArray& text);
};

// Pure rules. Base64 is one line without line breaks. uuencode writes lines of at most 45 data
// bytes (a length character, then four characters per three bytes, "`" for zero), each ending
// in CR LF, and a closing line "`". The decoders raise EConvertError on malformed input.
QByteArray MimeEncode(const QByteArray& data);
QByteArray MimeDecode(const QByteArray& text);
QByteArray UUEncode(const QByteArray& data);
QByteArray UUDecode(const QByteArray& text);
