#pragma once
// Small helpers shared by the program's dialogs.
#include <QIcon>
#include <QString>

class QToolButton;
class QWidget;

// A flat button with a picture beside its caption and a tool-tip hint.
QToolButton* MakeFlatButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                            const QIcon& picture);
// Centres a top-level window on the screen it would open on.
void CentreOnScreen(QWidget* window);
// Shows a window without blocking, or brings it to the front when it is shown already.
void ShowNonBlocking(QWidget* window);
