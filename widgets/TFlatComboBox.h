#pragma once
// Editable drop-down field with a sorted list that allows duplicates, 16 rows dropped down,
// a context menu and double-click notification.
#include <QByteArray>
#include <QComboBox>
#include <QStringList>

class QMenu;

class TFlatComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TFlatComboBox(QWidget* parent = nullptr);

    QString Text() const { return currentText(); }
    void SetText(const QString& text);
    void AddEntry(const QString& entry);  // kept in sorted order, duplicates allowed
    QStringList Entries() const;
    void SetEntries(const QStringList& entries);
    int SelectedEntry() const;  // index of the list entry shown as selected, -1 none
    void DeleteEntry(int index);
    void ClearEntries();  // the text stays
    void SetColors(const QColor& background, const QColor& text);
    QColor BackgroundColor() const;
    QColor TextColor() const;
    void SetPopupMenu(QMenu* menu);  // replaces the editor's own context menu

signals:
    void TextChanged(const QString& text);  // every edit, also by the program
    void DoubleClicked();
    void EnterPressed();
    void FocusLost();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
