#include "main/UnitMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QToolButton>

#include "widgets/TFlatComboBox.h"

namespace {
const QByteArray TestLine = "For test perpose only - This file can be deleted !\n";

// Writes the test line into the open file, closes it and deletes it; true when all of it worked.
bool WriteCloseDelete(QFile& file)
{
    const bool written = file.write(TestLine) == TestLine.size() && file.flush();
    file.close();
    const bool closed = file.error() == QFileDevice::NoError;
    return file.remove() && written && closed;
}

// A file of the test file's name that holds something else belongs to the user.
bool IsOurLeftover(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.size() <= TestLine.size() + 2
        && file.readAll().trimmed() == TestLine.trimmed();
}
}  // namespace

bool TFormMain::DirectoryOk(const QString& directory)
{
    // A text ending in the separator (the root "/" among them) is not taken as a directory.
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('/')))
        return false;
    const QString path = directory + QStringLiteral("/Kelvorn.txt");
    if (QFile::exists(path) && !IsOurLeftover(path)) {
        // Never overwrite and delete a file of the user's: probe with a name of our own instead.
        if (!QFileInfo(path).isFile())
            return false;
        QTemporaryFile probe(directory + QStringLiteral("/Kelvorn-XXXXXX.txt"));
        probe.setAutoRemove(false);
        return probe.open() && WriteCloseDelete(probe);
    }
    QFile test(path);
    if (!test.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return WriteCloseDelete(test);
}

bool TFormMain::CreateDefaultDownloadDir()
{
    const QString directory = DefaultDownloadDir();
    // Only a real directory path: the root and an empty location are never "made".
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('/')))
        return false;
    return QDir().mkpath(directory);
}

void TFormMain::ComboBoxBookmarkChange() { ButtonStart->setEnabled(!ComboBoxBookmark->Text().isEmpty()); }

void TFormMain::ComboBoxDownloadChange()
{
    if (DirectoryOk(ComboBoxDownload->Text())) {
        const QPalette system = QApplication::palette();
        ComboBoxDownload->SetColors(system.color(QPalette::Base), system.color(QPalette::Text));
    } else {
        ComboBoxDownload->SetColors(QColor(255, 0, 0), QColor(255, 255, 255));
    }
}
