// Download files: walking the file list, engine slots, local file names, the finished-file check.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include "download/UiCall.h"
#include "download/UnitDownloadThreads.h"
#include "rules/FileNaming.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

namespace {
constexpr int StartStep = 50;  // ms between two engine starts, and between tries for a free slot

bool FileExistsAt(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

// A name is taken when anything lies at its path (a directory cannot be written either), or
// when a running engine was handed that path and may not have created its file yet.
bool PathTaken(const QString& path) { return QFileInfo::exists(path) || TDownload::PathInUse(path); }

// Waits while the window keeps processing its events, without spinning.
void WaitProcessing(int ms)
{
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QTimer wake;  // makes sure each wait below returns by the deadline
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        if (!wake.isActive())
            wake.start(int(qMax<qint64>(1, deadline.remainingTime())));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
}  // namespace

void TFormMain::WireDownload()
{
    if (!ButtonDownload)
        return;
    connect(ButtonDownload, &QAbstractButton::clicked, this, [this] {
        try {
            ButtonDownloadClick();
        } catch (...) {
        }
    });
}

QString TFormMain::LocalPath(int index) const
{
    return ComboBoxDownload->Text() + QLatin1Char('/') + QString::fromLatin1(ListViewFile->SubItem(index, 1));
}

void TFormMain::ButtonDownloadClick()
{
    // A second run started from inside the first one's event processing would walk the list
    // twice; the running one already does the work.
    if (FDownloadRunning)
        return;
    FDownloadRunning = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{FDownloadRunning};

    ButtonStopClick();
    // Stop, pressed while engines run, would enable the directory field again; it stays
    // disabled until the last engine has finished, since engines find their files through it.
    const auto keepFieldDisabled = [this] {
        ComboBoxDownload->setEnabled(false);
        if (SpeedButton1)
            SpeedButton1->setEnabled(false);
    };
    keepFieldDisabled();
    Busy = true;
    StopRequested = false;
    UpdateScreen();
    keepFieldDisabled();
    SetStatusText(QStringLiteral("Status: File download"));
    ProcessMessages();
    keepFieldDisabled();

    const int count = ListViewFile->Count();
    for (int i = 0; i < count; ++i) {
        if (!StopRequested && i < ListViewFile->Count() && ListViewFile->Checked(i)
            && ListViewFile->ImageIndex(i) == FilePending) {
            if (Skipfileifexistindownloaddirectory1 && Skipfileifexistindownloaddirectory1->isChecked()
                && (FileExistsAt(LocalPath(i)) || TDownload::PathInUse(LocalPath(i)))) {
                ListViewFile->SetImageIndex(i, FileSkipped);
                ListViewFile->SetStateImage(i, NoBoxStateImage);
                ListViewFile->SetSubItem(i, 2, "(Skipped)");
            } else {
                ListViewFile->SetImageIndex(i, FileDownloading);
                ListViewFile->SetStateImage(i, NoBoxStateImage);
                if (!CheckFileName(i)) {
                    ListViewFile->SetImageIndex(i, FileFailed);
                } else {
                    for (;;) {
                        ProcessMessages();
                        keepFieldDisabled();
                        if (StopRequested || i >= ListViewFile->Count())
                            break;
                        const bool started = StartDownload(ListViewFile->Caption(i), LocalPath(i), i);
                        WaitProcessing(StartStep);
                        keepFieldDisabled();
                        if (started)
                            break;
                    }
                }
            }
        }
        ProcessMessages();
        keepFieldDisabled();
    }

    // Every engine's last change is its light going out, so this wait wakes up for it.
    while (ActiveConnection()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        keepFieldDisabled();
    }

    StopRequested = false;
    Busy = false;
    UpdateScreen();
    if (Beepwhendoneworking1 && Beepwhendoneworking1->isChecked())
        Beep();
    ComboBoxDownload->setEnabled(true);
    if (SpeedButton1)
        SpeedButton1->setEnabled(true);
}

bool TFormMain::StartDownload(const QByteArray& url, const QString& localPath, int itemIndex)
{
    for (size_t slot = 0; slot < LedEngines.size(); ++slot) {
        TLed* led = LedEngines[slot];
        if (led && !led->LedEnabled()) {
            // The engine lights the LED at once, here on this thread, so this slot reads as busy
            // before we look again.
            new TDownload(url, localPath, itemIndex, ListViewFile, Gauges[slot], led);
            return true;
        }
    }
    return false;
}

void TFormMain::WaitForEngines()
{
    // Every engine's last change is its light going out, so this wait wakes up for it.
    while (ActiveConnection())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool TFormMain::ActiveConnection()
{
    for (TLed* led : LedEngines)
        if (led && led->LedEnabled())
            return true;
    return false;
}

bool TFormMain::CheckFileName(int index)
{
    const QByteArray name = ListViewFile->SubItem(index, 1);
    if (!IsPlainFileName(name))
        return false;  // never write outside the download directory
    const QString directory = ComboBoxDownload->Text() + QLatin1Char('/');
    const QByteArray free = FreeFileName(name, [&directory](const QByteArray& candidate) {
        return PathTaken(directory + QString::fromLatin1(candidate));
    });
    if (free.isEmpty())
        return false;
    ListViewFile->SetSubItem(index, 1, free);
    return true;
}

void TFormMain::CheckFile(int index)
{
    if (index == -1)
        return;
    QCoreApplication::processEvents();
    QString path;
    WaitOnUi([&] {
        if (index >= 0 && index < ListViewFile->Count())
            path = LocalPath(index);
    });
    if (path.isEmpty() || !FileExistsAt(path))
        return;
    // Measuring and deleting happen here on the caller's thread; only item changes go to the
    // user-interface thread.
    const qint64 size = QFileInfo(path).size();
    int state = FilePending;
    WaitOnUi([&] {
        if (index < ListViewFile->Count()) {
            ListViewFile->SetSubItem(index, 2, QByteArray::number(size));
            state = ListViewFile->ImageIndex(index);
        }
    });
    if (size < MinimumFileSize || state == FileFailed) {
        QFile::remove(path);
        WaitOnUi([&] {
            if (index < ListViewFile->Count()) {
                ListViewFile->SetImageIndex(index, FileFailed);
                ListViewFile->SetStateImage(index, NoBoxStateImage);
                ListViewFile->SetSubItem(index, 1, "Not available");
                ListViewFile->SetSubItem(index, 2, "(Deleted)");
            }
        });
    }
}

void TFormMain::UpdateIconsInfileList()
{
    for (int i = 0; i < ListViewFile->Count(); ++i) {
        if (FileExistsAt(LocalPath(i))) {
            ListViewFile->SetImageIndex(i, FileSkipped);
            ListViewFile->SetStateImage(i, NoBoxStateImage);
        }
    }
}
