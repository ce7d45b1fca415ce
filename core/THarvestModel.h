#pragma once
// One of the two lists (documents or files) as data: THarvestItem rows with stable ids, a tick
// box state per row, and the caption order the list keeps while sorting is on. Views show it;
// the commands, the queue and the session store change it through its item calls.
#include <QAbstractTableModel>
#include <QByteArray>
#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <functional>

#include "core/HarvestItem.h"

class THarvestModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { CaptionColumn, FileNameColumn, SizeColumn };
    enum Role {
        IdRole = Qt::UserRole,  // quint64
        AddressRole,            // QByteArray, never cut
        StateRole,              // the state icon's index, -1..4
        StateImageRole,         // 0 unticked box, 1 ticked box, 3 no box
        ReasonRole,             // QString
    };
    // A document list has the caption column only; a file list has all three.
    explicit THarvestModel(int columns, QObject* parent = nullptr);

    // ---- Qt's item model ------------------------------------------------------------------
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // ---- Items ----------------------------------------------------------------------------
    int Count() const { return int(FRows.size()); }
    // A new item with a fresh id, appended (or placed in caption order while sorted); its row.
    int Add(const QByteArray& address);
    void Remove(int row);
    void Clear();
    const THarvestItem& Item(int row) const { return FRows[row].Item; }
    int StateImage(int row) const { return FRows[row].StateImage; }
    // Changes the item at `row` through `change`; the id cannot change. While sorted, a changed
    // address moves the item to its place. Returns its row afterwards.
    int Update(int row, const std::function<void(THarvestItem&)>& change);
    void SetStateImage(int row, int stateImage);
    // Ticked whenever the box is not the unticked one (also when no box is shown).
    bool Checked(int row) const { return FRows[row].StateImage != 0; }
    void SetChecked(int row, bool checked);

    // -1 when no item has the id; `hint` is looked at first.
    int RowOf(uint64_t id, int hint = -1) const;
    bool Contains(const QByteArray& address) const { return FAddressCount.contains(address); }

    bool Sorted() const { return FSorted; }
    void SetSorted(bool on);  // switching on sorts at once (locale-aware, case-sensitive)

private:
    struct TRow {
        explicit TRow(QCollatorSortKey key) : Key(std::move(key)) {}
        THarvestItem Item;
        int StateImage = 0;
        QCollatorSortKey Key;
    };
    int SortedPosition(const QCollatorSortKey& key) const;
    void Forget(const QByteArray& address);

    const int FColumns;
    QList<TRow> FRows;
    QHash<QByteArray, int> FAddressCount;
    uint64_t FNextId = 1;
    bool FSorted = false;
};
