#include "widgets/TCheckListView.h"

#include <QCollator>
#include <QHeaderView>
#include <QMenu>

namespace {
constexpr int CaptionRole = Qt::UserRole;  // the caption's bytes
constexpr int ImageIndexRole = Qt::UserRole + 1;
constexpr int StateImageRole = Qt::UserRole + 2;
constexpr int ItemIdRole = Qt::UserRole + 3;

// Captions sort in the platform's locale-aware, case-sensitive order: the default locale's
// collation, which QString::localeAwareCompare uses too (and follows when the default changes).
// Lists live on the window's thread only.
const QCollator& Collation()
{
    static QCollator collator;
    if (collator.locale() != QLocale())
        collator = QCollator(QLocale());
    return collator;
}

// Each item keeps its caption's collation key, made when the caption is set: keys compare as
// the captions do, at a fraction of the cost, so a list of tens of thousands of items sorts in
// milliseconds (comparing the captions themselves took tens of them, on the window's thread).
class TListItem : public QTreeWidgetItem {
public:
    explicit TListItem(const QString& caption) : Key(Collation().sortKey(caption)) { setText(0, caption); }
    void CaptionChanged() { Key = Collation().sortKey(text(0)); }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return Key.compare(static_cast<const TListItem&>(other).Key) < 0;
    }
    QCollatorSortKey Key;
};

TListItem* ListItem(QTreeWidgetItem* item) { return static_cast<TListItem*>(item); }

QVariant CheckFor(int stateImage)
{
    if (stateImage == 0)
        return int(Qt::Unchecked);
    if (stateImage == 1)
        return int(Qt::Checked);
    return QVariant();  // no box drawn, no box to click
}
}  // namespace

TCheckListView::TCheckListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { ItemChanged(item); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (current && !FInternal)
            emit Change(RowOf(current));
    });
}

QTreeWidgetItem* TCheckListView::Item(int index) const
{
    return index >= 0 && index < topLevelItemCount() ? topLevelItem(index) : nullptr;
}

int TCheckListView::RowOf(const QTreeWidgetItem* item) const { return item ? indexFromItem(item).row() : -1; }

int TCheckListView::Count() const { return topLevelItemCount(); }

