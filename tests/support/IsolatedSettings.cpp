#include "IsolatedSettings.h"

#include <QDir>
#include <QFile>

#include "platform/ProgramDir.h"
#include "platform/TRegistry.h"

IsolatedSettings::IsolatedSettings()
{
    FHadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    FOldConfigHome = qgetenv("XDG_CONFIG_HOME");
    QDir(FRoot.path()).mkpath(QStringLiteral("config"));
    QDir(FRoot.path()).mkpath(QStringLiteral("program"));
    qputenv("XDG_CONFIG_HOME", (FRoot.path() + QStringLiteral("/config")).toLocal8Bit());
    // The desktop's download directory lies in the temporary folder too (not made yet), so that a
    // first start never makes one in the real home.
    QFile dirs(FRoot.path() + QStringLiteral("/config/user-dirs.dirs"));
    if (dirs.open(QIODevice::WriteOnly))
        dirs.write("XDG_DOWNLOAD_DIR=\"" + DesktopDownloadDirectory().toLocal8Bit() + "\"\n");
    SetProgramDirForTesting(ProgramDirectory());
}

IsolatedSettings::~IsolatedSettings()
{
    SetProgramDirForTesting(QString());
    if (FHadConfigHome)
        qputenv("XDG_CONFIG_HOME", FOldConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString IsolatedSettings::SettingsFile() const { return TRegistry::DefaultFileName(); }

QString IsolatedSettings::ProgramDirectory() const { return FRoot.path() + QStringLiteral("/program/"); }

QString IsolatedSettings::DesktopDownloadDirectory() const { return FRoot.path() + QStringLiteral("/Downloads"); }
