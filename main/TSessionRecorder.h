#pragma once
// Keeps the session store in step with the window's two lists: each change an item makes is handed
// to the store as it happens (the store batches them); the items' order, which many changes in a
// row may move, is handed over once per short interval. At start it puts a stored session back
// into the lists.
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/TSessionStore.h"

class TCheckListView;

class TSessionRecorder : public QObject {
    Q_OBJECT
public:
    // The recorder owns `store`, so nothing the lists report reaches a store that is gone.
    TSessionRecorder(std::unique_ptr<TSessionStore> store, TCheckListView* docs, TCheckListView* files,
                     QObject* parent = nullptr);
    ~TSessionRecorder() override;

    TSessionStore& Store() { return *FStore; }
    // The page an address was found on, for the items' referrer.
    std::function<QByteArray(const QByteArray&)> ReferrerOf;
    // Adds to a file item what its row does not show (its transfers' facts).
    std::function<void(THarvestItem&)> AddFacts;
    // A file item came back from the session under a new id, with those facts.
    std::function<void(uint64_t id, const THarvestItem& item)> Restored;

    // Fills the lists with the session's items (their new ids replace the stored ones).
    void Restore(const TSessionData& session);
    // From now on every change is recorded; the store first takes the lists as they are.
    void Start(const QByteArray& mainDocument);
    void SetMainDocument(const QByteArray& address);
    // Hands over what waits (the order) and returns once it is on disk.
    bool Flush();

    // The item at `row` as the lists show it.
    THarvestItem ItemAt(TSessionList which, int row) const;

private:
    TCheckListView* List(TSessionList which) const { return which == TSessionList::Files ? FFiles : FDocs; }
    void Watch(TSessionList which);
    void HandOverOrder();
    QList<uint64_t> Order(TSessionList which) const;

    std::unique_ptr<TSessionStore> FStore;
    TCheckListView* FDocs;
    TCheckListView* FFiles;
    bool FRecording = false;
    bool FOrderChanged[2] = {false, false};
    // Adding thousands of items moves the order thousands of times: it is handed over at most
    // this often, well inside the store's one second.
    static constexpr int OrderInterval = 250;
    QTimer FOrderTimer;
};
