#pragma once
// Points the per-user settings store and the program's own directory into a fresh temporary
// folder for the lifetime of the object, so that a test never reads or writes the user's files.
#include <QString>
#include <QTemporaryDir>

class IsolatedSettings {
public:
    IsolatedSettings();
    ~IsolatedSettings();
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

    QString SettingsFile() const;      // where the settings store keeps its values
    QString ProgramDirectory() const;  // ends with "/"
    QString Root() const { return FRoot.path(); }
    QString DesktopDownloadDirectory() const;  // the desktop's download directory inside Root()

private:
    QTemporaryDir FRoot;
    QByteArray FOldConfigHome;
    bool FHadConfigHome = false;
};
