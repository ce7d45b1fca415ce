#include "cli/TCliOutput.h"

#include <QJsonDocument>

#include "core/TTransferQueue.h"
#include "rules/FileNaming.h"

namespace {
// A running download's line is cut to this many characters, so it fits a narrow terminal.
constexpr int SlotLineWidth = 78;
}  // namespace

TCliOutput::TCliOutput(bool json, bool terminal) : FJson(json), FTerminal(terminal && !json) {}

void TCliOutput::Write(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void TCliOutput::Object(const QJsonObject& object)
{
    ClearSlots();
    Write(stdout, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void TCliOutput::Line(const QString& text)
{
    ClearSlots();
    Write(stdout, text.toUtf8() + '\n');
}

void TCliOutput::Error(const QString& text)
{
    ClearSlots();
    Write(stderr, "kelvorn-get: " + text.toUtf8() + '\n');
}

void TCliOutput::ClearSlots()
{
    if (FShownLines == 0)
        return;
    // Up over the shown lines, wiping each.
    QByteArray bytes;
    for (int i = 0; i < FShownLines; ++i)
        bytes += "\x1b[1A\x1b[2K";
    bytes += '\r';
    FShownLines = 0;
    Write(stderr, bytes);
}

void TCliOutput::ShowSlots(const TTransferQueue& queue)
{
    if (!FTerminal)
        return;
    QByteArray bytes;
    int lines = 0;
    for (int s = 0; s < TTransferQueue::SlotCount; ++s) {
        const TTransferSlot& slot = queue.Slot(s);
        if (!slot.Running)
            continue;
        QString progress = ByteText(slot.Received);
        if (slot.Total > 0)
            progress += QStringLiteral(" of %1 (%2%)").arg(ByteText(slot.Total)).arg(slot.Received * 100 / slot.Total);
        QString name = slot.Path.mid(slot.Path.lastIndexOf(QLatin1Char('/')) + 1);
        const int room = SlotLineWidth - int(progress.size()) - 4;
        if (name.size() > room)
            name = name.left(qMax(room - 3, 1)) + QLatin1String("...");
        bytes += QStringLiteral("  %1  %2\n").arg(name, progress).toUtf8();
        ++lines;
    }
    ClearSlots();
    FShownLines = lines;
    Write(stderr, bytes);
}

QString ByteText(qint64 bytes)
{
    if (bytes >= 1000 * 1000)
        return QString::number(double(bytes) / 1e6, 'f', 1) + QLatin1String(" MB");
    if (bytes >= 1000)
        return QString::number(double(bytes) / 1e3, 'f', 0) + QLatin1String(" kB");
    return QString::number(bytes) + QLatin1String(" B");
}
