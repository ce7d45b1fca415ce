#pragma once
// "Kelvorn - Keyword selection": ticks the untouched document items whose address contains a
// keyword, case-insensitively.
#include <QDialog>

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

    void FormActivate();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitTexts();
};

extern TFormKeyword* FormKeyword;
