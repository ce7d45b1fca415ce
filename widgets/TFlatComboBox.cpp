#include "widgets/TFlatComboBox.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

TFlatComboBox::TFlatComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    setDuplicatesEnabled(true);
    connect(this, &QComboBox::editTextChanged, this, &TFlatComboBox::TextChanged);
    lineEdit()->installEventFilter(this);
    installEventFilter(this);
}

void TFlatComboBox::SetText(const QString& text)
{
    setEditText(text);
}

void TFlatComboBox::AddEntry(const QString& entry)
{
    const QString keep = currentText();
    int at = 0;
    while (at < count() && QString::localeAwareCompare(itemText(at), entry) <= 0)
        ++at;
    insertItem(at, entry);
    setEditText(keep);
}

QStringList TFlatComboBox::Entries() const
{
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << itemText(i);
    return out;
}

void TFlatComboBox::SetEntries(const QStringList& entries)
{
    const QString keep = currentText();
    clear();
    QStringList sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
    addItems(sorted);
    setEditText(keep);
}

int TFlatComboBox::SelectedEntry() const
{
    const int i = currentIndex();
    return i >= 0 && i < count() && itemText(i) == currentText() ? i : -1;
}

void TFlatComboBox::DeleteEntry(int index)
{
    if (index < 0 || index >= count())
        return;
    const QString keep = currentText();
    removeItem(index);
    setEditText(keep);
}

void TFlatComboBox::ClearEntries()
{
    const QString keep = currentText();
    clear();
    setEditText(keep);
}

void TFlatComboBox::SetColors(const QColor& background, const QColor& text)
{
    QPalette pal = lineEdit()->palette();
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::Text, text);
    lineEdit()->setPalette(pal);
    setPalette(pal);
}

bool TFlatComboBox::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        emit DoubleClicked();
        break;
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit EnterPressed();
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        if (watched == lineEdit() && !view()->isVisible())
            emit FocusLost();
        break;
    default:
        break;
    }
    return QComboBox::eventFilter(watched, event);
}
