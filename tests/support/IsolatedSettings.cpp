#include "IsolatedSettings.h"

#include <QDir>

#include "platform/ProgramDir.h"
#include "platform/TRegistry.h"

IsolatedSettings::IsolatedSettings()
{
    FHadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    FOldConfigHome = qgetenv("XDG_CONFIG_HOME");
    QDir(FRoot.path()).mkpath(QStringLiteral("config"));
    QDir(FRoot.path()).mkpath(QStringLiteral("program"));
    qputenv("XDG_CONFIG_HOME", (FRoot.path() + QStringLiteral("/config")).toLocal8Bit());
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
