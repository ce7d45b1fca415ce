// The naming rules of modern items on arbitrary input. The input's lines are an address, a
// Content-Disposition value and a Content-Type; the rest stands for the file's first bytes.
// Every name made is plain (not empty, not "." or "..", no "/", NUL or control character),
// UTF-8, and fits 255 bytes with the part file's suffix and the rename rule's underscores; a
// Referer never carries a control character or a blank.
#include <QByteArray>

#include "FuzzCheck.h"
#include "rules/FileNaming.h"
#include "rules/ModernNaming.h"
#include "rules/ReferrerPolicy.h"

namespace {
void CheckName(const QByteArray& name, bool mayBeEmpty)
{
    if (name.isEmpty()) {
        FUZZ_CHECK(mayBeEmpty);
        return;
    }
    FUZZ_CHECK(IsPlainFileName(name));
    FUZZ_CHECK(name.isValidUtf8());
    for (char c : name)
        FUZZ_CHECK(uchar(c) >= 0x20 && uchar(c) != 0x7f);
    FUZZ_CHECK(name.size() + PartSuffixBytes + MaxUnderscores <= 255);
}

QByteArray NextLine(const QByteArray& input, qsizetype& at)
{
    const qsizetype end = input.indexOf('\n', at);
    const QByteArray line = input.mid(at, end < 0 ? -1 : end - at);
    at = end < 0 ? input.size() : end + 1;
    return line;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype at = 0;
    const QByteArray address = NextLine(input, at);
    const QByteArray disposition = NextLine(input, at);
    const QByteArray type = NextLine(input, at);
    const QByteArray head = input.mid(at, SniffBytes);

    const QByteArray listed = ModernFileName(address);
    CheckName(listed, false);
    CheckName(DisambiguatedName(address), false);
    CheckName(PlainModernName(address), true);
    CheckName(ContentDispositionName(disposition), true);
    CheckName(ModernFinalName(listed, disposition, type, head), false);
    const QByteArray extension = SniffedExtension(head);
    FUZZ_CHECK(extension.isEmpty() || (extension.startsWith('.') && extension.size() <= 5));

    QList<TNamedAddress> items{
        {address, QByteArray(), true}, {address + "x", QByteArray(), true}, {"http://h/" + listed, QByteArray(), true}};
    HarvestNames(items);
    for (const TNamedAddress& item : items)
        CheckName(item.name, false);
    FUZZ_CHECK(items[0].name != items[1].name);

    for (char c : ReferrerFor(address, disposition))
        FUZZ_CHECK(uchar(c) > 0x20 && uchar(c) != 0x7f);
    return 0;
}
