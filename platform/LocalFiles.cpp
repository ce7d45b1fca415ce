#include "platform/LocalFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool EntryExists(const QString& path)
{
    struct stat entry {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &entry) == 0;
}

bool CreateNewFile(QFile& file, const QString& path, QString* error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool RemoveInside(const QString& directory, const QString& path)
{
    if (directory.isEmpty() || path.isEmpty() || !EntryExists(path))
        return false;
    const QFileInfo entry(path);
    const QString home = QDir(directory).canonicalPath();
    // The entry's own directory, resolved; the entry itself is not followed.
    const QString parent = QDir(entry.absolutePath()).canonicalPath();
    if (home.isEmpty() || parent != home || entry.fileName() == QLatin1String(".")
        || entry.fileName() == QLatin1String(".."))
        return false;
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}
