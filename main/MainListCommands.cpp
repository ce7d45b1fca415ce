// The lists' context menus, keys and mouse, in-place editing, column widths and current items.
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>

#include "dialogs/UnitKeyword.h"
#include "rules/FileNaming.h"
#include "rules/ListRecords.h"
#include "main/ListSelection.h"
#include "main/ShellOpen.h"
#include "rules/OpenRules.h"
#include "main/UnitMain.h"
#include "main/TDownloadScheduler.h"
#include "platform/Guarded.h"
#include "rules/ModernNaming.h"
#include "widgets/TCheckListView.h"

namespace {
bool ValidIndex(const TCheckListView* list, int index) { return list && index >= 0 && index < list->Count(); }
}  // namespace

void TFormMain::RunListCommand(const std::function<void()>& command)
{
    // A save or load is walking the lists: they stay as they are until it ends.
    if (ListFilesRunning())
        return;
    Guarded(lcMain(), command);
}

void TFormMain::RunListCommandLater(const std::function<void()>& command)
{
    QMetaObject::invokeMethod(
        this, [this, command] { RunListCommand(command); }, Qt::QueuedConnection);
}

void TFormMain::WireListCommands()
{
    auto on = [this](QAction* action, std::function<void()> command) {
        if (action)
            connect(action, &QAction::triggered, this, [this, command] { RunListCommand(command); });
    };
    on(Deselectall2, [this] { SetUntouchedTicks(*ListViewDoc, TTickMode::Untick); });
    on(Selectall2, [this] { SetUntouchedTicks(*ListViewDoc, TTickMode::Tick); });
    on(Invertselection2, [this] { SetUntouchedTicks(*ListViewDoc, TTickMode::Invert); });
    on(Selectbykeyword1, [this] { SelectByKeyword(); });
    on(SelectalllinesreferingtomarkedUrl1, [this] { SelectByHostPrefix(ListViewDoc, CurrentDocIndex); });
    on(Resetlink1, [this] { ResetLink(); });
    on(Deletealllines2, [this] { DeleteByHostPrefix(ListViewDoc, CurrentDocIndex); });
    on(Deselectall1, [this] { SetUntouchedTicks(*ListViewFile, TTickMode::Untick); });
    on(Selectall1, [this] { SelectAllFiles(); });
    on(Invertselection1, [this] { SetUntouchedTicks(*ListViewFile, TTickMode::Invert); });
    on(SelectalllinesreferingtomarkedUrl2, [this] { SelectByHostPrefix(ListViewFile, CurrentFileIndex); });
    on(Resetfile1, [this] { ResetFile(); });
    on(Deletealllines1, [this] { DeleteByHostPrefix(ListViewFile, CurrentFileIndex); });
    on(Sort, [this] { SortFileList(); });

    if (ListViewDoc) {
        connect(ListViewDoc, &TCheckListView::Change, this, [this](int index) { ListViewDocChange(index); });
        ListViewDoc->installEventFilter(this);
        ListViewDoc->viewport()->installEventFilter(this);
    }
    if (ListViewFile) {
        connect(ListViewFile, &TCheckListView::Change, this, [this](int index) { ListViewFileChange(index); });
        ListViewFile->installEventFilter(this);
        ListViewFile->viewport()->installEventFilter(this);
    }
}

bool TFormMain::EventFilterListCommands(QObject* watched, QEvent* event)
{
    if (!ListViewDoc || !ListViewFile)
        return false;
    const bool doc = watched == ListViewDoc || watched == ListViewDoc->viewport();
    const bool file = watched == ListViewFile || watched == ListViewFile->viewport();
    if (!doc && !file)
        return false;
    TCheckListView* list = doc ? ListViewDoc : ListViewFile;
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        // A click: the list has made its own change (a box toggled); ours follows it.
        if (watched == list->viewport() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            if (doc)
                RunListCommandLater([this] { RehideCheckBox(*ListViewDoc, CurrentDocIndex); });
            else
                RunListCommandLater([this] { ListViewFileClick(); });
        }
        return false;
    case QEvent::MouseButtonDblClick:
        if (watched == list->viewport() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            if (doc)
                RunListCommandLater([this] { ListViewDocDblClick(); });
            else
                RunListCommandLater([this] { ListViewFileDblClick(); });
        }
        return false;
    case QEvent::KeyPress: {
        if (watched != list)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space) {
            RunListCommandLater([this, doc] {
                if (doc)
                    RehideCheckBox(*ListViewDoc, CurrentDocIndex);
                else
                    RehideCheckBox(*ListViewFile, CurrentFileIndex);
            });
            return false;
        }
        if (file && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            RunListCommand([this] { ListViewFileDblClick(); });
            return true;
        }
        return false;
    }
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (file && watched == list && !key->isAutoRepeat() && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down))
            RunListCommand([this] { ListViewFileClick(); });
        return false;
    }
    case QEvent::Resize:
        if (watched == list)
            ListViewResized(list);
        return false;
    default: return false;
    }
}

