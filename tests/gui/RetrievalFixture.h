#pragma once
// The real main window, shown offscreen, with recorded beeps and message boxes and options set
// by the test, for the end-to-end retrieval tests.
#include <QAction>
#include <QByteArrayList>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "http/TNMHTTP.h"
#include "support/IsolatedSettings.h"
#include "main/TParseList.h"
#include "main/UnitMain.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TGauge.h"
#include "widgets/TLed.h"

struct RetrievalWindow {
    IsolatedSettings settings;  // never the user's settings or list files
    QTemporaryDir downloads;
    std::unique_ptr<TFormMain> win;
    int beeps = 0;
    QStringList messages;

    RetrievalWindow()
    {
        win = std::make_unique<TFormMain>();
        win->BeepHook = [this] { ++beeps; };
        win->MessageBoxHook = [this](MsgKind, const QString&, const QString& text) {
            messages << text;
            return int(mrOk);
        };
        win->EndProcessHook = [] {};
        win->ComboBoxDownload->SetText(downloads.path());
        // Options as a first start has them, whatever an earlier run stored.
        Set(win->Addnewfilestoexcistinglistwhenparsing1, false);
        Set(win->Autoselectdownloadfilesafterparsing1, false);
        Set(win->Autoselectfirstfilefromeachlink1, false);
        Set(win->Skipfileifexistindownloaddirectory1, true);
        Set(win->Addnewlinksfoundwhenparsingtoexistinglist1, true);
        Set(win->Addembeddedimageswhenparsing1, true);
        Set(win->Includelinksonelevelupwhenparsingmaindocument1, false);
        Set(win->Beepwhendoneworking1, true);
        Set(win->Letpreviewjumptolatestfiledownloaded1, false);
        win->show();
        QVERIFY(QTest::qWaitForWindowExposed(win.get()));
    }

    static void Set(QAction* option, bool on) { option->setChecked(on); }

    TCheckListView* Docs() const { return win->ListViewDoc; }
    TCheckListView* Files() const { return win->ListViewFile; }

    static QByteArrayList Captions(const TCheckListView* list)
    {
        QByteArrayList out;
        for (int i = 0; i < list->Count(); ++i)
            out << list->Caption(i);
        return out;
    }
    static int IndexOf(const TCheckListView* list, const QByteArray& caption)
    {
        for (int i = 0; i < list->Count(); ++i)
            if (list->Caption(i) == caption)
                return i;
        return -1;
    }

    // Document items as a loaded list brings them: ticked, pending, buttons updated.
    void AddTickedDocs(const QByteArrayList& captions)
    {
        for (const QByteArray& caption : captions)
            Docs()->SetChecked(Docs()->Add(caption), true);
        win->UpdateScreen();
    }

    void Get(const QByteArray& address)
    {
        win->ComboBoxBookmark->SetText(QString::fromLatin1(address));
        win->ButtonStart->click();
    }

    // The idle look: what the user must see once a command ended or was stopped.
    bool LooksIdle() const
    {
        return !win->Busy && win->ButtonStart->isEnabled() && !win->ButtonStop->isEnabled()
            && !win->LedBusy->LedEnabled() && win->File1->isEnabled();
    }
    bool LooksBusy() const
    {
        return win->ButtonStop->isEnabled() && !win->ButtonStart->isEnabled() && win->LedBusy->LedEnabled()
            && !win->File1->isEnabled();
    }
};

// A port on 127.0.0.1 where nothing listens: connecting is refused at once.
inline quint16 RefusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
