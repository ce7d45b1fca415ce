#include "platform/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString& Override()
{
    static QString dir;
    return dir;
}

QString WithSlash(const QString& directory)
{
    return directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
}
}  // namespace

QString DocumentationDir()
{
    if (!Override().isEmpty())
        return Override();
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(beside + QStringLiteral("/Kelvorn.rtf")))
        return WithSlash(beside);
    return WithSlash(QDir::cleanPath(beside + QStringLiteral("/../share/kelvorn")));
}

QString DataDir()
{
    if (!Override().isEmpty())
        return Override();
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dir);
    return WithSlash(dir);
}

void SetProgramDirForTesting(const QString& directory)
{
    Override() = directory.isEmpty() ? directory : WithSlash(directory);
}
