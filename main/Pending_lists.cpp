// Temporary until the owners land: the foundation's message box, event step and screen update,
// the preview's click handlers and the download side's icon update. The lead deletes this file
// when merging.
#include <QCoreApplication>

#include "main/UnitMain.h"

int TFormMain::ShowMessage(MsgKind kind, const QString& text)
{
    if (MessageBoxHook)
        return MessageBoxHook(kind, QString(), text);
    return kind == MsgKind::Confirm ? mrNo : mrOk;
}
void TFormMain::ProcessMessages() { QCoreApplication::processEvents(); }
void TFormMain::UpdateScreen(TLed*) {}
void TFormMain::PreviewImage(int) {}
void TFormMain::UpdateIconsInfileList() {}
void TFormMain::ListViewFileClick() {}
void TFormMain::ListViewFileDblClick() {}
