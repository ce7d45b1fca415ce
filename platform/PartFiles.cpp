#include "platform/PartFiles.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/LocalFiles.h"

QString PartFilePath(const QString& finalPath) { return finalPath + QStringLiteral(".part"); }

bool OpenTransferFile(QFile& file, const QString& path, QString* error)
{
    // Never through a symbolic link: a link planted where the file goes would carry the data
    // elsewhere.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool KeepPartFile(const QString& partPath, const QString& finalPath, QString* error)
{
    // Qt's rename refuses an existing target (on Linux by an atomic no-replace rename).
    if (EntryExists(finalPath)) {
        if (error)
            *error = QStringLiteral("File exists");
        return false;
    }
    QFile part(partPath);
    if (part.rename(finalPath))
        return true;
    if (error)
        *error = part.errorString();
    return false;
}
