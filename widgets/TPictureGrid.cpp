#include "widgets/TPictureGrid.h"

#include <QLocale>
#include <QTimer>

#include "widgets/TCheckListView.h"

namespace {
// Image index -1 marks an item the user may still tick; state image 3 hides the box.
bool Untouched(const TCheckListView& list, int index)
{
    return list.ImageIndex(index) == -1 && list.StateImage(index) != 3;
}
}  // namespace

TPictureGridModel::TPictureGridModel(TCheckListView* list, FactsOf factsOf, QObject* parent)
    : QAbstractListModel(parent), FList(list), FFactsOf(std::move(factsOf))
{
    // Many changes arrive in a burst while a page is listed: the grid follows once after them.
    connect(FList, &TCheckListView::Change, this, [this](int) { ScheduleRefresh(); });
    connect(FList, &TCheckListView::Insert, this, [this](int) { ScheduleRefresh(); });
    connect(FList, &TCheckListView::ItemRemoved, this, [this](uint64_t) { ScheduleRefresh(); });
    connect(FList, &TCheckListView::ListCleared, this, [this] { ScheduleRefresh(); });
    connect(FList, &TCheckListView::OrderChanged, this, [this] { ScheduleRefresh(); });
    Refresh();
}

void TPictureGridModel::ScheduleRefresh()
{
    if (FRefreshPending)
        return;
    FRefreshPending = true;
    QTimer::singleShot(0, this, [this] { Refresh(); });
}

void TPictureGridModel::Refresh()
{
    FRefreshPending = false;
    std::vector<uint64_t> items;
    for (int i = 0; i < FList->Count(); ++i)
        if (FFactsOf(FList->Caption(i)).picture)
            items.push_back(FList->ItemId(i));
    if (items == FItems) {
        if (!FItems.empty())
            emit dataChanged(index(0), index(int(FItems.size()) - 1));
        return;
    }
    beginResetModel();
    FItems = std::move(items);
    endResetModel();
}

int TPictureGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(FItems.size()); }

int TPictureGridModel::ListIndex(int row) const
{
    if (row < 0 || row >= int(FItems.size()))
        return -1;
    return FList->IndexOfItemId(FItems[size_t(row)], row);
}

QString TPictureGridModel::SizeText(int width, int height)
{
    if (width <= 0 && height <= 0)
        return {};
    const auto side = [](int v) { return v > 0 ? QString::number(v) : QStringLiteral("?"); };
    return side(width) + QStringLiteral(" x ") + side(height);
}

QString TPictureGridModel::CellText(const QByteArray& fileName, const TGridFacts& facts)
{
    QString text = QString::fromLatin1(fileName);
    const QString size = SizeText(facts.width, facts.height);
    if (!size.isEmpty())
        text += QLatin1Char('\n') + size;
    if (facts.bytes >= 0)
        text += QLatin1Char('\n') + QLocale::c().formattedDataSize(facts.bytes, 1, QLocale::DataSizeTraditionalFormat);
    return text;
}

QVariant TPictureGridModel::data(const QModelIndex& index, int role) const
{
    const int at = index.isValid() ? ListIndex(index.row()) : -1;
    if (at < 0)
        return {};
    const QByteArray address = FList->Caption(at);
    switch (role) {
    case Qt::DisplayRole: return CellText(FList->SubItem(at, 1), FFactsOf(address));
    case Qt::ToolTipRole: return QString::fromLatin1(address);
    case Qt::CheckStateRole: return FList->Checked(at) ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole: {
        const auto found = FThumbnails.constFind(address);
        if (found != FThumbnails.cend())
            return *found;
        // Views ask only for the cells they paint, so the visible ones are fetched first.
        if (!FAsked.contains(address)) {
            FAsked.insert(address);
            emit ThumbnailWanted(address);
        }
        return {};
    }
    default: return {};
    }
}

Qt::ItemFlags TPictureGridModel::flags(const QModelIndex& index) const
{
    const int at = index.isValid() ? ListIndex(index.row()) : -1;
    if (at < 0)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    // Files that are downloading or done keep their state: their tick is not the user's to change.
    if (Untouched(*FList, at))
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool TPictureGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int at = index.isValid() ? ListIndex(index.row()) : -1;
    if (role != Qt::CheckStateRole || at < 0 || !Untouched(*FList, at))
        return false;
    FList->SetChecked(at, value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

void TPictureGridModel::SetThumbnail(const QByteArray& address, const QImage& image)
{
    QImage scaled = image;
    if (image.width() > ThumbnailWidth || image.height() > ThumbnailHeight)
        scaled = image.scaled(ThumbnailWidth, ThumbnailHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    FThumbnails.insert(address, scaled);
    for (size_t row = 0; row < FItems.size(); ++row) {
        const int at = ListIndex(int(row));
        if (at >= 0 && FList->Caption(at) == address) {
            const QModelIndex cell = this->index(int(row));
            emit dataChanged(cell, cell, {Qt::DecorationRole});
        }
    }
}

TPictureGrid::TPictureGrid(QWidget* parent) : QListView(parent)
{
    setObjectName(QStringLiteral("PictureGrid"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setUniformItemSizes(true);  // hundreds of cells laid out without asking each for its size
    setLayoutMode(QListView::Batched);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setIconSize(QSize(TPictureGridModel::ThumbnailWidth, TPictureGridModel::ThumbnailHeight));
    setGridSize(QSize(TPictureGridModel::ThumbnailWidth + 24, TPictureGridModel::ThumbnailHeight + 64));
    setTextElideMode(Qt::ElideMiddle);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}
