#include "platform/toolkit/ListBox.h"

#include "platform/text/CompactTexts.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <utility>

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
    [[nodiscard]] std::int64_t tag(int row) const { return m_texts.tag(row); }
    void setTag(int row, std::int64_t tag)
    {
        if (row < 0 || row >= m_texts.size() || m_texts.tag(row) == tag)
            return;
        m_texts.setTag(row, tag);
        emit dataChanged(index(row), index(row));
    }
    void setTags(RowRange rows, std::int64_t tag)
    {
        const int first = std::max(rows.first, 0);
        const int end = std::min(rows.end(), m_texts.size());
        if (first >= end)
            return;
        for (int row = first; row < end; ++row)
            m_texts.setTag(row, tag);
        emit dataChanged(index(first), index(end - 1));
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
    // One range is an ordinary removal; many at once are one new layout, not one per range.
    CompactTexts take(std::span<const RowRange> ranges)
    {
        if (ranges.empty())
            return {};
        if (ranges.size() == 1) {
            beginRemoveRows({}, ranges[0].first, ranges[0].end() - 1);
            CompactTexts taken = m_texts.takeRanges(ranges);
            endRemoveRows();
            return taken;
        }
        beginResetModel();
        CompactTexts taken = m_texts.takeRanges(ranges);
        endResetModel();
        return taken;
    }
    void insert(std::span<const RowRange> ranges, const CompactTexts& texts)
    {
        if (ranges.empty())
            return;
        if (ranges.size() == 1) {
            beginInsertRows({}, ranges[0].first, ranges[0].end() - 1);
            m_texts.insertRanges(ranges, texts);
            endInsertRows();
            return;
        }
        beginResetModel();
        m_texts.insertRanges(ranges, texts);
        endResetModel();
    }
    void adopt(CompactTexts texts)
    {
        beginResetModel();
        m_texts = std::move(texts);
        endResetModel();
    }
    CompactTexts takeAll()
    {
        beginResetModel();
        CompactTexts all = std::move(m_texts);
        m_texts = CompactTexts();
        endResetModel();
        return all;
    }
    [[nodiscard]] const CompactTexts& texts() const { return m_texts; }

private:
    CompactTexts m_texts;
};

namespace {

// Draws a row as the view would, with its tag's text right-aligned and the entry's text cut
// short (with an ellipsis) before it rather than under it.
class TaggedRowDelegate final : public QStyledItemDelegate {
public:
    explicit TaggedRowDelegate(ListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString tag = m_list->tagTextOf(index.row());
        if (tag.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem row = option;
        initStyleOption(&row, index);
        const int margin = row.fontMetrics.horizontalAdvance(QLatin1Char(' ')) * 2;
        const int room = row.fontMetrics.horizontalAdvance(tag) + margin;
        const QRect tagRect = row.rect.adjusted(row.rect.width() - room, 0, -margin / 2, 0);
        // The row's text stops short of the tag; the highlight still spans the whole row.
        QStyleOptionViewItem text = row;
        text.text = row.fontMetrics.elidedText(row.text, Qt::ElideMiddle, row.rect.width() - room - margin);
        const QStyle* style = row.widget ? row.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &text, painter, row.widget);
        style->drawItemText(painter, tagRect, Qt::AlignRight | Qt::AlignVCenter, row.palette, true, tag,
                            row.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);
    }

private:
    ListBox* m_list;
};

}  // namespace

ListBox::ListBox(QWidget* parent) : QListView(parent), m_model(new TextListModel(this))
{
    setModel(m_model);
    setItemDelegate(new TaggedRowDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row has the one height; a long list is laid out a batch of rows per turn of the
    // event loop, so a million rows never hold the window for the whole of their layout.
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(20000);
    // Selection, not the current row: the view moves its current row on focus without selecting.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ListBox::onSelectionChanged);
    // A drag across the rows moves the current row after the selection grew to it: the frame
    // shown follows the current row.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid() && selectionModel()->isSelected(current) && current.row() != m_lastClicked)
            onSelectionChanged();
    });
}

QModelIndex ListBox::rowIndex(int row) const { return m_model->index(row, 0); }

int ListBox::ListCount() const { return m_model->count(); }

int ListBox::ListIndex() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current))
        return current.row();
    // A drag across the rows can leave the current row outside the selection for a moment.
    const std::vector<RowRange> selected = selectedRanges();
    return selected.empty() ? -1 : selected.front().first;
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
    m_lastClicked = ListIndex();
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

std::int64_t ListBox::Tag(int index) const { return m_model->tag(index); }

void ListBox::setTag(int index, std::int64_t tag) { m_model->setTag(index, tag); }

void ListBox::setTags(RowRange rows, std::int64_t tag) { m_model->setTags(rows, tag); }

void ListBox::setTagText(std::function<QString(std::int64_t)> text)
{
    m_tagText = std::move(text);
    viewport()->update();
}

QString ListBox::tagTextOf(int index) const
{
    const std::int64_t tag = m_model->tag(index);
    return tag != 0 && m_tagText ? m_tagText(tag) : QString();
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

std::vector<RowRange> ListBox::selectedRanges() const
{
    std::vector<RowRange> ranges;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (range.isValid())
            ranges.push_back({range.top(), range.bottom() - range.top() + 1});
    std::ranges::sort(ranges, {}, &RowRange::first);
    std::vector<RowRange> merged;
    for (const RowRange& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().end())
            merged.back().count = std::max(merged.back().end(), range.end()) - merged.back().first;
        else
            merged.push_back(range);
    }
    return merged;
}

