#include "core/THarvestModel.h"

#include <QCollator>
#include <algorithm>

namespace {
// Addresses sort in the default locale's case-sensitive collation; each row keeps its key, so
// that long lists sort fast.
QCollatorSortKey KeyOf(const QByteArray& address)
{
    static thread_local QCollator collator;
    if (collator.locale() != QLocale())
        collator = QCollator(QLocale());
    return collator.sortKey(QString::fromLatin1(address));
}
}  // namespace

THarvestModel::THarvestModel(int columns, QObject* parent) : QAbstractTableModel(parent), FColumns(columns) {}

int THarvestModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int THarvestModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FColumns; }

QVariant THarvestModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const TRow& row = FRows[index.row()];
    const THarvestItem& item = row.Item;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case CaptionColumn: return QString::fromLatin1(item.Address);
        case FileNameColumn: return QString::fromLatin1(item.FileName);
        case SizeColumn: return QString::fromLatin1(item.SizeText);
        }
        return {};
    case Qt::CheckStateRole:
        if (index.column() != CaptionColumn || row.StateImage > 1)
            return {};  // no box
        return row.StateImage == 1 ? Qt::Checked : Qt::Unchecked;
    case Qt::ToolTipRole: return item.Reason.isEmpty() ? QVariant() : QVariant(item.Reason);
    case IdRole: return QVariant::fromValue<quint64>(item.Id);
    case AddressRole: return item.Address;
    case StateRole: return item.State;
    case StateImageRole: return row.StateImage;
    case ReasonRole: return item.Reason;
    }
    return {};
}

bool THarvestModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::CheckStateRole
        || FRows[index.row()].StateImage > 1)
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags THarvestModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

int THarvestModel::SortedPosition(const QCollatorSortKey& key) const
{
    // After every equal caption, so that equal items keep the order they came in.
    const auto at = std::upper_bound(FRows.begin(), FRows.end(), key,
                                     [](const QCollatorSortKey& k, const TRow& row) { return k.compare(row.Key) < 0; });
    return int(at - FRows.begin());
}

int THarvestModel::Add(const QByteArray& address)
{
    TRow row(KeyOf(address));
    row.Item.Id = FNextId++;
    row.Item.Address = address;
    const int at = FSorted ? SortedPosition(row.Key) : Count();
    beginInsertRows(QModelIndex(), at, at);
    FRows.insert(at, std::move(row));
    endInsertRows();
    ++FAddressCount[address];
    return at;
}

void THarvestModel::Forget(const QByteArray& address)
{
    auto it = FAddressCount.find(address);
    if (it != FAddressCount.end() && --it.value() <= 0)
        FAddressCount.erase(it);
}

void THarvestModel::Remove(int row)
{
    if (row < 0 || row >= Count())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    Forget(FRows[row].Item.Address);
    FRows.removeAt(row);
    endRemoveRows();
}

void THarvestModel::Clear()
{
    beginResetModel();
    FRows.clear();
    FAddressCount.clear();
    endResetModel();
}

int THarvestModel::Update(int row, const std::function<void(THarvestItem&)>& change)
{
    if (row < 0 || row >= Count())
        return -1;
    THarvestItem& item = FRows[row].Item;
    const uint64_t id = item.Id;
    const QByteArray address = item.Address;
    change(item);
    item.Id = id;
    emit dataChanged(index(row, 0), index(row, FColumns - 1));
    if (item.Address == address)
        return row;
    Forget(address);
    ++FAddressCount[item.Address];
    FRows[row].Key = KeyOf(item.Address);
    if (!FSorted)
        return row;
    // Moves the row to its place among the others.
    TRow moved = FRows.takeAt(row);
    const int to = SortedPosition(moved.Key);
    FRows.insert(row, std::move(moved));
    if (to != row) {
        beginMoveRows(QModelIndex(), row, row, QModelIndex(), to > row ? to + 1 : to);
        FRows.move(row, to);
        endMoveRows();
    }
    return to;
}

void THarvestModel::SetStateImage(int row, int stateImage)
{
    if (row < 0 || row >= Count() || FRows[row].StateImage == stateImage)
        return;
    FRows[row].StateImage = stateImage;
    FRows[row].Item.Checked = stateImage != 0;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole, StateImageRole});
}

void THarvestModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= Count())
        return;
    // A hidden box keeps its look; the tick it stands for is "ticked" already.
    if (FRows[row].StateImage == 3 && checked)
        return;
    SetStateImage(row, checked ? 1 : 0);
}

int THarvestModel::RowOf(uint64_t id, int hint) const
{
    if (id == 0)
        return -1;
    if (hint >= 0 && hint < Count() && FRows[hint].Item.Id == id)
        return hint;
    for (int i = 0; i < Count(); ++i)
        if (FRows[i].Item.Id == id)
            return i;
    return -1;
}

void THarvestModel::SetSorted(bool on)
{
    if (FSorted == on)
        return;
    FSorted = on;
    if (!on)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<uint64_t> ids;
    for (const QModelIndex& index : before)
        ids << FRows[index.row()].Item.Id;
    std::stable_sort(FRows.begin(), FRows.end(), [](const TRow& a, const TRow& b) { return a.Key.compare(b.Key) < 0; });
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(RowOf(ids[i]), before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