int TCheckListView::SortedPosition(const QByteArray& caption) const
{
    // After every equal caption, so that equal items keep the order they came in.
    const QCollatorSortKey key = Collation().sortKey(QString::fromLatin1(caption));
    int lo = 0, hi = topLevelItemCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (key.compare(ListItem(topLevelItem(mid))->Key) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

int TCheckListView::MoveToSortedPlace(QTreeWidgetItem* item)
{
    const int from = RowOf(item);
    const bool wasCurrent = currentItem() == item;
    const bool wasSelected = item->isSelected();
    ++FInternal;
    takeTopLevelItem(from);
    const int to = SortedPosition(item->data(0, CaptionRole).toByteArray());
    insertTopLevelItem(to, item);
    item->setSelected(wasSelected);
    --FInternal;
    emit OrderChanged();
    if (wasCurrent)
        setCurrentItem(item);  // notifies the item's new index
    return to;
}

int TCheckListView::Add(const QByteArray& caption)
{
    auto* item = new TListItem(QString::fromLatin1(caption));
    ++FInternal;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                   | (editTriggers() != NoEditTriggers ? Qt::ItemIsEditable : Qt::NoItemFlags));
    item->setData(0, CaptionRole, caption);
    item->setData(0, ImageIndexRole, -1);
    item->setData(0, StateImageRole, 0);
    item->setData(0, ItemIdRole, QVariant::fromValue<quint64>(FNextId++));
    item->setData(0, Qt::CheckStateRole, CheckFor(0));
    const int row = FSorted ? SortedPosition(caption) : topLevelItemCount();
    insertTopLevelItem(row, item);
    --FInternal;
    ++FCaptionCount[caption];
    emit Insert(row);
    emit ItemTouched(row);
    emit OrderChanged();
    return row;
}

void TCheckListView::Forget(const QByteArray& caption)
{
    auto it = FCaptionCount.find(caption);
    if (it != FCaptionCount.end() && --it.value() <= 0)
        FCaptionCount.erase(it);
}

void TCheckListView::Delete(int index)
{
    QTreeWidgetItem* item = Item(index);
    if (!item)
        return;
    Forget(item->data(0, CaptionRole).toByteArray());
    const uint64_t id = item->data(0, ItemIdRole).value<quint64>();
    // Deleting the current item makes a neighbour current, which is notified as a change.
    delete takeTopLevelItem(index);
    emit ItemRemoved(id);
}

void TCheckListView::Clear()
{
    ++FInternal;
    clear();
    --FInternal;
    FCaptionCount.clear();
    emit ListCleared();
}

QByteArray TCheckListView::Caption(int index) const
{
    const QTreeWidgetItem* item = Item(index);
    return item ? item->data(0, CaptionRole).toByteArray() : QByteArray();
}

void TCheckListView::SetCaption(int index, const QByteArray& caption)
{
    QTreeWidgetItem* item = Item(index);
    if (!item)
        return;
    Forget(item->data(0, CaptionRole).toByteArray());
    ++FCaptionCount[caption];
    ++FInternal;
    item->setData(0, CaptionRole, caption);
    item->setText(0, QString::fromLatin1(caption));
    ListItem(item)->CaptionChanged();
    --FInternal;
    const int row = FSorted ? MoveToSortedPlace(item) : index;
    emit ItemTouched(row);
    emit Change(row);
}

uint64_t TCheckListView::ItemId(int index) const
{
    const QTreeWidgetItem* item = Item(index);
    return item ? item->data(0, ItemIdRole).value<quint64>() : 0;
}

int TCheckListView::IndexOfItemId(uint64_t id, int hint) const
{
    if (id == 0)
        return -1;
    if (ItemId(hint) == id)
        return hint;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->data(0, ItemIdRole).value<quint64>() == id)
            return i;
    return -1;
}

bool TCheckListView::ContainsCaption(const QByteArray& caption) const { return FCaptionCount.contains(caption); }

bool TCheckListView::Checked(int index) const { return StateImage(index) != 0; }

void TCheckListView::SetChecked(int index, bool checked)
{
    QTreeWidgetItem* item = Item(index);
    if (!item)
        return;
    const int state = StateImage(index);
    // A hidden box keeps its look; the tick it stands for is "ticked" already.
    if (state == 3 && checked)
        return;
    SetStateImage(index, checked ? 1 : 0);
}

int TCheckListView::StateImage(int index) const
{
    const QTreeWidgetItem* item = Item(index);
    return item ? item->data(0, StateImageRole).toInt() : 0;
}

void TCheckListView::SetStateImage(int index, int stateImage)
{
    QTreeWidgetItem* item = Item(index);
    if (!item || item->data(0, StateImageRole).toInt() == stateImage)
        return;
    ++FInternal;
    item->setData(0, StateImageRole, stateImage);
    item->setData(0, Qt::CheckStateRole, CheckFor(stateImage));
    --FInternal;
    emit ItemTouched(index);
    emit Change(index);
}

int TCheckListView::ImageIndex(int index) const
{
    const QTreeWidgetItem* item = Item(index);
    return item ? item->data(0, ImageIndexRole).toInt() : -1;
}

void TCheckListView::SetImageIndex(int index, int imageIndex)
{
    QTreeWidgetItem* item = Item(index);
    if (!item)
        return;
    ++FInternal;
    if (item->data(0, ImageIndexRole).toInt() != imageIndex)
        SetRowHint(item, QString());
    item->setData(0, ImageIndexRole, imageIndex);
    item->setIcon(0, imageIndex >= 0 && imageIndex < FIcons.size() ? FIcons.at(imageIndex) : QIcon());
    --FInternal;
    emit ItemTouched(index);
    emit Change(index);
}

QString TCheckListView::Reason(int index) const
{
    const QTreeWidgetItem* item = Item(index);
    return item ? item->toolTip(0) : QString();
}

