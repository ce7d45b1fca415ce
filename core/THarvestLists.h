#pragma once
// A harvest's lists without a window: the parse list of the main document, the document list and
// the file list as models, filled from scanned pages by the window's rules (which list a link goes
// to, which duplicates are dropped, the names new files get), plus where each modern address was
// found and what its page said of a picture. The command-line harvester builds on it.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include "core/THarvestModel.h"
#include "rules/ModernLinks.h"

struct THarvestListRules {
    bool Modern = false;
    bool IncludeEmbedded = true;  // classic: pictures of img markers are listed
    bool AddLinks = true;         // a linked page's own page links join the document list
};

class THarvestLists {
public:
    explicit THarvestLists(const THarvestListRules& rules);

    // Sorts the links of a page fetched from `address` (its final address) into the lists;
    // `parseMode` is ParseMain for the main document and ParseLinked for a linked one. Returns
    // the limit the scan reached (a page too large, too many links), empty when none.
    QString Scan(const QByteArray& base, const QByteArray& text, int parseMode, const QByteArray& address);

    const QList<QByteArray>& ParseList() const { return FParseList; }
    THarvestModel& Documents() { return FDocuments; }
    const THarvestModel& Documents() const { return FDocuments; }
    THarvestModel& Files() { return FFiles; }
    const THarvestModel& Files() const { return FFiles; }
    // What the page said of a modern picture; empty facts for any other address.
    TPictureFacts FactsOf(const QByteArray& address) const { return FFacts.value(address); }
    // The page a modern address was found on; empty when none is known.
    QByteArray FoundOn(const QByteArray& address) const { return FReferrers.value(address); }

private:
    void AddFile(const QByteArray& address, const QByteArray& page, const TPictureFacts* facts);
    void AddDocument(const QByteArray& address, const QByteArray& page);
    void NameModernFiles();

    THarvestListRules FRules;
    QList<QByteArray> FParseList;
    QSet<QByteArray> FInParseList;
    THarvestModel FDocuments{1};
    THarvestModel FFiles{3};
    QHash<QByteArray, QByteArray> FReferrers;
    QHash<QByteArray, TPictureFacts> FFacts;
};
