#pragma once
// The base of the program's own, planned failures (socket errors, aborts, conversion errors).
// Guards treat these as expected; anything else that reaches a guard is a fault and is logged.
#include <QByteArray>
#include <exception>
#include <utility>

// The general exception: a message only.
class Exception : public std::exception {
public:
    explicit Exception(QByteArray message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.constData(); }
    QByteArray Message;
};
