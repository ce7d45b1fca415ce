#include "widgets/TDriveComboBox.h"

#include <QDir>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    SetDrives(MountedDrives());
    connect(this, &QComboBox::activated, this, [this](int index) { emit DriveChanged(itemText(index)); });
}

bool TDriveComboBox::IsOfferedVolume(const QByteArray& fileSystemType, bool valid, bool ready, bool readOnly)
{
    // Kernel and run-time file systems hold no user files; read-only media cannot take downloads.
    static const char* const pseudo[] = {
        "proc",   "sysfs",    "devtmpfs",    "devpts",      "cgroup",         "cgroup2",  "securityfs",
        "pstore", "debugfs",  "tracefs",     "configfs",    "fusectl",        "mqueue",   "hugetlbfs",
        "bpf",    "autofs",   "binfmt_misc", "rpc_pipefs",  "nsfs",           "efivarfs", "selinuxfs",
        "ramfs",  "squashfs", "overlay",     "fuse.portal", "fuse.gvfsd-fuse"};
    if (!valid || !ready || readOnly)
        return false;
    for (const char* name : pseudo)
        if (fileSystemType == name)
            return false;
    return true;
}

QStringList TDriveComboBox::MountedDrives()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (IsOfferedVolume(volume.fileSystemType(), volume.isValid(), volume.isReady(), volume.isReadOnly())
            && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    if (roots.isEmpty())
        roots << QStringLiteral("/");
    roots.sort();
    return roots;
}

QString TDriveComboBox::DriveOf(const QString& path, const QStringList& roots)
{
    const QString clean = QDir::cleanPath(path);
    QString best;
    for (const QString& root : roots) {
        const bool holds = root == QLatin1String("/") || clean == root
            || clean.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

void TDriveComboBox::SetDrives(const QStringList& roots)
{
    const QSignalBlocker quiet(this);
    clear();
    const QIcon picture = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString& root : roots)
        addItem(picture, root);
}

QStringList TDriveComboBox::Drives() const
{
    QStringList roots;
    for (int i = 0; i < count(); ++i)
        roots << itemText(i);
    return roots;
}

void TDriveComboBox::ShowDriveOf(const QString& path)
{
    const QSignalBlocker quiet(this);
    const int at = findText(DriveOf(path, Drives()));
    if (at >= 0)
        setCurrentIndex(at);
}
