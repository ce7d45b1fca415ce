#include "main/UnitMain.h"

#include <QApplication>
#include <QFile>
#include <QToolButton>

#include "widgets/TFlatComboBox.h"

bool TFormMain::DirectoryOk(const QString& directory)
{
    // A text ending in the separator (the root "/" among them) is not taken as a directory.
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('/')))
        return false;
    const QString path = directory + QStringLiteral("/Kelvorn.txt");
    QFile test(path);
    if (!test.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray line = "For test perpose only - This file can be deleted !\n";
    const bool written = test.write(line) == line.size() && test.flush();
    test.close();
    const bool closed = test.error() == QFileDevice::NoError;
    const bool removed = QFile::remove(path);
    return written && closed && removed;
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
