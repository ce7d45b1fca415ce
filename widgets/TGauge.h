#pragma once
// Borderless progress bar: progress clamped into [minimum, maximum], drawn to the whole per cent,
// empty when maximum equals minimum; repaints only when the whole per cent changes.
#include <QColor>
#include <QWidget>
#include <cstdint>

class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    int32_t MinValue() const { return FMin; }
    int32_t MaxValue() const { return FMax; }
    int32_t Progress() const { return FProgress; }
    void SetMinValue(int32_t value);
    void SetMaxValue(int32_t value);
    void SetProgress(int32_t value);
    int PercentDone() const;                        // whole per cent shown
    int PaintCount() const { return FPaintCount; }  // repaints requested, for tests
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }
    void SetColors(const QColor& bar, const QColor& background);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RepaintIfPercentChanged(int before);
    int32_t FMin = 0;
    int32_t FMax = 100;
    int32_t FProgress = 0;
    int FPaintCount = 0;
    QColor FBar{0, 0, 128};
    QColor FBackground{192, 192, 192};
};
