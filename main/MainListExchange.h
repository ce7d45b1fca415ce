#pragma once
// File > "Export list..." and "Import list...": the file list as plain text (one address per line)
// or as an aria2 input file, so a harvest can move to other download tools and back.
#include <QString>
#include <functional>

class QAction;
class QMenu;
class TFormMain;

// The first separator of a menu (null when it has none): the File menu's commands about lists go
// above it.
QAction* FirstSeparatorOf(QMenu* menu);

// Adds both commands to the File menu, before its separator; the window's constructor calls it.
void WireListExchange(TFormMain& window);

// The file chooser of both commands: the path chosen (empty when the user cancelled) and, in
// `filter`, the file type chosen. Tests replace it.
using TListFileChooser = std::function<QString(bool saving, QString& filter)>;
void SetListFileChooser(TFormMain& window, TListFileChooser chooser);
