#include "widgets/TDirectoryListBox.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>

#include "widgets/TDriveComboBox.h"
#include "widgets/SvgIcon.h"

namespace {
constexpr int PathRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;
}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    FPictures[Opened] = SvgIcon(QStringLiteral("folder-opened"));
    FPictures[Current] = SvgIcon(QStringLiteral("folder-current"));
    FPictures[Closed] = SvgIcon(QStringLiteral("folder-closed"));
    FRoots << QStringLiteral("/");
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { Open(item); });
}

void TDirectoryListBox::SetRoots(const QStringList& roots)
{
    FRoots = roots;
    if (!FDirectory.isEmpty())
        Rebuild();
}

bool TDirectoryListBox::SetDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isDir())
        return false;
    FDirectory = QDir::cleanPath(info.absoluteFilePath());
    Rebuild();
    emit DirectoryChanged(FDirectory);
    return true;
}

void TDirectoryListBox::Rebuild()
{
    clear();
    if (FDirectory.isEmpty())
        return;
    QString root = TDriveComboBox::DriveOf(FDirectory, FRoots);
    if (root.isEmpty())
        root = QStringLiteral("/");
    // The path from the root down, each folder one step further in.
    QStringList chain{root};
    const QString below = FDirectory.mid(root.size());
    QString at = root;
    for (const QString& part : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        at = at.endsWith(QLatin1Char('/')) ? at + part : at + QLatin1Char('/') + part;
        chain << at;
    }
    QTreeWidgetItem* parent = nullptr;
    for (int i = 0; i < chain.size(); ++i) {
        const bool current = i == chain.size() - 1;
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, i == 0 ? chain[i] : QFileInfo(chain[i]).fileName());
        item->setData(0, PathRole, chain[i]);
        item->setData(0, KindRole, current ? Current : Opened);
        item->setIcon(0, FPictures[current ? Current : Opened]);
        parent = item;
    }
    const QDir dir(FDirectory);
    const QStringList subs = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subs) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, name);
        item->setData(0, PathRole, dir.filePath(name));
        item->setData(0, KindRole, Closed);
        item->setIcon(0, FPictures[Closed]);
    }
    expandAll();
    setCurrentItem(parent);
    scrollToItem(parent);
}

QStringList TDirectoryListBox::RowPaths() const
{
    QStringList out;
    for (QTreeWidgetItemIterator it(const_cast<TDirectoryListBox*>(this)); *it; ++it)
        out << (*it)->data(0, PathRole).toString();
    return out;
}

TDirectoryListBox::FolderKind TDirectoryListBox::RowKind(int row) const
{
    int i = 0;
    for (QTreeWidgetItemIterator it(const_cast<TDirectoryListBox*>(this)); *it; ++it, ++i)
        if (i == row)
            return FolderKind((*it)->data(0, KindRole).toInt());
    return Closed;
}

void TDirectoryListBox::Open(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QString path = item->data(0, PathRole).toString();
    if (path != FDirectory && !SetDirectory(path))
        Rebuild();  // the folder went away meanwhile: show what is there now
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Open(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
