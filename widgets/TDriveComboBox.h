#pragma once
// The drive drop-down of the directory chooser. A "drive" here is a mounted file system that
// is ready, writable and not one of the kernel's pseudo file systems, shown by its root path.
#include <QComboBox>
#include <QStringList>

class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);

    // Whether a mounted file system is offered as a drive.
    static bool IsOfferedVolume(const QByteArray& fileSystemType, bool valid, bool ready, bool readOnly);
    // The root paths of the offered volumes, sorted; never empty ("/" at least).
    static QStringList MountedDrives();
    // The drive (of the given roots) that holds a path: the longest root that contains it.
    static QString DriveOf(const QString& path, const QStringList& roots);

    void SetDrives(const QStringList& roots);  // replaces the offered drives (tests use fixed ones)
    QStringList Drives() const;
    QString Drive() const { return currentText(); }
    // Shows the drive that holds the path, without announcing a change.
    void ShowDriveOf(const QString& path);

signals:
    void DriveChanged(const QString& root);  // the user picked another drive
};
