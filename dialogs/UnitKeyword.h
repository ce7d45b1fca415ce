#pragma once
// "Kelvorn - Keyword selection": asks for the keyword by which the window ticks document items.
#include <QDialog>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QToolButton;
class QFrame;

class TFormKeyword : public QDialog {
    Q_OBJECT
public:
    explicit TFormKeyword(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QToolButton* ButtonOk = nullptr;
    QToolButton* ButtonCancel = nullptr;
    QLabel* Label1 = nullptr;  // "Keyword:"
    QLineEdit* EditKeyword = nullptr;
    QLabel* Label2 = nullptr;  // "Search is not case sensitive !"

    // Shows the dialog modally. Returns the text of the field when the user chose "&Ok" (or
    // pressed Enter), empty text included; nothing when the dialog was cancelled or closed.
    std::optional<QString> AskKeyword();

    void FormActivate();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitTexts();
};

extern TFormKeyword* FormKeyword;
