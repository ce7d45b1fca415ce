// ParseDocument: finds the links of a fetched page and sorts new ones into the parse list, the
// document list and the file list; the duplicate tests; the set-up of items added to the lists.
#include "main/UnitMain.h"

#include <QElapsedTimer>
#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QTimer>
#include <atomic>
#include <malloc.h>
#include <thread>

#include "core/DocumentScan.h"
#include "rules/FileNaming.h"
#include "rules/LinkRules.h"
#include "main/TParseList.h"
#include "rules/ModernLinks.h"
#include "rules/ModernNaming.h"
#include "http/HttpTypes.h"
#include "widgets/TCheckListView.h"
#include "platform/EventPacer.h"
#include "platform/Guarded.h"

namespace {
// How long the window waits at most between two looks at Stop while a modern scan runs.
constexpr int ScanWaitSliceMs = 20;

// A scan (and the fill of the document list after it) gives the window a turn at its start, and
// then after a marker, a duplicate or an item once enough time has passed since the last turn:
// at least 5 ms and eight times what the last turn took, but never more than 10 ms. A turn per
// marker would let event processing cost more than the scan; spacing turns by their cost keeps
// cheap turns from adding up; and the upper bound keeps the window's answer to input within
// about a frame even when turns are dear (they grow with the lists, which the views lay out
// again in each turn). Between turns the lists' views are held, so a turn lays them out and
// paints them once, whatever was added since.
constexpr qint64 ScanTurnMinimumNs = 5'000'000;
constexpr qint64 ScanTurnCostFactor = 8;
constexpr qint64 ScanTurnMaximumNs = 10'000'000;

// The heap keeps much of what it was given back: the steps by which a fetched page grew, the
// findings and sets of a scan. Handed back to the system before a modern scan, the page's tree
// does not come on top of them, nor the lists on top of the scan's. It walks the heap, so the
// scan's thread does it, not the window's.
void ReturnFreedMemory() { malloc_trim(0); }

}  // namespace

void TFormMain::WireScanner()
{
    connect(ListViewDoc, &TCheckListView::Insert, this,
            [this](int index) { Guarded(lcMain(), [&] { ListViewDocInsert(index); }); });
    connect(ListViewFile, &TCheckListView::Insert, this,
            [this](int index) { Guarded(lcMain(), [&] { ListViewFileInsert(index); }); });
}

void TFormMain::ScanTurn(bool now)
{
    if (!FScanPacer)
        FScanPacer = std::make_unique<TEventPacer>(
            ScanTurnMinimumNs, ScanTurnCostFactor, [this] { ListTurn(); }, TEventPacer::First::Now, ScanTurnMaximumNs);
    if (now)
        FScanPacer->Turn();
    else
        FScanPacer->MaybeTurn();
}

void TFormMain::ListTurn()
{
    const int docHolds = ListViewDoc->LiftUpdates();
    const int fileHolds = ListViewFile->LiftUpdates();
    ProcessMessages();
    ListViewDoc->RestoreUpdates(docHolds);
    ListViewFile->RestoreUpdates(fileHolds);
}

void TFormMain::ParseDocument(const QByteArray& base, const QByteArray& text, int parseMode, const QByteArray& address)
{
    SetStatusText(QStringLiteral("Status: Parsing link"));
    ScanTurn(true);
    // Between turns the views take the new items without laying out and repainting each time.
    TListUpdates docs(ListViewDoc), files(ListViewFile);
    if (Findlinksasabrowserdoesmodernpages1->isChecked()) {
        ParseModernDocument(address.isEmpty() ? base : address, text, parseMode);
        return;
    }
    // Options are read when a marker needs them: a click during a turn counts from then on.
    TScanSettings settings;
    settings.TakePictures = [this] { return Addembeddedimageswhenparsing1->isChecked(); };
    ScanDocument(base, text, address, settings, [&](const TScannedLink& scanned) {
        const QByteArray& link = scanned.Address;
        switch (scanned.Class) {
        case TLinkClass::Document:
            if (parseMode == ParseMain) {
                if (!ExistInParseList(link))
                    ListBoxParse1->Add(link);
            } else if (parseMode == ParseLinked) {
                if (Addnewlinksfoundwhenparsingtoexistinglist1->isChecked() && !ExistInList(link)
                    && !ExistInParseList(link))
                    AddDocItem(link);
            }
            break;
        case TLinkClass::File:
            LastFileLink = link;  // also for a duplicate that is not added
            if (!ExistInFileList(link))
                AddFileItem(link);
            break;
        case TLinkClass::None: break;
        }
        ScanTurn(false);
    });
}

// The modern scanner's links go into the lists as the classic ones do, in text order. Its
// addresses are resolved, so the classic shortcut that takes any ".." as present does not apply
// (".." may stand in a query or a name); the lists are searched.
void TFormMain::ParseModernDocument(const QByteArray& address, const QByteArray& text, int parseMode)
{
    QList<TPictureFacts> facts;
    const QList<TModernLink> links = ScanModernPage(address, text, facts);
    const auto present = [this](bool found) {
        if (found)
            ScanTurn(false);
        return found;
    };
    const QScopedValueRollback naming(FModernScan, true);
    for (qsizetype i = 0; i < links.size(); ++i) {
        // Stop ends the fill too: a list saved after Stop holds what was listed until then.
        if (StopRequested)
            break;
        const TModernLink& link = links[i];
        if (!link.file) {
            if (parseMode == ParseMain) {
                if (!present(ListBoxParse1->Contains(link.address))) {
                    ListBoxParse1->Add(link.address);
                    FReferrers.insert(link.address, address);
                }
            } else if (parseMode == ParseLinked) {
                if (Addnewlinksfoundwhenparsingtoexistinglist1->isChecked()
                    && !present(ListViewDoc->ContainsCaption(link.address))
                    && !present(ListBoxParse1->Contains(link.address))) {
                    AddDocItem(link.address);
                    FReferrers.insert(link.address, address);
                }
            }
        } else {
            LastFileLink = link.address;  // also for a duplicate that is not added
            if (!present(ListViewFile->ContainsCaption(link.address))) {
                FReferrers.insert(link.address, address);
                if (link.picture)
                    FPictureFacts.insert(link.address, facts[i]);
                AddFileItem(link.address);
            }
        }
        ScanTurn(false);
    }
    NameModernFiles();
}

