#pragma once
// The fifteen options, declared once: what the menu shows, what the settings store keeps, and
// in which order the start-up reads and the shut-down writes them. The window's menu, the
// settings and a command-line front end all read this one table.
#include <QObject>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

class TRegistry;

// In the order of the Options menu.
enum class TOption {
    AddFilesWhenParse,
    AutoDownload,
    SelectFirst,
    SkipFile,
    AddLinks,
    IncludeEmbedded,
    ParseOneLevelUp,
    Beep,
    BossName,
    ShowProgress,
    Preview,
    PreviewJump,
    AutoSave,
    SaveWindow,
    ModernLinks,
    SkipDownloadedBefore,
};
inline constexpr std::size_t OptionCount = 16;

struct TOptionInfo {
    TOption Id;
    const char* ItemName;         // the menu item's object name
    const char* SettingsName;     // the settings store's value name
    bool Default;                 // before any settings were read
    const char* Caption;          // the menu caption, "&&" for a shown "&"
    const char* SeparatorBefore;  // the object name of a separator above the item; null for none
    // Position in the start-up's reading group and the shut-down's writing group. -1: kept
    // apart, read with its default when absent and written after everything else (an option
    // added later, so that older settings files keep their meaning).
    int ReadRank;
    int WriteRank;
};

// Every option, in menu order.
const std::array<TOptionInfo, OptionCount>& OptionTable();
const TOptionInfo& OptionInfo(TOption option);
// The option whose settings value or menu item has `name`; null when none does.
const TOptionInfo* FindOption(const QString& name);

// The one option with more than two values: connections to one host at a time, for the modern
// option's transfers. A submenu of the Options menu; kept apart in the settings, after the others.
struct THostConnectionsInfo {
    const char* MenuName = "Connectionsperhost1";
    const char* SettingsName = "HostConnections";
    const char* Caption = "Connections per host (modern pages)";
};
inline constexpr THostConnectionsInfo HostConnectionsOption;
// A stored value that is none of the choices reads as the default.
int HostConnectionsFrom(std::optional<int32_t> stored);

// The current option values.
class THarvestOptions : public QObject {
    Q_OBJECT
public:
    explicit THarvestOptions(QObject* parent = nullptr);

    bool Get(TOption option) const { return FValues[std::size_t(option)]; }
    void Set(TOption option, bool on);
    int HostConnections() const { return FHostConnections; }
    void SetHostConnections(int connections);

    // The start-up's reading: the group in its order, stopping at the first absent or
    // mistyped value (the values after it keep what they had), then the options kept apart.
    void ReadGroup(const TRegistry& reg);
    void ReadApart(const TRegistry& reg);
    // The shut-down's writing, in the same two parts.
    void WriteGroup(TRegistry& reg) const;
    void WriteApart(TRegistry& reg) const;

signals:
    void Changed(TOption option, bool on);
    void HostConnectionsChanged(int connections);

private:
    std::array<bool, OptionCount> FValues{};
    int FHostConnections;
};
