// The file list's commands for pages of many pictures, offered while "Find links as a browser
// does (modern pages)" is on: "Filter files..." ticks the files a filter keeps, one copy of
// each picture, and unticks the others.
#include "main/UnitMain.h"

#include <QMenu>

#include "dialogs/UnitFilter.h"
#include "main/ListSelection.h"
#include "platform/Guarded.h"
#include "widgets/TCheckListView.h"

void TFormMain::WirePicker()
{
    Filterfiles1 = new QAction(QStringLiteral("Filter files..."), this);
    Filterfiles1->setObjectName(QStringLiteral("Filterfiles1"));
    connect(Filterfiles1, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { FilterFiles(); }); });
    // The classic menu stays as it is: the entry joins it only while the option is on.
    connect(PopupMenuFile, &QMenu::aboutToShow, this, [this] { Guarded(lcMain(), [this] { ShowPickerCommands(); }); });
}

void TFormMain::ShowPickerCommands()
{
    const bool modern = Findlinksasabrowserdoesmodernpages1->isChecked();
    const bool listed = PopupMenuFile->actions().contains(Filterfiles1);
    if (modern && !listed)
        PopupMenuFile->insertAction(Resetfile1, Filterfiles1);
    else if (!modern && listed)
        PopupMenuFile->removeAction(Filterfiles1);
    Filterfiles1->setEnabled(!Busy);
}

void TFormMain::FilterFiles()
{
    TFormFilter dialog(this);
    if (const std::optional<TFileFilter> filter = dialog.AskFilter())
        ApplyFileFilter(*filter);
}

void TFormMain::ApplyFileFilter(const TFileFilter& filter)
{
    if (!ListViewFile || Busy)
        return;
    FilterUntouched(*ListViewFile, filter, [this](const QByteArray& address) { return FPictureFacts.value(address); });
}
