#pragma once
// The picture grid: the file list's pictures as thumbnails with their pixel size, bytes and file
// name. It is a second view of the same items: a tick in one shows in the other.
#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QListView>
#include <QSet>
#include <cstdint>
#include <functional>
#include <vector>

class TCheckListView;

// What the window knows of a file item beyond the list's own columns.
struct TGridFacts {
    bool picture = false;  // only pictures take a cell
    int width = 0;         // pixels, 0 while unknown
    int height = 0;
    qint64 bytes = -1;  // -1 while unknown
};

class TPictureGridModel : public QAbstractListModel {
    Q_OBJECT
public:
    using FactsOf = std::function<TGridFacts(const QByteArray& address)>;
    TPictureGridModel(TCheckListView* list, FactsOf factsOf, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The list index a cell shows, -1 when the item is gone.
    int ListIndex(int row) const;
    // Takes the list's items again; list changes arrive here by themselves, a change of the
    // facts (a size learned) needs this call.
    void Refresh();
    // A thumbnail scaled once to the cell; kept for the session even when the list is cleared.
    void SetThumbnail(const QByteArray& address, const QImage& image);

    static constexpr int ThumbnailWidth = 128;
    static constexpr int ThumbnailHeight = 96;
    // "W x H", "?" for a side not known, empty when neither is.
    static QString SizeText(int width, int height);
    // The cell's text: file name, pixel size and bytes when known, one per line.
    static QString CellText(const QByteArray& fileName, const TGridFacts& facts);

signals:
    // The view asked for a thumbnail not held yet: asked once per address, visible cells first.
    void ThumbnailWanted(const QByteArray& address) const;

private:
    void ScheduleRefresh();
    TCheckListView* FList;
    FactsOf FFactsOf;
    std::vector<uint64_t> FItems;  // list item ids of the pictures, in list order
    QHash<QByteArray, QImage> FThumbnails;
    mutable QSet<QByteArray> FAsked;
    bool FRefreshPending = false;
};

class TPictureGrid : public QListView {
    Q_OBJECT
public:
    explicit TPictureGrid(QWidget* parent = nullptr);
};
