// A list file written elsewhere or damaged: every record reads without touching bytes outside
// it, and what was read writes back into a record that reads the same again.
#include <QByteArray>

#include "FuzzCheck.h"
#include "rules/ListRecords.h"

namespace {
bool Same(const TListRecord& a, const TListRecord& b)
{
    return a.Caption == b.Caption && a.Ticked == b.Ticked && a.ImageIndex == b.ImageIndex && a.FileName == b.FileName
        && a.Size == b.Size;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Both files read from the same bytes, each in its own record size; a short tail is not read.
    const char* bytes = reinterpret_cast<const char*>(data);
    for (size_t at = 0; at + FileRecordSize <= size; at += FileRecordSize) {
        const TListRecord item = GetFileRecord(bytes + at);
        FUZZ_CHECK(item.Caption.size() < CaptionFieldSize && item.FileName.size() < FileNameFieldSize
                   && item.Size.size() < SizeFieldSize);
        FUZZ_CHECK(item.ImageIndex >= -32768 && item.ImageIndex <= 32767);
        const QByteArray again = FileRecordBytes(item);
        FUZZ_CHECK(again.size() == FileRecordSize);
        FUZZ_CHECK(Same(GetFileRecord(again.constData()), item));
    }
    for (size_t at = 0; at + DocRecordSize <= size; at += DocRecordSize) {
        const TListRecord item = GetDocRecord(bytes + at);
        FUZZ_CHECK(item.Caption.size() < CaptionFieldSize);
        const QByteArray again = DocRecordBytes(item);
        FUZZ_CHECK(again.size() == DocRecordSize);
        FUZZ_CHECK(Same(GetDocRecord(again.constData()), item));
    }
    return 0;
}
