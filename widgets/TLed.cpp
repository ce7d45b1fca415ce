#include "widgets/TLed.h"

#include <QPainter>

TLed::TLed(const QString& caption, QWidget* parent) : QWidget(parent), FCaption(caption) {}

void TLed::SetLedEnabled(bool on)
{
    if (FEnabled == on)
        return;
    FEnabled = on;
    Changed();
}

void TLed::SetLit(bool on)
{
    if (FLit == on)
        return;
    FLit = on;
    Changed();
}

void TLed::SetColor(TLedColor color)
{
    if (FColor == color)
        return;
    FColor = color;
    Changed();
}

void TLed::SetCaption(const QString& caption)
{
    if (FCaption == caption)
        return;
    FCaption = caption;
    update();
}

void TLed::Changed()
{
    update();
    if (OnChangeState)
        OnChangeState(this);
}

void TLed::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int d = qMax(6, qMin(height() - 4, 10));
    const QRect lamp(1, (height() - d) / 2, d, d);
    QColor fill(96, 96, 96);
    if (FEnabled && FLit)
        fill = FColor == lcRed ? QColor(255, 0, 0) : FColor == lcGreen ? QColor(0, 200, 0) : QColor(255, 220, 0);
    p.setPen(QColor(64, 64, 64));
    p.setBrush(fill);
    p.drawEllipse(lamp);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect().adjusted(d + 5, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, FCaption);
}
