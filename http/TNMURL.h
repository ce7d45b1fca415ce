#pragma once
// URL decoding of form data: "+" is a space, "%hh" the byte of that hexadecimal code.
#include <QByteArray>
#include <functional>

class TNMURL {
public:
    QByteArray InputString;
    // Called when decoding fails: (sender, operation "Error during decode", message).
    std::function<void(TNMURL* sender, const QByteArray& operation, const QByteArray& errMsg)> OnError;

    // The decoded InputString. When a "%" is not followed by two hexadecimal digits the
    // decoding fails: OnError is called (when set) and InputString is returned unchanged.
    QByteArray Decode();
};

// Pure rule behind TNMURL::Decode: true and the decoded bytes, or false and a message saying
// what is wrong.
bool UrlDecode(const QByteArray& input, QByteArray& output, QByteArray& errMsg);
