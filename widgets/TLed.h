#pragma once
// Busy light with caption: lit in its colour when enabled and lit, dark grey when disabled.
// OnChangeState fires only after the enabled state, lit flag or colour really changed.
#include <QWidget>
#include <functional>

enum TLedColor { lcRed, lcGreen, lcYellow };

class TLed : public QWidget {
    Q_OBJECT
public:
    explicit TLed(const QString& caption, QWidget* parent = nullptr);

    bool LedEnabled() const { return FEnabled; }
    void SetLedEnabled(bool on);
    bool Lit() const { return FLit; }
    void SetLit(bool on);
    TLedColor Color() const { return FColor; }
    void SetColor(TLedColor color);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

    std::function<void(TLed* sender)> OnChangeState;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();
    bool FEnabled = false;
    bool FLit = true;
    TLedColor FColor = lcRed;
    QString FCaption;
};
