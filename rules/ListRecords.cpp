#include "rules/ListRecords.h"

#include <algorithm>
#include <cstring>

void PutTextField(char* field, int fieldSize, const QByteArray& text)
{
    const int length = std::min<qsizetype>(text.size(), fieldSize - 1);
    field[0] = char(quint8(length));
    std::memcpy(field + 1, text.constData(), size_t(length));
    std::memset(field + 1 + length, RecordFill, size_t(fieldSize - 1 - length));
}

QByteArray GetTextField(const char* field, int fieldSize)
{
    const int length = std::min(int(quint8(field[0])), fieldSize - 1);
    return QByteArray(field + 1, length);
}

namespace {
void PutCommon(char* record, const TListRecord& item)
{
    PutTextField(record + CaptionOffset, CaptionFieldSize, item.Caption);
    record[TickOffset] = item.Ticked ? 1 : 0;
    // The list holds a full integer; the record keeps its low 16 bits.
    const quint16 image = quint16(item.ImageIndex & 0xFFFF);
    record[ImageIndexOffset] = char(image & 0xFF);
    record[ImageIndexOffset + 1] = char(image >> 8);
}

TListRecord GetCommon(const char* record)
{
    TListRecord item;
    item.Caption = GetTextField(record + CaptionOffset, CaptionFieldSize);
    item.Ticked = record[TickOffset] != 0;
    const quint16 image = quint16(quint8(record[ImageIndexOffset]) | (quint8(record[ImageIndexOffset + 1]) << 8));
    item.ImageIndex = qint16(image);
    return item;
}
}  // namespace

void PutDocRecord(char* record, const TListRecord& item) { PutCommon(record, item); }

void PutFileRecord(char* record, const TListRecord& item)
{
    PutCommon(record, item);
    PutTextField(record + FileNameOffset, FileNameFieldSize, item.FileName);
    PutTextField(record + SizeOffset, SizeFieldSize, item.Size);
}

TListRecord GetDocRecord(const char* record) { return GetCommon(record); }

TListRecord GetFileRecord(const char* record)
{
    TListRecord item = GetCommon(record);
    item.FileName = GetTextField(record + FileNameOffset, FileNameFieldSize);
    item.Size = GetTextField(record + SizeOffset, SizeFieldSize);
    return item;
}

QByteArray DocRecordBytes(const TListRecord& item)
{
    QByteArray bytes(DocRecordSize, '\0');
    PutDocRecord(bytes.data(), item);
    return bytes;
}

QByteArray FileRecordBytes(const TListRecord& item)
{
    QByteArray bytes(FileRecordSize, '\0');
    PutFileRecord(bytes.data(), item);
    return bytes;
}

namespace {
QString CountsText(int docCount, int fileCount, const char* verb, const QString& directory)
{
    return QString::number(docCount) + QLatin1String(" links, and ") + QString::number(fileCount)
        + QLatin1String(" files was sucessfully ") + QLatin1String(verb) + QLatin1String("\r\r") + directory;
}
}  // namespace

QString ListSavedText(int docCount, int fileCount, const QString& directory)
{
    return CountsText(docCount, fileCount, "saved to: ", directory);
}

QString ListLoadedText(int docCount, int fileCount, const QString& directory)
{
    return CountsText(docCount, fileCount, "loaded from: ", directory);
}

QString LinesSelectedText(int count) { return QString::number(count) + QLatin1String(" line(s) where selected."); }

QString DeleteLinesQuestion(const QByteArray& prefix)
{
    return QLatin1String("Delete all lines refering to : ") + QString::fromLatin1(prefix);
}

QByteArray HostPrefix(const QByteArray& caption)
{
    // Without "//" indexOf gives -1, and the search starts at the second character: the same
    // start, index + 2, serves both cases.
    const qsizetype slashes = caption.indexOf("//");
    const qsizetype slash = caption.indexOf('/', slashes + 2);
    return slash < 0 ? caption : caption.left(slash);
}

bool ContainsUpper(const QByteArray& caption, const QByteArray& upperNeedle)
{
    return caption.toUpper().contains(upperNeedle);
}

bool StartsWithPrefix(const QByteArray& caption, const QByteArray& prefix) { return caption.startsWith(prefix); }

QByteArray ShellOpenText(const QByteArray& caption) { return caption.left(ShellOpenMaxLength); }
