#include "main/UnitMain.h"

#include <QCloseEvent>

namespace {
TFormMain* TheInstance = nullptr;
}

TFormMain* TFormMain::Instance() { return TheInstance; }

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    TheInstance = this;
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Kelvorn"));
    WireProgress();
    WireRetrieval();
    WireScanner();
    WireDownload();
    WireListFiles();
    WireListCommands();
    WireBookmarks();
    WirePreview();
}

TFormMain::~TFormMain()
{
    if (TheInstance == this)
        TheInstance = nullptr;
}

void TFormMain::closeEvent(QCloseEvent* event) { QMainWindow::closeEvent(event); }
void TFormMain::changeEvent(QEvent* event) { QMainWindow::changeEvent(event); }
bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    return EventFilterListCommands(watched, event) || EventFilterBookmarks(watched, event)
        || EventFilterPreview(watched, event) || QMainWindow::eventFilter(watched, event);
}
