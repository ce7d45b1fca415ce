#include "core/HarvestOptions.h"
#include "core/HarvestSettings.h"

#include <algorithm>
#include <vector>

#include "platform/TRegistry.h"
#include "rules/TransferRules.h"

namespace {
// clang-format off
const std::array<TOptionInfo, OptionCount> Table = {{
    {TOption::AddFilesWhenParse, "Addnewfilestoexcistinglistwhenparsing1", "AddFilesWhenParse", false,
     "Add new files to excisting list when parsing", nullptr, 4, 3},
    {TOption::AutoDownload, "Autoselectdownloadfilesafterparsing1", "AutoDownload", false,
     "Auto select && download files after parsing", nullptr, 1, 0},
    {TOption::SelectFirst, "Autoselectfirstfilefromeachlink1", "SelectFirst", false,
     "Auto select first file from each link parsed", nullptr, 12, 11},
    {TOption::SkipFile, "Skipfileifexistindownloaddirectory1", "SkipFile", true,
     "Skip file if exist in download directory   (Unchecked it renames file automatic)", "N2", 0, 8},
    {TOption::AddLinks, "Addnewlinksfoundwhenparsingtoexistinglist1", "AddLinks", true,
     "Add child links found when parsing to existing list", "N3", 11, 10},
    {TOption::IncludeEmbedded, "Addembeddedimageswhenparsing1", "IncludeEmb", true,
     "Add embedded images when parsing (\"Html pictures\")", nullptr, 8, 13},
    {TOption::ParseOneLevelUp, "Includelinksonelevelupwhenparsingmaindocument1", "ParseOneLevelUp", false,
     "Include links one level up when parsing main document (Recourse)", nullptr, 5, 4},
    {TOption::Beep, "Beepwhendoneworking1", "Beep", true,
     "Beep when done working", "N4", 6, 5},
    {TOption::BossName, "Usefriendlybossnameontaskbar1", "BossName", false,
     "Use friendly name on taskbar  (Your boss may look)", nullptr, 3, 2},
    {TOption::ShowProgress, "Displaydownloadengineprogress1", "ShowProgress", true,
     "Display download engine progress", "N5", 13, 12},
    {TOption::Preview, "Displayimagepreview1", "Preview", true,
     "Display image preview", nullptr, 7, 6},
    {TOption::PreviewJump, "Letpreviewjumptolatestfiledownloaded1", "PreviewJump", false,
     "Preview latest file downloaded automatic", nullptr, 9, 7},
    {TOption::AutoSave, "Autosavelinksfilesasdefaultonquit1", "AutoSave", false,
     "Save links && files on program exit", "N6", 2, 1},
    {TOption::SaveWindow, "Savewindowpositiononexit1", "SaveWindow", false,
     "Save window position && size on program exit", nullptr, 10, 9},
    {TOption::ModernLinks, "Findlinksasabrowserdoesmodernpages1", "ModernLinks", false,
     "Find links as a browser does (modern pages)", "N14", -1, -1},
    {TOption::SkipDownloadedBefore, "Skipfilesdownloadedbefore1", "SkipDownloadedBefore", false,
     "Skip files downloaded before", "N16", -1, -1},
}};
// clang-format on

std::vector<const TOptionInfo*> ByRank(int TOptionInfo::*rank)
{
    std::vector<const TOptionInfo*> group;
    for (const TOptionInfo& info : Table)
        if (info.*rank >= 0)
            group.push_back(&info);
    std::sort(group.begin(), group.end(),
              [rank](const TOptionInfo* a, const TOptionInfo* b) { return a->*rank < b->*rank; });
    return group;
}
}  // namespace

QString HarvestSettingsKey() { return QStringLiteral("\\SoftWare\\Kelvorn"); }

const std::array<TOptionInfo, OptionCount>& OptionTable() { return Table; }

const TOptionInfo& OptionInfo(TOption option) { return Table[std::size_t(option)]; }

const TOptionInfo* FindOption(const QString& name)
{
    for (const TOptionInfo& info : Table)
        if (name == QLatin1String(info.SettingsName) || name == QLatin1String(info.ItemName))
            return &info;
    return nullptr;
}

int HostConnectionsFrom(std::optional<int32_t> stored)
{
    for (const int choice : HostConnectionChoices)
        if (stored == choice)
            return choice;
    return DefaultHostConnections;
}

THarvestOptions::THarvestOptions(QObject* parent) : QObject(parent), FHostConnections(DefaultHostConnections)
{
    for (const TOptionInfo& info : Table)
        FValues[std::size_t(info.Id)] = info.Default;
}

void THarvestOptions::Set(TOption option, bool on)
{
    bool& value = FValues[std::size_t(option)];
    if (value == on)
        return;
    value = on;
    emit Changed(option, on);
}

void THarvestOptions::SetHostConnections(int connections)
{
    connections = HostConnectionsFrom(connections);
    if (connections == FHostConnections)
        return;
    FHostConnections = connections;
    emit HostConnectionsChanged(connections);
}

void THarvestOptions::ReadGroup(const TRegistry& reg)
{
    for (const TOptionInfo* info : ByRank(&TOptionInfo::ReadRank)) {
        const std::optional<int32_t> value = reg.ReadInteger(QLatin1String(info->SettingsName));
        if (!value)
            break;
        Set(info->Id, *value != 0);
    }
}

void THarvestOptions::ReadApart(const TRegistry& reg)
{
    for (const TOptionInfo& info : Table)
        if (info.ReadRank < 0)
            Set(info.Id, reg.ReadInteger(QLatin1String(info.SettingsName)).value_or(info.Default) != 0);
    SetHostConnections(HostConnectionsFrom(reg.ReadInteger(QLatin1String(HostConnectionsOption.SettingsName))));
}

void THarvestOptions::WriteGroup(TRegistry& reg) const
{
    for (const TOptionInfo* info : ByRank(&TOptionInfo::WriteRank))
        reg.WriteBool(QLatin1String(info->SettingsName), Get(info->Id));
}

void THarvestOptions::WriteApart(TRegistry& reg) const
{
    for (const TOptionInfo& info : Table)
        if (info.WriteRank < 0)
            reg.WriteBool(QLatin1String(info.SettingsName), Get(info.Id));
    reg.WriteInteger(QLatin1String(HostConnectionsOption.SettingsName), FHostConnections);
}
