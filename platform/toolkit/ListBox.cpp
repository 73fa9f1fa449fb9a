#include "platform/toolkit/ListBox.h"

#include "platform/text/CompactTexts.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>

namespace kelvora::platform {

// The entries as a model the view reads, over the compact store.
class TextListModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_texts.size(); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return m_texts.at(index.row());
    }

    [[nodiscard]] int count() const { return m_texts.size(); }
    [[nodiscard]] QString text(int row) const { return m_texts.at(row); }

    void append(const QString& text)
    {
        const int row = m_texts.size();
        beginInsertRows({}, row, row);
        m_texts.append(text);
        endInsertRows();
    }
    void append(const CompactTexts& texts)
    {
        if (texts.size() == 0)
            return;
        const int first = m_texts.size();
        beginInsertRows({}, first, first + texts.size() - 1);
        m_texts.appendAll(texts);
        endInsertRows();
    }
    void replace(int row, const QString& text)
    {
        m_texts.replace(row, text);
        emit dataChanged(index(row), index(row));
    }
    void remove(int row)
    {
        beginRemoveRows({}, row, row);
        m_texts.remove(row);
        endRemoveRows();
    }
    void clear()
    {
        beginResetModel();
        m_texts.clear();
        endResetModel();
    }

private:
    CompactTexts m_texts;
};

ListBox::ListBox(QWidget* parent) : QListView(parent), m_model(new TextListModel(this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row has the one height; a long list is laid out a batch of rows per turn of the
    // event loop, so a million rows never hold the window for the whole of their layout.
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(20000);
    // Selection, not the current row: the view moves its current row on focus without selecting.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ListBox::onSelectionChanged);
}

QModelIndex ListBox::rowIndex(int row) const { return m_model->index(row, 0); }

int ListBox::ListCount() const { return m_model->count(); }

int ListBox::ListIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

void ListBox::setListIndex(int index)
{
    {
        const QScopedValueRollback quiet(m_quiet, true);
        if (index >= 0 && index < ListCount()) {
            selectionModel()->setCurrentIndex(rowIndex(index), QItemSelectionModel::ClearAndSelect);
        } else {
            selectionModel()->clearSelection();
            selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        }
    }
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

QString ListBox::List(int index) const { return m_model->text(index); }

void ListBox::setList(int index, const QString& text)
{
    if (index >= 0 && index < ListCount())
        m_model->replace(index, text);
}

QString ListBox::Text() const
{
    const int index = ListIndex();
    return index >= 0 ? m_model->text(index) : QString();
}

void ListBox::AddItem(const QString& text) { m_model->append(text); }

void ListBox::AddItems(const CompactTexts& texts)
{
    m_model->append(texts);
    // The view lays out its rows again after an insert (its first batch at once, here, so the
    // cost is the caller's to see: an add spaces its batches by it).
    executeDelayedItemsLayout();
}

void ListBox::RemoveItem(int index)
{
    if (index < 0 || index >= ListCount())
        return;
    const QScopedValueRollback quiet(m_quiet, true);
    m_model->remove(index);
    selectionModel()->clearSelection();
    selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

void ListBox::Clear()
{
    const QScopedValueRollback quiet(m_quiet, true);
    m_model->clear();
}

QRect ListBox::rowRect(int index) const { return visualRect(rowIndex(index)); }

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    if (index.isValid() && selectionModel()->isSelected(index) &&
        (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return QItemSelectionModel::NoUpdate;
    return flags;
}

void ListBox::onSelectionChanged()
{
    if (!m_quiet)
        emit Click();
}

void ListBox::keyPressEvent(QKeyEvent* event)
{
    emit KeyDown(virtualKeyCode(event->key()), shiftState(event->modifiers()));
    QListView::keyPressEvent(event);
}

void ListBox::mousePressEvent(QMouseEvent* event)
{
    const int button = event->button() == Qt::LeftButton     ? 1
                       : event->button() == Qt::RightButton  ? 2
                       : event->button() == Qt::MiddleButton ? 4
                                                             : 0;
    if (event->button() != Qt::RightButton)
        QListView::mousePressEvent(event);
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
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

}  // namespace kelvora::platform
