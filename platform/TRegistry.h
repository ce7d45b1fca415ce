#pragma once
// The per-user settings store: one INI file (~/.config/Kelvorn/Kelvorn.conf by default) whose
// groups stand for keys. Texts are strings; integers are 32-bit and read back only when the
// stored text parses as one, so a missing or mistyped value reads as "absent".
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

// A list kept as one text value: every entry followed by CR LF; an empty list is empty text.
QString TextFromStrings(const QStringList& entries);
// Its lines (CR LF, CR or LF end a line; a final line break adds no empty entry).
QStringList StringsFromText(const QString& text);

class TRegistry {
public:
    TRegistry();                                  // the user's settings file
    explicit TRegistry(const QString& fileName);  // any INI file
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    static QString DefaultFileName();
    QString FileName() const;

    // Opens a key such as "\SoftWare\Kelvorn"; with canCreate a missing key is created.
    // Returns false only when the key is missing and may not be created.
    bool OpenKey(const QString& key, bool canCreate);
    bool KeyExists(const QString& key) const;
    void CloseKey();  // writes pending changes to the file

    bool ValueExists(const QString& name) const;
    // Absent texts read as empty.
    QString ReadString(const QString& name) const;
    // nullopt when the value is absent or is not a 32-bit integer.
    std::optional<int32_t> ReadInteger(const QString& name) const;
    void WriteString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, int32_t value);
    void WriteBool(const QString& name, bool value) { WriteInteger(name, value ? 1 : 0); }
    void DeleteValue(const QString& name);

private:
    static QString GroupOf(const QString& key);
    std::unique_ptr<QSettings> FSettings;
    QString FGroup;
    bool FOpen = false;
};
