// The real window running Download files until it is killed, for the session's crash test:
//   window_harvester PROGRAM_DIR DOWNLOAD_DIR URL...
// Settings come from XDG_CONFIG_HOME (the test writes them), the session from PROGRAM_DIR. Each
// address is added to the file list, ticked, and the download starts; "running N" is printed each
// time the number of lit engine lights changes.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "main/UnitMain.h"
#include "platform/ProgramDir.h"
#include "rules/FileNaming.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "widgets/TLed.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 4)
        return 2;
    SetProgramDirForTesting(QString::fromLocal8Bit(argv[1]));
    TFormMain window;
    window.MessageBoxHook = [](MsgKind, const QString&, const QString&) { return int(mrOk); };
    window.EndProcessHook = [] {};
    window.BeepHook = [] {};
    window.ComboBoxDownload->SetText(QString::fromLocal8Bit(argv[2]));
    // After the start's own work (the session is opened then).
    QTimer::singleShot(0, &window, [&] {
        for (int i = 3; i < argc; ++i) {
            const QByteArray address(argv[i]);
            const int row = window.ListViewFile->Add(address);
            window.ListViewFile->SetSubItem(row, 1, FilNavn(address));
            window.ListViewFile->SetChecked(row, true);
        }
        window.ButtonDownloadClick();
    });
    int shown = -1;
    QTimer lights;
    QObject::connect(&lights, &QTimer::timeout, [&] {
        int lit = 0;
        for (TLed* led : window.LedEngines)
            lit += led && led->LedEnabled() ? 1 : 0;
        if (lit != shown) {
            shown = lit;
            std::printf("running %d\n", lit);
            std::fflush(stdout);
        }
    });
    lights.start(20);
    return app.exec();
}
