// Bookmarks of the two address fields, the download field's focus and double click, and the
// opening of the directory chooser.
#include "main/UnitMain.h"

#include <QPointer>
#include <QScopeGuard>
#include <QToolButton>
#include <utility>

#include "dialogs/UnitDirectory.h"
#include "widgets/TCheckListView.h"
#include "widgets/TFlatComboBox.h"
#include "platform/Guarded.h"

namespace {
void AddBookmark(TFlatComboBox* field)
{
    if (!field->Text().isEmpty())
        field->AddEntry(field->Text());
}

void DeleteBookmark(TFlatComboBox* field)
{
    const int selected = field->SelectedEntry();
    if (selected >= 0)
        field->DeleteEntry(selected);
}
}  // namespace

void TFormMain::WireBookmarks()
{
    const auto on = [this](QAction* item, void (TFormMain::*handler)()) {
        connect(item, &QAction::triggered, this,
                [this, handler] { Guarded(lcMain(), [this, handler] { (this->*handler)(); }); });
    };
    on(Addbookmark1, &TFormMain::Addbookmark1Click);
    on(Deleteentry1, &TFormMain::Deleteentry1Click);
    on(Deleteallentrys1, &TFormMain::Deleteallentrys1Click);
    on(MenuItem2, &TFormMain::MenuItem2Click);
    on(MenuItem4, &TFormMain::MenuItem4Click);
    on(MenuItem5, &TFormMain::MenuItem5Click);
    on(Addbookmark2, &TFormMain::Addbookmark2Click);
    connect(ComboBoxDownload, &TFlatComboBox::FocusLost, this,
            [this] { Guarded(lcMain(), [this] { ComboBoxDownloadExit(); }); });
    connect(ComboBoxDownload, &TFlatComboBox::DoubleClicked, this,
            [this] { Guarded(lcMain(), [this] { OpenDirectoryDialog(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { Guarded(lcMain(), [this] { OpenDirectoryDialog(); }); });
}

bool TFormMain::EventFilterBookmarks(QObject*, QEvent*) { return false; }

void TFormMain::Addbookmark1Click() { AddBookmark(ComboBoxBookmark); }
void TFormMain::Deleteentry1Click() { DeleteBookmark(ComboBoxBookmark); }
void TFormMain::Deleteallentrys1Click() { ComboBoxBookmark->ClearEntries(); }
void TFormMain::MenuItem2Click() { AddBookmark(ComboBoxDownload); }
void TFormMain::MenuItem4Click() { DeleteBookmark(ComboBoxDownload); }
void TFormMain::MenuItem5Click() { ComboBoxDownload->ClearEntries(); }

void TFormMain::Addbookmark2Click()
{
    if (CurrentDocIndex >= 0 && CurrentDocIndex < ListViewDoc->Count())
        ComboBoxBookmark->AddEntry(QString::fromLatin1(ListViewDoc->Caption(CurrentDocIndex)));
}

void TFormMain::ComboBoxDownloadExit()
{
    if (Skipfileifexistindownloaddirectory1->isChecked())
        UpdateIconsInfileList();
}

void TFormMain::OpenDirectoryDialog()
{
    // A second request from inside the open dialog's event loop (a queued double click) has
    // nothing to add.
    const TCommandGuard open(FCommands, TCommand::DirectoryDialog);
    if (!open)
        return;
    if (!FormDirectory)
        FormDirectory = new TFormDirectory(this);
    // The dialog's error boxes are the window's while the window has it open.
    auto previousHook =
        std::exchange(FormDirectory->ErrorBoxHook, [this](const QString& text) { ShowMessage(MsgKind::Error, text); });
    const auto unhook = qScopeGuard([dialog = QPointer<TFormDirectory>(FormDirectory), &previousHook] {
        if (dialog)
            dialog->ErrorBoxHook = std::move(previousHook);
    });
    if (const std::optional<QString> chosen = FormDirectory->Choose(ComboBoxDownload->Text()))
        ComboBoxDownload->SetText(*chosen);
    // However the dialog closed: re-test the field, then mark files already in the directory.
    ComboBoxDownloadChange();
    UpdateIconsInfileList();
}
