#include "platform/ProgramDir.h"

#include <QCoreApplication>

namespace {
QString& Override()
{
    static QString dir;
    return dir;
}
}  // namespace

QString ProgramDir()
{
    if (!Override().isEmpty())
        return Override();
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

void SetProgramDirForTesting(const QString& directory)
{
    Override() = directory.isEmpty() || directory.endsWith(QLatin1Char('/')) ? directory
                                                                              : directory + QLatin1Char('/');
}