void TCheckListView::SetReason(int index, const QString& reason)
{
    QTreeWidgetItem* item = Item(index);
    if (!item)
        return;
    ++FInternal;
    SetRowHint(item, reason);
    --FInternal;
    emit ItemTouched(index);
}

void TCheckListView::SetRowHint(QTreeWidgetItem* item, const QString& hint)
{
    // An item without a hint of its own shows the list's hint.
    for (int column = 0; column < columnCount(); ++column)
        item->setToolTip(column, hint);
}

QByteArray TCheckListView::SubItem(int index, int column) const
{
    const QTreeWidgetItem* item = Item(index);
    return item ? item->data(column, CaptionRole).toByteArray() : QByteArray();
}

void TCheckListView::SetSubItem(int index, int column, const QByteArray& text)
{
    QTreeWidgetItem* item = Item(index);
    if (!item)
        return;
    ++FInternal;
    item->setData(column, CaptionRole, text);
    item->setText(column, QString::fromLatin1(text));
    --FInternal;
    emit ItemTouched(index);
    emit Change(index);
}

void TCheckListView::BeginUpdate()
{
    if (FUpdateHolds++ == 0)
        setUpdatesEnabled(false);
}

void TCheckListView::EndUpdate()
{
    if (FUpdateHolds > 0 && --FUpdateHolds == 0)
        setUpdatesEnabled(true);  // repaints what changed meanwhile, once
}

int TCheckListView::LiftUpdates()
{
    const int holds = FUpdateHolds;
    if (holds > 0) {
        FUpdateHolds = 0;
        setUpdatesEnabled(true);
    }
    return holds;
}

void TCheckListView::RestoreUpdates(int holds)
{
    for (int i = 0; i < holds; ++i)
        BeginUpdate();
}

void TCheckListView::SetSorted(bool on)
{
    // A list that is sorted already stays so while sorted: items go to their places as they
    // come, and captions that change move to theirs.
    const bool wasSorted = FSorted;
    FSorted = on;
    if (!on || wasSorted || topLevelItemCount() < 2)
        return;
    QTreeWidgetItem* current = currentItem();
    ++FInternal;
    sortItems(0, Qt::AscendingOrder);  // stable: equal captions keep their order
    setSortingEnabled(false);          // we keep the order ourselves; headers stay unclickable
    --FInternal;
    emit OrderChanged();
    if (current)
        setCurrentItem(current);
}

int TCheckListView::CurrentIndex() const { return RowOf(currentItem()); }

void TCheckListView::SetCurrentIndex(int index) { setCurrentItem(Item(index)); }

void TCheckListView::SetStateIcons(const QList<QIcon>& icons) { FIcons = icons; }

void TCheckListView::ItemChanged(QTreeWidgetItem* item)
{
    if (FInternal)
        return;
    const int row = RowOf(item);
    // A user's click on a box or an in-place edit: bring our roles in step with what it changed.
    const QVariant check = item->data(0, Qt::CheckStateRole);
    if (check.isValid()) {
        const int state = check.toInt() == int(Qt::Checked) ? 1 : 0;
        ++FInternal;
        item->setData(0, StateImageRole, state);
        --FInternal;
    }
    const QByteArray caption = item->text(0).toLatin1();
    if (caption != item->data(0, CaptionRole).toByteArray()) {
        Forget(item->data(0, CaptionRole).toByteArray());
        ++FCaptionCount[caption];
        ++FInternal;
        item->setData(0, CaptionRole, caption);
        ListItem(item)->CaptionChanged();
        --FInternal;
        // An edited caption takes its place in a sorted list and makes the item current.
        if (FSorted) {
            setCurrentItem(item);
            const int to = MoveToSortedPlace(item);
            emit ItemTouched(to);
            emit Change(to);
            return;
        }
    }
    emit ItemTouched(row);
    emit Change(row);
}

void TCheckListView::SetPopupMenu(QMenu* menu)
{
    FPopup = menu;
    if (contextMenuPolicy() == Qt::CustomContextMenu)
        return;
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (FPopup && FPopupAllowed)
            FPopup->popup(viewport()->mapToGlobal(pos));
    });
}
