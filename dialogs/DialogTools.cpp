#include "dialogs/DialogTools.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <QWidget>

QToolButton* MakeFlatButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                            const QIcon& picture)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(picture);
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);  // flat until the mouse is over it
    return button;
}

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

void ShowNonBlocking(QWidget* window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

int TitleBarWidth(const QString& title)
{
    // Title bars draw their text bold, at about the application font's size; the decoration of a
    // dialog's bar (icon, close box, padding on both sides, a centred title's symmetry) takes
    // about this much beside it on the common Linux desktops.
    constexpr int Decoration = 96;
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + Decoration;
}

int TextWidth(const QWidget* widget, const QString& text) { return widget->fontMetrics().horizontalAdvance(text) + 2; }

int PlaceButtonsInRow(const QList<QToolButton*>& buttons, int gap)
{
    if (buttons.isEmpty())
        return 0;
    int left = buttons.first()->x();
    for (QToolButton* button : buttons) {
        const int width = std::max(button->width(), button->sizeHint().width());
        button->setGeometry(left, button->y(), width, button->height());
        left += width + gap;
    }
    return left - gap;
}
