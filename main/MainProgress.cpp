#include "main/UnitMain.h"
#include "platform/Guarded.h"

#include <QStatusBar>

#include "widgets/TCheckListView.h"
#include "widgets/TGauge.h"

void TFormMain::WireProgress()
{
    connect(Displaydownloadengineprogress1, &QAction::triggered, this, [this] {
        // The menu has flipped the mark already; the handler flips it itself.
        Displaydownloadengineprogress1->setChecked(!Displaydownloadengineprogress1->isChecked());
        Guarded(lcMain(), [this] { Displaydownloadengineprogress1Click(); });
    });
}

void TFormMain::Timer1Timer()
{
    // The counters move only while a command runs and keep their last values afterwards.
    if (!Busy)
        return;
    SetPanelText(2, QStringLiteral("Links: ") + QString::number(ListViewDoc->Count()));
    SetPanelText(3, QStringLiteral("Files: ") + QString::number(ListViewFile->Count()));
}

void TFormMain::ShowBar(bool show, int32_t position, int32_t total)
{
    const bool visible = show && total > 0;
    GaugeDoc->setVisible(visible);
    if (visible) {
        GaugeDoc->SetMaxValue(total);
        GaugeDoc->SetProgress(position);
    } else {
        SetStatusText(QStringLiteral("Status: ") + QString::number(position) + QStringLiteral(" bytes retrieved"));
    }
}

void TFormMain::UpdatePanels()
{
    PanelExtra->setVisible(!PanelDownload->isHidden() || !PanelPreview->isHidden());
    Splitter2->setVisible(!PanelExtra->isHidden());
    LayoutSidePanel();
}

void TFormMain::Displaydownloadengineprogress1Click()
{
    Displaydownloadengineprogress1->setChecked(!Displaydownloadengineprogress1->isChecked());
    PanelDownload->setVisible(Displaydownloadengineprogress1->isChecked());
    UpdatePanels();
}
