#pragma once
// The check-box list used by both lists of the main window: items addressed by index, with a
// byte-string caption, a tick, a state image (0 unticked box, 1 ticked box, 3 no box), a state
// icon (image index -1..4), byte-string sub-items, a lock word (Tag) and change notification.
#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QTreeWidget>
#include <atomic>
#include <cstdint>

class QMenu;

class TCheckListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TCheckListView(QWidget* parent = nullptr);

    int Count() const;
    // Appends an item (or inserts it in caption order while sorting is on); runs the insert
    // notification and returns the new item's index.
    int Add(const QByteArray& caption);
    void Delete(int index);
    void Clear();

    QByteArray Caption(int index) const;
    void SetCaption(int index, const QByteArray& caption);
    // True when the caption is present (exact, case-sensitive); kept in step with every change.
    bool ContainsCaption(const QByteArray& caption) const;

    // "Checked" reads true whenever the state image is not the unticked box (also when hidden).
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    int StateImage(int index) const;
    void SetStateImage(int index, int stateImage);
    int ImageIndex(int index) const;
    void SetImageIndex(int index, int imageIndex);
    // Why a failed item failed, shown as its hint over the whole row. A change of the item's state
    // drops it (a reset or a new attempt starts without one); the list files do not keep it.
    QString Reason(int index) const;
    void SetReason(int index, const QString& reason);
    QByteArray SubItem(int index, int column) const;  // column 1 = "Filename", 2 = "Size"
    void SetSubItem(int index, int column, const QByteArray& text);

    // Every item gets an id when it is added that stays with it through sorting, edits and the
    // removal of other items, so work that finishes later finds its item again; 0 is no item.
    uint64_t ItemId(int index) const;
    int IndexOfItemId(uint64_t id, int hint = -1) const;  // -1 when the item is gone; `hint` is looked at first

    // Many changes in a row: the view neither repaints nor lays out for each of them, only once
    // after the last EndUpdate (calls nest).
    void BeginUpdate();
    void EndUpdate();
    // A turn of the window inside held updates lifts them all first, so that the turn shows
    // every change so far and a command run from inside it meets the list as usual; afterwards
    // RestoreUpdates puts back the holds that LiftUpdates returned.
    int LiftUpdates();
    void RestoreUpdates(int holds);

    bool Sorted() const { return FSorted; }
    void SetSorted(bool on);  // switching on sorts at once (locale-aware, case-sensitive)

    int CurrentIndex() const;  // the focused item's index, -1 for none
    void SetCurrentIndex(int index);
    void SetStateIcons(const QList<QIcon>& icons);  // pictures of image indexes 0..4

    // The pop-up menu opens on a right click only while allowed (the main window allows it
    // while the list has items).
    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return FPopup; }
    void SetPopupAllowed(bool allowed) { FPopupAllowed = allowed; }
    bool PopupAllowed() const { return FPopupAllowed; }

    // The list lock: 0 free, 1 held by a download engine writing its outcome.
    std::atomic<int> Tag{0};

signals:
    void Change(int index);  // any change of an item: selection, focus, tick, caption, icon
    void Insert(int index);  // an item was added
    // What a keeper of the lists' contents needs: an item's data changed (also when added), an
    // item went, the list was emptied, the items' order changed.
    void ItemTouched(int index);
    void ItemRemoved(uint64_t id);
    void ListCleared();
    void OrderChanged();

private:
    QTreeWidgetItem* Item(int index) const;
    int RowOf(const QTreeWidgetItem* item) const;
    int SortedPosition(const QByteArray& caption) const;
    int MoveToSortedPlace(QTreeWidgetItem* item);  // returns its new index
    void Forget(const QByteArray& caption);
    void ItemChanged(QTreeWidgetItem* item);
    void SetRowHint(QTreeWidgetItem* item, const QString& hint);
    uint64_t FNextId = 1;
    bool FSorted = false;
    int FUpdateHolds = 0;
    bool FPopupAllowed = true;
    QMenu* FPopup = nullptr;
    int FInternal = 0;  // our own changes notify directly, not through itemChanged
    QList<QIcon> FIcons;
    QHash<QByteArray, int> FCaptionCount;
};

// Holds a list's view updates for a scope.
class TListUpdates {
public:
    explicit TListUpdates(TCheckListView* list) : FList(list)
    {
        if (FList)
            FList->BeginUpdate();
    }
    ~TListUpdates()
    {
        if (FList)
            FList->EndUpdate();
    }
    TListUpdates(const TListUpdates&) = delete;
    TListUpdates& operator=(const TListUpdates&) = delete;

private:
    QPointer<TCheckListView> FList;
};
