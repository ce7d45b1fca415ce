#pragma once
// What kelvorn-get writes: listings and results on standard output (plain lines, or one JSON
// object per line), errors on standard error, and on a terminal a live line per running
// download that the finished files scroll above.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdio>

class TTransferQueue;

class TCliOutput {
public:
    TCliOutput(bool json, bool terminal);

    bool Json() const { return FJson; }
    // One JSON object as a line of standard output.
    void Object(const QJsonObject& object);
    // A plain line of standard output.
    void Line(const QString& text);
    // "kelvorn-get: TEXT" on standard error.
    void Error(const QString& text);
    // Redraws the running downloads' lines (a terminal only).
    void ShowSlots(const TTransferQueue& queue);
    // Wipes the running downloads' lines so that a finished file's line goes above them.
    void ClearSlots();

private:
    void Write(std::FILE* stream, const QByteArray& bytes);

    bool FJson;
    bool FTerminal;
    int FShownLines = 0;
};

// "1.5 MB", "300 kB", "999 B".
QString ByteText(qint64 bytes);
