#include "platform/PartFiles.h"

#include <QFile>
#include <QFileInfo>

QString PartFilePath(const QString& finalPath) { return finalPath + QStringLiteral(".part"); }

bool OpenTransferFile(QFile& file, const QString& path, QString* error)
{
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

bool KeepPartFile(const QString& partPath, const QString& finalPath, QString* error)
{
    // Qt's rename refuses an existing target (on Linux by an atomic no-replace rename).
    if (QFileInfo(finalPath).exists() || QFileInfo(finalPath).isSymLink()) {
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
