#pragma once
// Small helpers shared by the program's dialogs.
#include <QIcon>
#include <QList>
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
// The least width a window needs for its title to show whole in the window system's title bar:
// the title in the bold application font plus room for the bar's icon, close box and margins.
int TitleBarWidth(const QString& title);
// The width a text needs in a widget's font, with a small margin for anti-aliased edges.
int TextWidth(const QWidget* widget, const QString& text);
// Places flat buttons in a row from their current left, each at least as wide as its design
// width and as its caption needs, with the given gap; returns the right edge of the last one.
int PlaceButtonsInRow(const QList<QToolButton*>& buttons, int gap);
