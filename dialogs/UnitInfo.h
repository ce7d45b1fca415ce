#pragma once
// The about window: a small fixed window with the program's credits, shown without blocking.
#include <QDialog>

class QPlainTextEdit;
class QToolButton;

class TFormInfo : public QDialog {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);

    QToolButton* ButtonClose = nullptr;
    QPlainTextEdit* Memo1 = nullptr;

    // Shows the window, or brings it to the front when it is shown already.
    void ShowInFront();
    static QString CreditText();

private:
    void FitText();
};

extern TFormInfo* FormInfo;
