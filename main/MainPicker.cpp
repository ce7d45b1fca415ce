// The file list's commands for pages of many pictures, offered while "Find links as a browser
// does (modern pages)" is on: "Filter files..." ticks the files a filter keeps, one copy of
// each picture, and unticks the others.
#include "main/UnitMain.h"

#include <QMenu>
#include <QVBoxLayout>

#include "dialogs/UnitFilter.h"
#include "main/ListSelection.h"
#include "main/TThumbnailFetcher.h"
#include "platform/Guarded.h"
#include "rules/FileFilter.h"
#include "rules/ModernNaming.h"
#include "rules/PictureGroups.h"
#include "widgets/TCheckListView.h"

void TFormMain::WirePicker()
{
    Filterfiles1 = new QAction(QStringLiteral("Filter files..."), this);
    Filterfiles1->setObjectName(QStringLiteral("Filterfiles1"));
    connect(Filterfiles1, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { FilterFiles(); }); });
    Picturegrid1 = new QAction(QStringLiteral("Picture grid..."), this);
    Picturegrid1->setObjectName(QStringLiteral("Picturegrid1"));
    connect(Picturegrid1, &QAction::triggered, this, [this] { Guarded(lcMain(), [this] { ShowPictureGrid(); }); });
    // The classic menu stays as it is: the entry joins it only while the option is on.
    connect(PopupMenuFile, &QMenu::aboutToShow, this, [this] { Guarded(lcMain(), [this] { ShowPickerCommands(); }); });
}

void TFormMain::ShowPickerCommands()
{
    const bool modern = Findlinksasabrowserdoesmodernpages1->isChecked();
    const bool listed = PopupMenuFile->actions().contains(Filterfiles1);
    if (modern && !listed)
        PopupMenuFile->insertActions(Resetfile1, {Filterfiles1, Picturegrid1});
    else if (!modern && listed) {
        PopupMenuFile->removeAction(Filterfiles1);
        PopupMenuFile->removeAction(Picturegrid1);
    }
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

TGridFacts TFormMain::GridFacts(const QByteArray& address) const
{
    const TPictureFacts facts = FPictureFacts.value(address);
    TGridFacts grid;
    grid.picture = FileKindOf(address, !facts.thumbnail.isEmpty()) == TFileKind::Picture;
    const TNamedSize size = StatedSize(address, facts.width, facts.height);
    grid.width = size.width;
    grid.height = size.height;
    return grid;
}

void TFormMain::ShowPictureGrid()
{
    if (!FormPictures) {
        FormPictures = new QWidget(this, Qt::Window);
        FormPictures->setObjectName(QStringLiteral("FormPictures"));
        FormPictures->setWindowTitle(QStringLiteral("Kelvorn - Pictures"));
        FGridModel = new TPictureGridModel(
            ListViewFile, [this](const QByteArray& address) { return GridFacts(address); }, FormPictures);
        FThumbnails = new TThumbnailFetcher(
            QSize(TPictureGridModel::ThumbnailWidth, TPictureGridModel::ThumbnailHeight), FormPictures);
        connect(FGridModel, &TPictureGridModel::ThumbnailWanted, FThumbnails, [this](const QByteArray& address) {
            const QByteArray smallest = FPictureFacts.value(address).thumbnail;
            FThumbnails->Fetch(address, smallest.isEmpty() ? address : smallest, ModernUserAgent());
        });
        connect(FThumbnails, &TThumbnailFetcher::Ready, FGridModel, &TPictureGridModel::SetThumbnail);
        PictureGrid = new TPictureGrid(FormPictures);
        PictureGrid->setModel(FGridModel);
        auto* layout = new QVBoxLayout(FormPictures);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(PictureGrid);
        FormPictures->resize(6 * PictureGrid->gridSize().width() + 40, 3 * PictureGrid->gridSize().height() + 20);
    }
    FGridModel->Refresh();
    FormPictures->show();
    FormPictures->raise();
}
