#pragma once
// The two list files' record formats ("Kelvorn.dir" and "Kelvorn.fil") and the pure text rules
// of the list commands. No widgets here: tests call these directly.
#include <QByteArray>
#include <QString>

// Record layout. Texts are length-prefixed: byte 0 holds the length, the bytes after the text
// up to the field's end hold ".", so a field of N+1 bytes carries at most N characters.
inline constexpr int DocRecordSize = 259;
inline constexpr int FileRecordSize = 316;
inline constexpr int CaptionOffset = 0;
inline constexpr int CaptionFieldSize = 256;
inline constexpr int TickOffset = 256;
inline constexpr int ImageIndexOffset = 257;  // signed 16-bit, little-endian
inline constexpr int FileNameOffset = 259;
inline constexpr int FileNameFieldSize = 41;
inline constexpr int SizeOffset = 300;
inline constexpr int SizeFieldSize = 16;
inline constexpr char RecordFill = '.';

inline const char DocListFileName[] = "Kelvorn.dir";
inline const char FileListFileName[] = "Kelvorn.fil";

// One list item as the files keep it. FileName and Size belong to file records only.
struct TListRecord {
    QByteArray Caption;
    bool Ticked = false;
    int ImageIndex = -1;
    QByteArray FileName;
    QByteArray Size;
};

// Writes `text` (cut to fieldSize - 1 characters) as a length-prefixed field of fieldSize bytes.
void PutTextField(char* field, int fieldSize, const QByteArray& text);
// Reads a length-prefixed field. A length byte past the field's capacity (a file written
// elsewhere or damaged) is taken as the capacity, so nothing outside the field is ever read.
QByteArray GetTextField(const char* field, int fieldSize);

// Fill exactly DocRecordSize / FileRecordSize bytes at `record`.
void PutDocRecord(char* record, const TListRecord& item);
void PutFileRecord(char* record, const TListRecord& item);
// Read exactly DocRecordSize / FileRecordSize bytes at `record`. Any tick byte other than 0
// reads as ticked; the image index is sign-extended from its 16 bits.
TListRecord GetDocRecord(const char* record);
TListRecord GetFileRecord(const char* record);

// Convenience forms returning the record's bytes.
QByteArray DocRecordBytes(const TListRecord& item);
QByteArray FileRecordBytes(const TListRecord& item);

// Message texts of the save and load confirmations; `directory` ends with the separator.
QString ListSavedText(int docCount, int fileCount, const QString& directory);
QString ListLoadedText(int docCount, int fileCount, const QString& directory);
// Count message of the select commands and the keyword dialog.
QString LinesSelectedText(int count);
// The confirmation question of "Delete all lines refering to marked Url".
QString DeleteLinesQuestion(const QByteArray& prefix);

// The host prefix of a caption: the text before the first "/" that follows the first "//"
// (searching from the second character when there is no "//"); the whole caption when no such
// "/" exists. Callers upper-case the caption first where the command is case-insensitive.
QByteArray HostPrefix(const QByteArray& caption);
// Select rule: case-insensitive, anywhere in the caption. `upperNeedle` is already upper-cased.
bool ContainsUpper(const QByteArray& caption, const QByteArray& upperNeedle);
// Delete rule: case-sensitive, at the caption's start only.
bool StartsWithPrefix(const QByteArray& caption, const QByteArray& prefix);

// The longest text handed to the shell when a document's address is opened.
inline constexpr int ShellOpenMaxLength = 200;
QByteArray ShellOpenText(const QByteArray& caption);