void ListBox::selectRanges(std::span<const RowRange> ranges, int current)
{
    {
        const QScopedValueRollback quiet(m_quiet, true);
        QItemSelection selection;
        for (const RowRange& range : ranges)
            if (range.count > 0)
                selection.select(rowIndex(range.first), rowIndex(range.end() - 1));
        selectionModel()->setCurrentIndex(rowIndex(current), QItemSelectionModel::NoUpdate);
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    if (current >= 0)
        scrollTo(rowIndex(current));
    viewport()->update();
    emit Click();
}

CompactTexts ListBox::takeRows(std::span<const RowRange> ranges)
{
    const QScopedValueRollback quiet(m_quiet, true);
    selectionModel()->clearSelection();
    selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    if (ranges.size() == 1 && ranges[0] == RowRange{0, ListCount()})
        return m_model->takeAll();
    return m_model->take(ranges);
}

void ListBox::insertRows(std::span<const RowRange> ranges, CompactTexts texts)
{
    const QScopedValueRollback quiet(m_quiet, true);
    selectionModel()->clearSelection();
    if (ListCount() == 0 && ranges.size() == 1 && ranges[0] == RowRange{0, texts.size()})
        m_model->adopt(std::move(texts));
    else
        m_model->insert(ranges, texts);
    executeDelayedItemsLayout();
}

CompactTexts ListBox::takeAll()
{
    const QScopedValueRollback quiet(m_quiet, true);
    return m_model->takeAll();
}

const CompactTexts& ListBox::texts() const { return m_model->texts(); }

QRect ListBox::rowRect(int index) const { return visualRect(rowIndex(index)); }

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    // Only the last selected row is kept: a list with a selection never loses it to a Ctrl+click.
    const std::vector<RowRange> selected = selectedRanges();
    const bool onlySelected = selected.size() == 1 && selected.front().count == 1;
    if (onlySelected && index.isValid() && selectionModel()->isSelected(index) &&
        (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return QItemSelectionModel::NoUpdate;
    return flags;
}

void ListBox::onSelectionChanged()
{
    if (m_quiet)
        return;
    m_lastClicked = ListIndex();
    emit Click();
}

void ListBox::keyPressEvent(QKeyEvent* event)
{
    emit KeyDown(virtualKeyCode(event->key()), shiftState(event->modifiers()));
    if (event->key() == Qt::Key_Space) {
        event->accept();  // the window's key (it plays the list), not a selection
        return;
    }
    QListView::keyPressEvent(event);
}

void ListBox::mousePressEvent(QMouseEvent* event)
{
    const int button = event->button() == Qt::LeftButton     ? 1
                       : event->button() == Qt::RightButton  ? 2
                       : event->button() == Qt::MiddleButton ? 4
                                                             : 0;
    const QPoint at = event->position().toPoint();
    const QModelIndex under = indexAt(at);
    m_pressRow = -1;
    if (event->button() == Qt::RightButton) {
        // The menu acts on what the user points at: a row outside the selection becomes it.
        if (under.isValid() && !selectionModel()->isSelected(under))
            setListIndex(under.row());
        event->accept();
    } else if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && under.isValid() &&
               selectionModel()->isSelected(under)) {
        // Perhaps the start of a drag of the selection: nothing changes until the mouse moves
        // or is released.
        m_pressRow = under.row();
        m_pressAt = at;
        event->accept();
    } else {
        QListView::mousePressEvent(event);
    }
    emit MouseDown(button, shiftState(event->modifiers()), at);
}

int ListBox::dropRowAt(QPoint position) const
{
    const QModelIndex under = indexAt(QPoint(position.x() < 0 ? 0 : position.x(), position.y()));
    if (!under.isValid()) {
        const QModelIndex top = indexAt({0, 0});
        return position.y() < 0 ? std::max(top.row(), 0) : ListCount();
    }
    const QRect rect = visualRect(under);
    return position.y() < rect.center().y() ? under.row() : under.row() + 1;
}

void ListBox::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressRow < 0) {
        QListView::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    if (m_dropRow < 0 && (at - m_pressAt).manhattanLength() < QApplication::startDragDistance())
        return;
    // Near the top or bottom edge the list scrolls, so rows far away can be reached.
    const int margin = viewport()->height() / 10;
    if (at.y() < margin)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    else if (at.y() > viewport()->height() - margin)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
    m_dropRow = dropRowAt(at);
    viewport()->update();
    event->accept();
}

void ListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressRow < 0) {
        QListView::mouseReleaseEvent(event);
        return;
    }
    const int pressed = std::exchange(m_pressRow, -1);
    const int drop = std::exchange(m_dropRow, -1);
    viewport()->update();
    event->accept();
    if (drop < 0)
        setListIndex(pressed);  // a plain click on a selected row: it alone stays selected
    else
        emit RowsDragged(drop);
}

void ListBox::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    if (m_dropRow < 0)
        return;
    // A line where the dragged rows would go.
    const bool atEnd = m_dropRow >= ListCount();
    const QRect row = rowRect(atEnd ? ListCount() - 1 : m_dropRow);
    const int y = atEnd ? row.bottom() : row.top();
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
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
