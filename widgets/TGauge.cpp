#include "widgets/TGauge.h"

#include <QPainter>

TGauge::TGauge(QWidget* parent) : QWidget(parent) {}

int TGauge::PercentDone() const
{
    if (FMax == FMin)
        return 0;
    return int((int64_t(FProgress) - FMin) * 100 / (int64_t(FMax) - FMin));
}

void TGauge::SetMinValue(int32_t value)
{
    const int before = PercentDone();
    FMin = value;
    if (FMax < FMin)
        FMax = FMin;
    FProgress = qBound(FMin, FProgress, FMax);
    RepaintIfPercentChanged(before);
}

void TGauge::SetMaxValue(int32_t value)
{
    const int before = PercentDone();
    FMax = value;
    if (FMin > FMax)
        FMin = FMax;
    FProgress = qBound(FMin, FProgress, FMax);
    RepaintIfPercentChanged(before);
}

void TGauge::SetProgress(int32_t value)
{
    const int before = PercentDone();
    FProgress = qBound(FMin, value, FMax);
    RepaintIfPercentChanged(before);
}

void TGauge::SetColors(const QColor& bar, const QColor& background)
{
    FBar = bar;
    FBackground = background;
    update();
}

void TGauge::RepaintIfPercentChanged(int before)
{
    if (PercentDone() == before)
        return;
    ++FPaintCount;
    update();
}

void TGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), FBackground);
    const int w = width() * PercentDone() / 100;
    if (w > 0)
        p.fillRect(QRect(0, 0, w, height()), FBar);
}