// Names given by hand, by a list file or by a finished download stay as they are.
void TFormMain::NameModernFiles()
{
    QList<TNamedAddress> items;
    items.reserve(ListViewFile->Count());
    for (int i = 0; i < ListViewFile->Count(); ++i) {
        const QByteArray address = ListViewFile->Caption(i);
        const QByteArray name = ListViewFile->SubItem(i, 1);
        items.append({address, name, ListViewFile->ImageIndex(i) == FilePending && IsAutomaticName(address, name)});
    }
    HarvestNames(items);
    for (int i = 0; i < int(items.size()); ++i)
        if (items[i].renamable && items[i].name != ListViewFile->SubItem(i, 1))
            ListViewFile->SetSubItem(i, 1, items[i].name);
}

// The modern scan runs on a thread of its own, so a page that takes long to scan never freezes
// the window: the window keeps its turns meanwhile, and Stop reaches the scan at once.
QList<TModernLink> TFormMain::ScanModernPage(const QByteArray& address, const QByteArray& text,
                                             QList<TPictureFacts>& facts)
{
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    TScanControl control;
    control.Stop = &stop;
    QList<TModernLink> links;
    QObject wake;  // lives on this thread: the scan's last act posts an event to it
    // The scan reads copies: the client may fetch the next page while this one is scanned.
    std::thread scan([&, page = QByteArray(text), base = QByteArray(address)] {
        ReturnFreedMemory();
        links = ModernLinks(page, base, &control, &facts);
        ReturnFreedMemory();
        done = true;
        QMetaObject::invokeMethod(
            &wake, [] {}, Qt::QueuedConnection);
    });
    QTimer tick;  // wakes the wait below to look at Stop
    tick.start(ScanWaitSliceMs);
    while (!done) {
        if (StopRequested)
            stop = true;
        // Wakes for the scan's end, the user's input and the tick.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    scan.join();
    if (!control.Reason.isEmpty()) {
        FScanLimitReason = control.Reason;
        SetStatusText(QStringLiteral("Status: Parsing link - ") + control.Reason);
    }
    return links;
}

void TFormMain::SetModernHeaders(THeaderInfo& info, const QByteArray& address) const
{
    const bool modern = Findlinksasabrowserdoesmodernpages1->isChecked();
    info.LocalProgram = modern ? ModernUserAgent() : QByteArray();
    info.Referer = modern ? ReferrerOf(address) : QByteArray();
}

// The three duplicate tests answer from the lists' caption indexes: the same answer as a walk
// over the entries, without the walk. A duplicate found gives the window its turn as the walk did.
bool TFormMain::ExistInList(const QByteArray& link)
{
    if (ExistsWithoutSearch(link))
        return true;
    if (!ListViewDoc->ContainsCaption(link))
        return false;
    ScanTurn(false);
    return true;
}

bool TFormMain::ExistInFileList(const QByteArray& link)
{
    if (ExistsWithoutSearch(link))
        return true;
    if (!ListViewFile->ContainsCaption(link))
        return false;
    ScanTurn(false);
    return true;
}

bool TFormMain::ExistInParseList(const QByteArray& link)
{
    if (ExistsWithoutSearch(link))
        return true;
    if (!ListBoxParse1->Contains(link))
        return false;
    ScanTurn(false);
    return true;
}

int TFormMain::AddDocItem(const QByteArray& caption) { return ListViewDoc->Add(caption); }

int TFormMain::AddFileItem(const QByteArray& caption) { return ListViewFile->Add(caption); }

// The insert handlers also run for items that loading the lists appends; those set the state
// they restore after the item exists.
void TFormMain::ListViewDocInsert(int index)
{
    if (ListViewDoc->ImageIndex(index) != DocPending)
        ListViewDoc->SetImageIndex(index, DocPending);
    if (ListViewDoc->StateImage(index) > 1)  // show the box
        ListViewDoc->SetStateImage(index, 0);
}

void TFormMain::ListViewFileInsert(int index)
{
    if (ListViewFile->ImageIndex(index) != FilePending)
        ListViewFile->SetImageIndex(index, FilePending);
    if (ListViewFile->StateImage(index) > 1)
        ListViewFile->SetStateImage(index, 0);
    ListViewFile->SetSubItem(index, 1, FModernScan ? ModernFileName(LastFileLink) : FilNavn(LastFileLink));
    if (!ListViewFile->SubItem(index, 2).isEmpty())  // a new item's size is empty already
        ListViewFile->SetSubItem(index, 2, QByteArray());
    if (Autoselectfirstfilefromeachlink1->isChecked() && !FirstFileTaken) {
        ListViewFile->SetChecked(index, true);
        FirstFileTaken = true;
    }
}
