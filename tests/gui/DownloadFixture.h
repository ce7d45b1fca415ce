#pragma once
// Shared by the download tests: a main window with a temporary download directory, beside the
// scripted server.
#include <QAction>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QList>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "download/UnitDownloadThreads.h"
#include "main/TDownloadScheduler.h"
#include "rules/FileNaming.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"
#include "support/ScriptServer.h"

// A file under a served directory, with the folders it needs.
inline void WriteFile(const QString& root, const QString& path, const QByteArray& text)
{
    const QString full = root + QLatin1Char('/') + path;
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(text), text.size());
}

// The file's bytes; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct DownloadWindow {
    QTemporaryDir Dir;
    std::unique_ptr<TFormMain> Form;
    int Beeps = 0;

    DownloadWindow()
    {
        QStandardPaths::setTestModeEnabled(true);
        Form = std::make_unique<TFormMain>();
        Form->MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
        Form->BeepHook = [this] { ++Beeps; };
        Form->ListViewFile->Clear();
        Form->ComboBoxDownload->SetText(Dir.path());
        Form->Skipfileifexistindownloaddirectory1->setChecked(false);
        Form->Beepwhendoneworking1->setChecked(false);
        Form->Letpreviewjumptolatestfiledownloaded1->setChecked(false);
    }
    ~DownloadWindow()
    {
        // A test that failed half-way may leave engines running: they are stopped and their
        // outcomes applied before the window goes, so no test leaves work for the next one.
        if (Form) {
            // As Stop does: engines are told to stop and the list lock is freed.
            Form->Downloads->StopEngines();
            List()->Tag = 0;
            if (!QTest::qWaitFor([this] { return TDownload::Running() == 0 && !Form->Downloads->Pending(); }, 30000))
                qWarning("engines still running at the end of a test");
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TCheckListView* List() const { return Form->ListViewFile; }
    int AddFile(const QByteArray& url, bool ticked = true)
    {
        const int i = List()->Add(url);
        List()->SetSubItem(i, 1, FilNavn(url));
        List()->SetSubItem(i, 2, "");
        List()->SetChecked(i, ticked);
        return i;
    }
    QString Path(const QString& name) const { return Dir.path() + QLatin1Char('/') + name; }
    void Put(const QString& name, const QByteArray& data) const
    {
        QFile f(Path(name));
        f.open(QIODevice::WriteOnly);
        f.write(data);
    }
    QByteArray Read(const QString& name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    int LitLeds() const
    {
        int n = 0;
        for (TLed* led : Form->LedEngines)
            n += led->LedEnabled() ? 1 : 0;
        return n;
    }
    // Runs the download command while `probe` runs every few milliseconds inside its event
    // processing (the command itself only returns when the last engine has finished).
    void Download(const std::function<void()>& probe = {})
    {
        QTimer timer;
        timer.setInterval(5);
        if (probe) {
            QObject::connect(&timer, &QTimer::timeout, probe);
            timer.start();
        }
        Form->ButtonDownloadClick();
        timer.stop();
    }
};
