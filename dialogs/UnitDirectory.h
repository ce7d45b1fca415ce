#pragma once
// The directory chooser: a drive drop-down tied to a directory list, "&Save", "&Cancel" and
// "&New directory" with its bottom panel. Shown modally from the download field; it returns the
// chosen directory and the caller re-tests the field whichever way the dialog closes.
#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;
class TDirectoryListBox;
class TDriveComboBox;

class TFormDirectory : public QDialog {
    Q_OBJECT
public:
    explicit TFormDirectory(QWidget* parent = nullptr);

    QFrame* PanelTop = nullptr;
    QToolButton* ButtonSave = nullptr;
    QToolButton* ButtonCancel = nullptr;
    QToolButton* ButtonNew = nullptr;
    TDriveComboBox* RzDriveComboBox1 = nullptr;
    TDirectoryListBox* RzDirectoryListBox1 = nullptr;
    QFrame* PanelBottom = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* ButtonOk = nullptr;

    // Shows the dialog modally, its list moved to `start` first (a missing directory leaves it
    // where it stood last). Returns the shown directory when the user chose "&Save"; nothing
    // when the dialog was cancelled or closed.
    std::optional<QString> Choose(const QString& start);
    // Error boxes of "&Ok" go through this when it is set; unset, the dialog shows them itself.
    std::function<void(const QString& text)> ErrorBoxHook;

    // The directory that "&Save" and "&Ok" work on: the shown one, not a highlighted one.
    QString Directory() const;
    // Moves the list to a directory; a missing one leaves the list where it was.
    bool MoveTo(const QString& directory);

    void ButtonSaveClick();
    void ButtonCancelClick();
    void ButtonNewClick();
    void ButtonOkClick();
    void Edit1Change();

    // Whether a text can name a new directory inside the shown one; the reason when it cannot.
    static bool IsPlainDirectoryName(const QString& name, QString* reason = nullptr);

private:
    void LayoutMiddle();
    void FitTexts();
    void ShowError(const QString& text);
};

extern TFormDirectory* FormDirectory;
