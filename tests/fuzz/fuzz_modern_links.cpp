// The modern pages scanner on arbitrary page text: every listed address is an absolute http(s)
// address without control characters or blanks, listed once; the names the harvest gives its
// files are plain, distinct for distinct addresses where they can be, and fit 255 bytes with the
// part file's suffix and the rename rule's underscores.
#include <QByteArray>
#include <QSet>

#include "FuzzCheck.h"
#include "rules/FileNaming.h"
#include "rules/ModernLinks.h"
#include "rules/ModernNaming.h"

namespace {
bool PlainName(const QByteArray& name)
{
    if (!IsPlainFileName(name) || !name.isValidUtf8())
        return false;
    for (char c : name)
        if (uchar(c) < 0x20 || uchar(c) == 0x7f)
            return false;
    return name.size() + PartSuffixBytes + MaxUnderscores <= 255;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<TModernLink> links = ModernLinks(page, "https://127.0.0.1/dir/page.html");
    QSet<QByteArray> seen;
    QList<TNamedAddress> files;
    for (const TModernLink& link : links) {
        const QByteArray& address = link.address;
        FUZZ_CHECK(address.startsWith("http://") || address.startsWith("https://"));
        for (char c : address)
            FUZZ_CHECK(uchar(c) > 0x20 && uchar(c) != 0x7f);
        FUZZ_CHECK(!address.contains('#'));
        FUZZ_CHECK(!seen.contains(address));
        seen.insert(address);
        FUZZ_CHECK(!link.picture || link.file);
        if (link.file)
            files.append({address, QByteArray(), true});
    }
    HarvestNames(files);
    for (const TNamedAddress& file : files)
        FUZZ_CHECK(PlainName(file.name));
    return 0;
}
