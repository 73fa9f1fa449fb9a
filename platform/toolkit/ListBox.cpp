#include "platform/toolkit/ListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace kelvora::platform {

ListBox::ListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    // Keeps appending and scrolling cheap for lists of many thousands of frames.
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    // Selection, not the current row: the view moves its current row on focus without selecting.
    connect(this, &QListWidget::itemSelectionChanged, this, &ListBox::onSelectionChanged);
}

int ListBox::ListCount() const { return count(); }

int ListBox::ListIndex() const
{
    const int row = currentRow();
    return row >= 0 && item(row)->isSelected() ? row : -1;
}

void ListBox::setListIndex(int index)
{
    {
        const QSignalBlocker blocker(this);
        if (index >= 0 && index < count()) {
            setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        } else {
            clearSelection();
            setCurrentRow(-1);
        }
    }
    // The blocked signals skipped the view's own repaint bookkeeping; ask for it explicitly.
    viewport()->update();
    emit Click();
}

void ListBox::setSelected(int index, bool selected)
{
    if (selected) {
        setListIndex(index);
    } else if (index == ListIndex()) {
        setListIndex(-1);
    }
}

QString ListBox::List(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

void ListBox::setList(int index, const QString& text)
{
    if (QListWidgetItem* entry = item(index))
        entry->setText(text);
}

QString ListBox::Text() const
{
    const int index = ListIndex();
    return index >= 0 ? item(index)->text() : QString();
}

void ListBox::AddItem(const QString& text) { addItem(text); }

void ListBox::RemoveItem(int index)
{
    const QSignalBlocker blocker(this);
    delete takeItem(index);
    clearSelection();
    setCurrentRow(-1);
}

void ListBox::Clear()
{
    const QSignalBlocker blocker(this);
    clear();
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
    if (index.isValid() && selectionModel()->isSelected(index) &&
        (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return QItemSelectionModel::NoUpdate;
    return flags;
}

void ListBox::onSelectionChanged()
{
    emit Click();
}

void ListBox::keyPressEvent(QKeyEvent* event)
{
    emit KeyDown(virtualKeyCode(event->key()), shiftState(event->modifiers()));
    QListWidget::keyPressEvent(event);
}

void ListBox::mousePressEvent(QMouseEvent* event)
{
    const int button = event->button() == Qt::LeftButton    ? 1
                       : event->button() == Qt::RightButton ? 2
                       : event->button() == Qt::MiddleButton ? 4
                                                             : 0;
    if (event->button() != Qt::RightButton)
        QListWidget::mousePressEvent(event);
    else
        event->accept();
    emit MouseDown(button, shiftState(event->modifiers()), event->position().toPoint());
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

int virtualKeyCode(int qtKey)
{
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;  // the platform uses the ASCII codes of digits and capitals
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

}  // namespace kelvora::platform
