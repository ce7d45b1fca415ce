#pragma once
// The command line of kelvorn-get, read into plain values. Reading it needs no application
// object and touches no file, so --help and --version answer at once and tests call it directly.
#include <QString>
#include <QStringList>
#include <optional>

#include "rules/FileFilter.h"

enum class TCliAction { Download, List, Export, Aria2, Help, Version };
enum class TExportFormat { Aria2, Wget, Text };

struct TCliOptions {
    TCliAction Action = TCliAction::Download;
    QStringList Urls;
    QString Directory;  // empty: the current directory
    bool Json = false;
    bool NoConfig = false;
    // Options of the window's table that the command line sets; nothing: as the settings say.
    std::optional<bool> Modern;
    std::optional<bool> OneLevelUp;
    std::optional<bool> SkipExisting;
    bool ParseLinks = false;
    // Choosing.
    unsigned Kinds = AllFileKinds;
    QString Select;  // a glob, or /REGEX/
    QString Host;
    qint64 MinBytes = 0;
    int MinWidth = 0;
    int MinHeight = 0;
    bool LargestOnly = false;
    bool History = false;
    // Transfers.
    int HostConnections = 0;
    int Retries = -1;  // -1: as the window (further tries with --modern, none otherwise)
    // Hand-off.
    TExportFormat ExportFormat = TExportFormat::Text;
    QString ExportFile;
    QStringList Aria2Urls;
    QString Aria2Secret;
    bool Wait = false;
};

struct TCliParse {
    TCliOptions Options;
    QString Error;  // empty when the command line is good
};

// `args` without the program's name.
TCliParse ParseCommandLine(const QStringList& args);

QString CliUsage();    // the --help text
QString CliVersion();  // the --version text
