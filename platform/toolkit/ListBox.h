#pragma once

#include "platform/text/CompactTexts.h"

#include <QListView>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

#include <span>
#include <vector>

namespace kelvora::platform {

class TextListModel;

// A list box with the operations and events the window's handlers rely on:
// - several rows can be selected (Shift- and Ctrl-click, Shift+arrows); the selected index
//   is the current row when it is selected, else the first selected row, -1 when none is;
// - every change of the selection, by the user or from code, emits Click at once, inside the
//   call that changed it;
// - an entry's text is replaced in place, leaving the other entries and the selection alone;
// - a right button press selects the row under the pointer unless that row is selected
//   already (a selection it belongs to stays), then reports MouseDown;
// - the user cannot deselect the only selected entry (Ctrl+click or Ctrl+Space keep it);
// - pressing on a selected row and dragging moves the selected rows: the list shows where
//   they would go and reports RowsDragged on release; it moves nothing itself;
// - KeyDown reports the virtual-key code first, then the list handles the key as usual
//   (Space excepted: it is the window's).
// - an entry may carry a tag (CompactTexts), which moves, goes and comes back with its text;
//   the list paints a tag's text, as the owner spells it, right-aligned in the entry's row.
// Its entries live in one compact store behind a list model, with no object per entry, so a
// list of a million frames scrolls, selects and clears at once and weighs little.
class ListBox : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent = nullptr);

    [[nodiscard]] int ListCount() const;
    [[nodiscard]] int ListIndex() const;
    void setListIndex(int index);
    void setSelected(int index, bool selected);
    [[nodiscard]] QString List(int index) const;
    void setList(int index, const QString& text);
    [[nodiscard]] QString Text() const;  // the selected entry's text, empty when none
    // Entry index's tag (0: none), and setting it, in place.
    [[nodiscard]] std::int64_t Tag(int index) const;
    void setTag(int index, std::int64_t tag);
    // Gives every entry of `rows` the one tag: one change of the list's data.
    void setTags(RowRange rows, std::int64_t tag);
    // How a tag is shown in its row ("3 s"); empty text: nothing shown. Unset: tags are not shown.
    void setTagText(std::function<QString(std::int64_t)> text);
    // What row index shows beside its text, empty for none.
    [[nodiscard]] QString tagTextOf(int index) const;
    void AddItem(const QString& text);
    // Appends every text, in order, as one change of the list: how many entries arrive at once.
    void AddItems(const CompactTexts& texts);
    // Removes one entry; afterwards nothing is selected. Emits no Click.
    void RemoveItem(int index);
    void Clear();
    // The selected rows, as ranges in order, apart and not adjacent.
    [[nodiscard]] std::vector<RowRange> selectedRanges() const;
    // Selects exactly the rows of `ranges`, `current` being the current row; one Click.
    void selectRanges(std::span<const RowRange> ranges, int current);
    // Removes the rows of `ranges` and returns their texts; afterwards nothing is selected.
    // Emits no Click. All the rows are handed over whole, with no copy.
    [[nodiscard]] CompactTexts takeRows(std::span<const RowRange> ranges);
    // Inserts texts so that they hold the rows of `ranges` afterwards (CompactTexts::insertRanges);
    // the selection is left empty. Emits no Click. An empty list takes the texts over whole.
    void insertRows(std::span<const RowRange> ranges, CompactTexts texts);
    // Empties the list and hands over its texts whole, with no copy. Emits no Click.
    [[nodiscard]] CompactTexts takeAll();
    // Reads entry texts from another thread: while nothing changes the list, any thread may.
    [[nodiscard]] const CompactTexts& texts() const;
    // Where entry index is drawn, in the viewport's coordinates.
    [[nodiscard]] QRect rowRect(int index) const;

signals:
    void Click();
    void KeyDown(int keyCode, int shift);
    void MouseDown(int button, int shift, QPoint position);
    // The selected rows were dragged to just before row `before` (ListCount() for the end),
    // as the rows are numbered before the move.
    void RowsDragged(int before);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                                       const QEvent* event) const override;

private:
    [[nodiscard]] QModelIndex rowIndex(int row) const;
    void onSelectionChanged();
    // The row the dragged rows would go before, for a pointer at `position`.
    [[nodiscard]] int dropRowAt(QPoint position) const;

    TextListModel* m_model;
    std::function<QString(std::int64_t)> m_tagText;
    bool m_quiet = false;  // the list is changing itself: no Click
    // A press on a selected row: it may become a drag of the selection, or, released where
    // it was, selects that row alone.
    int m_pressRow = -1;
    QPoint m_pressAt;
    int m_dropRow = -1;      // while dragging: where the rows would go
    int m_lastClicked = -1;  // the selected index the last Click reported
};

// Shift, Ctrl and Alt as the original event arguments carry them: bits 1, 2 and 4.
[[nodiscard]] int shiftState(Qt::KeyboardModifiers modifiers);
// The platform's virtual-key code for a Qt key, or 0 when it has none.
[[nodiscard]] int virtualKeyCode(int qtKey);

}  // namespace kelvora::platform
