#pragma once
// The directory list of the directory chooser: the folders on the path of the shown directory
// from its drive's root down (opened folders, the shown one as the current folder), then the
// shown directory's sub-folders (closed folders). A double click or Enter opens a folder.
#include <QIcon>
#include <QStringList>
#include <QTreeWidget>

class TDirectoryListBox : public QTreeWidget {
    Q_OBJECT
public:
    enum FolderKind { Opened, Current, Closed };

    explicit TDirectoryListBox(QWidget* parent = nullptr);

    // The drives' roots; the list starts at the one that holds the shown directory ("/" if none).
    void SetRoots(const QStringList& roots);
    QString Directory() const { return FDirectory; }
    // Moves to an existing directory, rebuilds and redraws; false (and nothing changes) otherwise.
    bool SetDirectory(const QString& path);
    // Rebuilds the list for the shown directory (after a folder was made in it, say).
    void Rebuild();

    // What the list holds, top to bottom: full path and kind of each row.
    QStringList RowPaths() const;
    FolderKind RowKind(int row) const;

signals:
    void DirectoryChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The rows are a path, not a tree to fold: no expand marks.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    void Open(QTreeWidgetItem* item);
    QStringList FRoots;
    QString FDirectory;
    QIcon FPictures[3];
};
