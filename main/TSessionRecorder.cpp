#include "main/TSessionRecorder.h"

#include <utility>

#include "main/TListFileStore.h"
#include "rules/ListRecords.h"
#include "widgets/TCheckListView.h"

TSessionRecorder::TSessionRecorder(std::unique_ptr<TSessionStore> store, TCheckListView* docs, TCheckListView* files,
                                   QObject* parent)
    : QObject(parent), FStore(std::move(store)), FDocs(docs), FFiles(files)
{
    FOrderTimer.setSingleShot(true);
    FOrderTimer.setInterval(OrderInterval);
    connect(&FOrderTimer, &QTimer::timeout, this, [this] { HandOverOrder(); });
    Watch(TSessionList::Documents);
    Watch(TSessionList::Files);
}

TSessionRecorder::~TSessionRecorder()
{
    if (FRecording)
        HandOverOrder();
}

void TSessionRecorder::Watch(TSessionList which)
{
    TCheckListView* list = List(which);
    connect(list, &TCheckListView::ItemTouched, this, [this, which](int row) {
        if (FRecording)
            FStore->PutItem(which, ItemAt(which, row));
    });
    connect(list, &TCheckListView::ItemRemoved, this, [this, which](uint64_t id) {
        if (FRecording)
            FStore->RemoveItem(which, id);
    });
    connect(list, &TCheckListView::ListCleared, this, [this, which] {
        if (!FRecording)
            return;
        FStore->ClearList(which);
        FOrderChanged[int(which)] = true;
        FOrderTimer.start();
    });
    connect(list, &TCheckListView::OrderChanged, this, [this, which] {
        if (!FRecording)
            return;
        FOrderChanged[int(which)] = true;
        if (!FOrderTimer.isActive())
            FOrderTimer.start();
    });
}

THarvestItem TSessionRecorder::ItemAt(TSessionList which, int row) const
{
    const TCheckListView* list = List(which);
    THarvestItem item;
    item.Id = list->ItemId(row);
    item.Address = list->Caption(row);
    item.Checked = list->Checked(row);
    item.State = list->ImageIndex(row);
    item.Reason = list->Reason(row);
    if (which == TSessionList::Files) {
        item.FileName = list->SubItem(row, 1);
        item.SizeText = list->SubItem(row, 2);
    }
    if (ReferrerOf)
        item.Referrer = ReferrerOf(item.Address);
    if (which == TSessionList::Files && AddFacts)
        AddFacts(item);
    return item;
}

QList<uint64_t> TSessionRecorder::Order(TSessionList which) const
{
    const TCheckListView* list = List(which);
    QList<uint64_t> ids;
    ids.reserve(list->Count());
    for (int row = 0; row < list->Count(); ++row)
        ids.append(list->ItemId(row));
    return ids;
}

void TSessionRecorder::HandOverOrder()
{
    FOrderTimer.stop();
    for (TSessionList which : {TSessionList::Documents, TSessionList::Files}) {
        if (std::exchange(FOrderChanged[int(which)], false))
            FStore->SetOrder(which, Order(which));
    }
}

void TSessionRecorder::Restore(const TSessionData& session)
{
    for (TSessionList which : {TSessionList::Documents, TSessionList::Files}) {
        TCheckListView* list = List(which);
        const bool fileList = which == TSessionList::Files;
        TListUpdates held(list);
        list->Clear();
        for (const THarvestItem& item : fileList ? session.Files : session.Documents) {
            const int row =
                PutListRecord(*list, {item.Address, item.Checked, item.State, item.FileName, item.SizeText}, fileList);
            if (!item.Reason.isEmpty())
                list->SetReason(row, item.Reason);
            if (fileList && Restored)
                Restored(list->ItemId(row), item);
        }
    }
}

void TSessionRecorder::Start(const QByteArray& mainDocument)
{
    TSessionData now;
    for (TSessionList which : {TSessionList::Documents, TSessionList::Files}) {
        QList<THarvestItem>& items = which == TSessionList::Files ? now.Files : now.Documents;
        const int count = List(which)->Count();
        items.reserve(count);
        for (int row = 0; row < count; ++row)
            items.append(ItemAt(which, row));
    }
    now.MainDocument = mainDocument;
    FStore->ReplaceAll(now);
    FRecording = true;
}

void TSessionRecorder::SetMainDocument(const QByteArray& address)
{
    if (FRecording)
        FStore->SetMainDocument(address);
}

bool TSessionRecorder::Flush()
{
    if (FRecording)
        HandOverOrder();
    return FStore->Flush();
}