void TFormMain::ListViewResized(TCheckListView* list)
{
    if (list == ListViewDoc) {
        ListViewDoc->setColumnWidth(0, std::max(0, ListViewDoc->width() - 4));
    } else {
        const int rest = ListViewFile->width() - ListViewFile->columnWidth(1) - ListViewFile->columnWidth(2) - 4;
        ListViewFile->setColumnWidth(0, std::max(0, rest));
    }
}

void TFormMain::ListViewDocChange(int index) { CurrentDocIndex = index; }

void TFormMain::ListViewFileChange(int index)
{
    // An engine writing its outcome holds the lock: its change must not steal the user's item.
    if (ListViewFile->Tag.load() != 1)
        CurrentFileIndex = index;
}

void TFormMain::ListViewDocDblClick()
{
    if (!ValidIndex(ListViewDoc, CurrentDocIndex))
        return;
    const QByteArray text = ShellOpenText(ListViewDoc->Caption(CurrentDocIndex));
    // Other schemes (file:, smb:, custom handlers) would start whatever program claims them.
    if (IsWebAddress(text))
        ShellOpen(QUrl(QString::fromLatin1(text)));  // a failure is ignored
}

void TFormMain::SelectAllFiles()
{
    if (!ListViewFile)
        return;
    // Modern pages offer one picture in several copies: one of each is enough.
    if (Findlinksasabrowserdoesmodernpages1->isChecked())
        TickLargestCopies(*ListViewFile, [this](const QByteArray& address) { return FPictureFacts.value(address); });
    else
        SetUntouchedTicks(*ListViewFile, TTickMode::Tick);
}

void TFormMain::SelectByHostPrefix(TCheckListView* list, int current)
{
    if (!ValidIndex(list, current))
        return;
    const QByteArray prefix = HostPrefix(list->Caption(current).toUpper());
    const int count = TickUntouchedContaining(*list, prefix);
    if (count > 0)
        ShowMessage(MsgKind::Information, LinesSelectedText(count));
}

void TFormMain::DeleteByHostPrefix(TCheckListView* list, int& current)
{
    if (!ValidIndex(list, current))
        return;
    const QByteArray prefix = HostPrefix(list->Caption(current));
    if (ShowMessage(MsgKind::Confirm, DeleteLinesQuestion(prefix)) != mrYes)
        return;
    // The question let events run; a save or load started meanwhile keeps the lists whole.
    if (ListFilesRunning())
        return;
    DeleteStartingWith(*list, prefix);
    current = -1;
}

void TFormMain::ResetLink()
{
    const int i = CurrentDocIndex;
    if (!ValidIndex(ListViewDoc, i))
        return;
    ListViewDoc->SetStateImage(i, 0);
    ListViewDoc->SetImageIndex(i, DocPending);
}

void TFormMain::ResetFile()
{
    if (!ValidIndex(ListViewFile, CurrentFileIndex))
        return;
    // An engine still winding down after Stop writes its outcome into its item when it ends,
    // which would undo a reset made before: the reset waits for the engines (events keep running)
    // and then comes last.
    while (Downloads && Downloads->Pending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const int i = CurrentFileIndex;
    if (!ValidIndex(ListViewFile, i))
        return;
    const QByteArray caption = ListViewFile->Caption(i);
    ListViewFile->SetSubItem(
        i, 1, Findlinksasabrowserdoesmodernpages1->isChecked() ? ModernFileName(caption) : FilNavn(caption));
    ListViewFile->SetSubItem(i, 2, QByteArray());
    ListViewFile->SetStateImage(i, 0);
    ListViewFile->SetImageIndex(i, FilePending);
    ListViewFile->SetChecked(i, true);
    if (Findlinksasabrowserdoesmodernpages1->isChecked())
        NameModernFiles();
}

void TFormMain::SortFileList()
{
    // Sorted once: items added later are appended at the end again.
    ListViewFile->SetSorted(true);
    ListViewFile->viewport()->update();
    ListViewFile->SetSorted(false);
    CurrentFileIndex = -1;
}

void TFormMain::SelectByKeyword()
{
    if (!FormKeyword)
        return;
    const std::optional<QString> keyword = FormKeyword->AskKeyword();
    if (!keyword)
        return;
    // Latin-1 keeps the bytes the captions are made of.
    const QByteArray upper = keyword->toLatin1().toUpper();
    if (CurrentDocIndex == -1 || upper.isEmpty())
        return;
    const int count = TickUntouchedContaining(*ListViewDoc, upper);
    if (count > 0)
        ShowMessage(MsgKind::Information, LinesSelectedText(count));
}
