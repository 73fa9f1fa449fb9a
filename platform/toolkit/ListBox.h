#pragma once

#include "platform/text/CompactTexts.h"

#include <QListView>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

namespace kelvora::platform {

class TextListModel;

// A single-selection list box with the operations and events the window's handlers rely on:
// - the selected index is -1 when nothing is selected;
// - every change of the selection, by the user or from code, emits Click at once, inside the
//   call that changed it;
// - an entry's text is replaced in place, leaving the other entries and the selection alone;
// - a right button press never moves the selection (it only reports MouseDown);
// - the user cannot deselect the selected entry (Ctrl+click or Ctrl+Space keep it selected);
// - KeyDown reports the virtual-key code first, then the list handles the key as usual.
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
    void AddItem(const QString& text);
    // Appends every text, in order, as one change of the list: how many entries arrive at once.
    void AddItems(const CompactTexts& texts);
    // Removes one entry; afterwards nothing is selected. Emits no Click.
    void RemoveItem(int index);
    void Clear();
    // Where entry index is drawn, in the viewport's coordinates.
    [[nodiscard]] QRect rowRect(int index) const;

signals:
    void Click();
    void KeyDown(int keyCode, int shift);
    void MouseDown(int button, int shift, QPoint position);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    [[nodiscard]] QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                                       const QEvent* event) const override;

private:
    [[nodiscard]] QModelIndex rowIndex(int row) const;
    void onSelectionChanged();

    TextListModel* m_model;
    bool m_quiet = false;  // the list is changing itself: no Click
};

// Shift, Ctrl and Alt as the original event arguments carry them: bits 1, 2 and 4.
[[nodiscard]] int shiftState(Qt::KeyboardModifiers modifiers);
// The platform's virtual-key code for a Qt key, or 0 when it has none.
[[nodiscard]] int virtualKeyCode(int qtKey);

}  // namespace kelvora::platform
