// File > "Export list..." and "Import list...": the file list as plain text (one address per line)
// or as an aria2 input file, so a harvest can move to other download tools and back.
#include "main/MainListExchange.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>

#include "main/UnitMain.h"
#include "platform/Guarded.h"
#include "platform/Logging.h"
#include "rules/FileNaming.h"
#include "rules/ListExchange.h"
#include "widgets/TCheckListView.h"

namespace {
const QString PlainFilter = QStringLiteral("Address list (*.txt)");
const QString Aria2Filter = QStringLiteral("aria2 input file (*.aria2 *.input)");

// aria2's input files have no fixed suffix; a ".txt" chosen by name is read as plain text.
TListFormat FormatOf(const QString& path, const QString& filter)
{
    if (filter == Aria2Filter)
        return TListFormat::Aria2Input;
    if (filter == PlainFilter || path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
        return TListFormat::PlainText;
    return TListFormat::Aria2Input;
}

// Holds the chooser as a child of the window, so the window's own header needs no member.
class TListExchange : public QObject {
public:
    using QObject::QObject;
    TListFileChooser Chooser;
};

TListExchange* ExchangeOf(TFormMain& window)
{
    for (QObject* child : window.children()) {
        if (auto* exchange = dynamic_cast<TListExchange*>(child))
            return exchange;
    }
    return nullptr;
}

QString Choose(TFormMain& window, bool saving, QString& filter)
{
    TListExchange* exchange = ExchangeOf(window);
    return exchange && exchange->Chooser ? exchange->Chooser(saving, filter) : QString();
}

void ExportList(TFormMain& w)
{
    Guarded(lcMain(), [&w] {
        QString filter;
        const QString path = Choose(w, true, filter);
        if (path.isEmpty())
            return;
        QList<TExchangeEntry> entries;
        entries.reserve(w.ListViewFile->Count());
        for (int i = 0; i < w.ListViewFile->Count(); ++i) {
            const QByteArray address = w.ListViewFile->Caption(i);
            entries.append({address, w.ListViewFile->SubItem(i, 1), w.ReferrerOf(address)});
        }
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(WriteListExchange(FormatOf(path, filter), entries)) < 0
            || !out.commit()) {
            w.ShowMessage(MsgKind::Warning,
                          QStringLiteral("The list could not be written to %1: %2")
                              .arg(QDir::toNativeSeparators(path), out.errorString()));
        }
    });
}

// While the lists are saved or loaded the window is frozen, so no import runs meanwhile.
void ImportList(TFormMain& w)
{
    Guarded(lcMain(), [&w] {
        QString filter;
        const QString path = Choose(w, false, filter);
        if (path.isEmpty())
            return;
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly)) {
            w.ShowMessage(MsgKind::Warning,
                          QStringLiteral("The list could not be read from %1: %2")
                              .arg(QDir::toNativeSeparators(path), in.errorString()));
            return;
        }
        const QByteArray text = in.readAll();
        const TListFormat format =
            filter == PlainFilter || filter == Aria2Filter ? FormatOf(path, filter) : GuessListFormat(text);
        int added = 0;
        for (const TExchangeEntry& entry : ReadListExchange(format, text)) {
            if (w.ListViewFile->ContainsCaption(entry.Address))
                continue;
            w.LastFileLink = entry.Address;  // the insert handler names the new item after it
            const int index = w.AddFileItem(entry.Address);
            // A name from the file is taken only when it stays inside the download directory.
            if (!entry.FileName.isEmpty() && IsPlainFileName(entry.FileName))
                w.ListViewFile->SetSubItem(index, 1, entry.FileName);
            ++added;
        }
        if (w.Skipfileifexistindownloaddirectory1->isChecked())
            w.UpdateIconsInfileList();
        w.ShowMessage(MsgKind::Information, QStringLiteral("%1 files added to the file list.").arg(added));
        w.UpdateScreen();
    });
}
}  // namespace

void SetListFileChooser(TFormMain& window, TListFileChooser chooser)
{
    if (TListExchange* exchange = ExchangeOf(window))
        exchange->Chooser = std::move(chooser);
}

QAction* FirstSeparatorOf(QMenu* menu)
{
    for (QAction* item : menu->actions())
        if (item->isSeparator())
            return item;
    return nullptr;
}

void WireListExchange(TFormMain& window)
{
    auto* exchange = new TListExchange(&window);
    exchange->Chooser = [&window](bool saving, QString& filter) {
        const QString filters = PlainFilter + QStringLiteral(";;") + Aria2Filter;
        return saving
            ? QFileDialog::getSaveFileName(&window, QStringLiteral("Export list"), QString(), filters, &filter)
            : QFileDialog::getOpenFileName(&window, QStringLiteral("Import list"), QString(),
                                           filters + QStringLiteral(";;All files (*)"), &filter);
    };
    QAction* separator = FirstSeparatorOf(window.File1);
    auto* exportList = new QAction(QStringLiteral("Export list..."), window.File1);
    exportList->setObjectName(QStringLiteral("Exportlist1"));
    auto* importList = new QAction(QStringLiteral("Import list..."), window.File1);
    importList->setObjectName(QStringLiteral("Importlist1"));
    window.File1->insertAction(separator, exportList);
    window.File1->insertAction(separator, importList);
    QObject::connect(exportList, &QAction::triggered, &window, [&window] { ExportList(window); });
    QObject::connect(importList, &QAction::triggered, &window, [&window] { ImportList(window); });
}
