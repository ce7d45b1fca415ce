#pragma once
// The help window: the user guide from "Kelvorn.rtf" beside the program, read once when the
// window is created, shown without blocking.
#include <QDialog>

class QFrame;
class QTextEdit;
class QToolButton;

class TFormHelp : public QDialog {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* parent = nullptr);

    QFrame* PanelTop = nullptr;
    QToolButton* ButtonClose = nullptr;
    QTextEdit* RichEdit1 = nullptr;

    // Shows the window, or brings it to the front when it is shown already.
    void ShowInFront();
    static QString DocumentationName() { return QStringLiteral("Kelvorn.rtf"); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LoadDocumentation();
};

extern TFormHelp* FormHelp;
