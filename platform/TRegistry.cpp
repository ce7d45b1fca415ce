#include "platform/TRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

TRegistry::TRegistry() : TRegistry(DefaultFileName()) {}

TRegistry::TRegistry(const QString& fileName) : FSettings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

TRegistry::~TRegistry() { CloseKey(); }

QString TRegistry::DefaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Kelvorn/Kelvorn.conf");
}

QString TRegistry::FileName() const { return FSettings->fileName(); }

QString TRegistry::GroupOf(const QString& key)
{
    // "\SoftWare\Kelvorn" -> "SoftWare/Kelvorn": the INI groups stand for the key path.
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('/'));
}

bool TRegistry::KeyExists(const QString& key) const
{
    const QString group = GroupOf(key);
    if (group.isEmpty())
        return true;
    for (const QString& k : FSettings->allKeys())
        if (k.startsWith(group + QLatin1Char('/')))
            return true;
    return false;
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    CloseKey();
    if (!canCreate && !KeyExists(key))
        return false;
    if (canCreate) {
        // The store's folder must exist before the first write can land.
        QDir().mkpath(QFileInfo(FSettings->fileName()).absolutePath());
    }
    FGroup = GroupOf(key);
    FSettings->beginGroup(FGroup);
    FOpen = true;
    return true;
}

void TRegistry::CloseKey()
{
    if (FOpen) {
        FSettings->endGroup();
        FOpen = false;
        FGroup.clear();
    }
    FSettings->sync();
}

bool TRegistry::ValueExists(const QString& name) const { return FSettings->contains(name); }

QString TRegistry::ReadString(const QString& name) const
{
    const QVariant v = FSettings->value(name);
    if (!v.isValid())
        return QString();
    // A hand-edited value with bare commas comes back as a list: keep its text whole.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

std::optional<int32_t> TRegistry::ReadInteger(const QString& name) const
{
    const QVariant v = FSettings->value(name);
    if (!v.isValid())
        return std::nullopt;
    bool ok = false;
    const int value = v.toString().trimmed().toInt(&ok);  // toInt is 32-bit: larger numbers fail
    if (!ok)
        return std::nullopt;
    return int32_t(value);
}

void TRegistry::WriteString(const QString& name, const QString& value) { FSettings->setValue(name, value); }

void TRegistry::WriteInteger(const QString& name, int32_t value) { FSettings->setValue(name, int(value)); }

void TRegistry::DeleteValue(const QString& name) { FSettings->remove(name); }

QString TextFromStrings(const QStringList& entries)
{
    QString text;
    for (const QString& entry : entries)
        text += entry + QStringLiteral("\r\n");
    return text;
}

QStringList StringsFromText(const QString& text)
{
    QStringList lines;
    QString line;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}
