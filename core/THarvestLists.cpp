#include "core/THarvestLists.h"

#include "core/DocumentScan.h"
#include "rules/FileNaming.h"
#include "rules/ListStates.h"
#include "rules/ModernNaming.h"
#include "rules/ScanLimits.h"

THarvestLists::THarvestLists(const THarvestListRules& rules) : FRules(rules) {}

QString THarvestLists::Scan(const QByteArray& base, const QByteArray& text, int parseMode, const QByteArray& address)
{
    const bool modern = FRules.Modern;
    const QByteArray page = address.isEmpty() ? base : address;
    // The classic rules take any ".." (and an empty link) as present without looking; modern
    // addresses are resolved, so the lists are searched.
    const auto present = [modern](const QByteArray& link, bool listed) {
        return (!modern && ExistsWithoutSearch(link)) || listed;
    };
    TScanControl control;
    TScanSettings settings;
    settings.Modern = modern;
    settings.Control = &control;
    settings.TakePictures = [this] { return FRules.IncludeEmbedded; };
    ScanDocument(base, text, address, settings, [&](const TScannedLink& link) {
        const QByteArray& to = link.Address;
        switch (link.Class) {
        case TLinkClass::Document:
            if (parseMode == ParseMain) {
                if (!present(to, FInParseList.contains(to))) {
                    FParseList.append(to);
                    FInParseList.insert(to);
                    if (modern)
                        FReferrers.insert(to, page);
                }
            } else if (parseMode == ParseLinked && FRules.AddLinks
                       && !present(to, FDocuments.Contains(to) || FInParseList.contains(to))) {
                AddDocument(to, page);
            }
            break;
        case TLinkClass::File:
            if (!present(to, FFiles.Contains(to)))
                AddFile(to, page, link.Facts);
            break;
        case TLinkClass::None: break;
        }
    });
    if (modern)
        NameModernFiles();
    return control.Reason;
}

void THarvestLists::AddDocument(const QByteArray& address, const QByteArray& page)
{
    const int row = FDocuments.Add(address);
    FDocuments.Update(row, [](THarvestItem& item) { item.State = DocPending; });
    if (FRules.Modern)
        FReferrers.insert(address, page);
}

void THarvestLists::AddFile(const QByteArray& address, const QByteArray& page, const TPictureFacts* facts)
{
    const bool modern = FRules.Modern;
    if (modern) {
        FReferrers.insert(address, page);
        if (facts)
            FFacts.insert(address, *facts);
    }
    const int row = FFiles.Add(address);
    FFiles.Update(row, [&](THarvestItem& item) {
        item.State = FilePending;
        item.FileName = modern ? ModernFileName(address) : FilNavn(address);
        if (modern)
            item.Referrer = page;
        if (facts) {
            item.PixelWidth = facts->width > 0 ? facts->width : -1;
            item.PixelHeight = facts->height > 0 ? facts->height : -1;
        }
    });
}

// Names given by hand or by a finished download stay as they are.
void THarvestLists::NameModernFiles()
{
    QList<TNamedAddress> items;
    items.reserve(FFiles.Count());
    for (int i = 0; i < FFiles.Count(); ++i) {
        const THarvestItem& item = FFiles.Item(i);
        items.append(
            {item.Address, item.FileName, item.State == FilePending && IsAutomaticName(item.Address, item.FileName)});
    }
    HarvestNames(items);
    for (int i = 0; i < int(items.size()); ++i)
        if (items[i].renamable && items[i].name != FFiles.Item(i).FileName)
            FFiles.Update(i, [&](THarvestItem& item) { item.FileName = items[i].name; });
}
