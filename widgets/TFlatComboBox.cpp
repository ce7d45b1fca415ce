#include "widgets/TFlatComboBox.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QMouseEvent>

TFlatComboBox::TFlatComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    setDuplicatesEnabled(true);
    // No completion while typing: the text is exactly what was typed (the directory field tests
    // every text it gets).
    setCompleter(nullptr);
    connect(this, &QComboBox::editTextChanged, this, &TFlatComboBox::TextChanged);
    lineEdit()->installEventFilter(this);
    installEventFilter(this);
}

void TFlatComboBox::SetText(const QString& text) { setEditText(text); }

void TFlatComboBox::AddEntry(const QString& entry)
{
    const QString keep = currentText();
    int at = 0;
    while (at < count() && QString::localeAwareCompare(itemText(at), entry) <= 0)
        ++at;
    {
        // Inserting into an empty list makes the entry current; the field's text must not move.
        const QSignalBlocker block(this);
        insertItem(at, entry);
        setEditText(keep);
    }
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
    QStringList sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
    // Replacing the list leaves the field's text as it was and reports no change of it.
    const QSignalBlocker block(this);
    clear();
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
    const QSignalBlocker block(this);
    removeItem(index);
    setEditText(keep);
}

void TFlatComboBox::ClearEntries()
{
    const QString keep = currentText();
    const QSignalBlocker block(this);
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

QColor TFlatComboBox::BackgroundColor() const { return lineEdit()->palette().color(QPalette::Base); }

QColor TFlatComboBox::TextColor() const { return lineEdit()->palette().color(QPalette::Text); }

void TFlatComboBox::SetPopupMenu(QMenu* menu)
{
    lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    setContextMenuPolicy(Qt::CustomContextMenu);
    const auto show = [menu](QWidget* from, const QPoint& pos) {
        if (menu)
            menu->popup(from->mapToGlobal(pos));
    };
    connect(lineEdit(), &QWidget::customContextMenuRequested, menu,
            [this, show](const QPoint& pos) { show(lineEdit(), pos); });
    connect(this, &QWidget::customContextMenuRequested, menu, [this, show](const QPoint& pos) { show(this, pos); });
}

bool TFlatComboBox::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick: emit DoubleClicked(); break;
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
    default: break;
    }
    return QComboBox::eventFilter(watched, event);
}
