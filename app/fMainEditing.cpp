// Editing the frame list: move the selected frames up or down or drag them elsewhere, delete
// them, clear the list, undo and redo. Only entry texts, the selection and what shows the
// selected frame change; no bitmap is opened. A list left empty frees the frame format, so
// frames of another size can start a new video; undoing that change takes the format back.
#include "app/fMain.h"

#include "app/PreviewPlayer.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include <algorithm>

namespace kelvora::app {

namespace {

constexpr int vkF11 = 122;
constexpr int vkF12 = 123;
constexpr int vkDelete = 46;
constexpr int vkSpace = 32;
constexpr int vkEscape = 27;
constexpr int rightButton = 2;

// The ranges moved by `step` rows.
std::vector<platform::RowRange> shifted(std::vector<platform::RowRange> ranges, int step)
{
    for (platform::RowRange& range : ranges)
        range.first += step;
    return ranges;
}

}  // namespace

void fMain::changeList(std::vector<platform::RowRange> removed, std::vector<platform::RowRange> inserted, int current)
{
    ListChange change{std::move(removed), std::move(inserted), {}, m_format, {}, {}, {}};
    moveRows(*lstDIBList, change.removed, change.inserted, change.parked);
    if (lstDIBList->ListCount() == 0)
        m_format = {};
    change.formatAfter = m_format;
    std::vector<platform::RowRange> select = change.inserted;
    m_history.record(std::move(change));
    Annulla->setEnabled(true);
    Ripeti->setEnabled(false);
    if (!select.empty())
        lstDIBList->selectRanges(select, current);
}

void fMain::moveSelection(int step)
{
    if (busy())
        return;
    stopPlayback();
    const std::vector<platform::RowRange> selected = lstDIBList->selectedRanges();
    // The block moves whole or not at all: the first frame cannot go up, the last cannot go down.
    if (selected.empty() || (step < 0 && selected.front().first == 0) ||
        (step > 0 && selected.back().end() == lstDIBList->ListCount()))
        return;
    const int current = lstDIBList->ListIndex() + step;
    changeList(selected, shifted(selected, step), current);
}

void fMain::SpostaSu_Click() { moveSelection(-1); }

void fMain::SpostaGiu_Click() { moveSelection(+1); }

void fMain::lstDIBList_RowsDragged(int before)
{
    if (busy())
        return;
    stopPlayback();
    const std::vector<platform::RowRange> selected = lstDIBList->selectedRanges();
    if (selected.empty())
        return;
    // Where `before` is once the dragged rows are out of the list.
    int target = before;
    for (const platform::RowRange& range : selected)
        target -= std::max(0, std::min(range.end(), before) - range.first);
    const platform::RowRange block{target, platform::rowsIn(selected)};
    if (selected.size() == 1 && selected.front() == block)
        return;  // dropped where they were
    const int offset = lstDIBList->ListIndex() - selected.front().first;
    changeList(selected, {block}, target + std::clamp(offset, 0, block.count - 1));
}

void fMain::Cancella_Click()
{
    if (busy())
        return;
    stopPlayback();
    // With nothing selected there is nothing to delete: the list stays as it is, so a
    // second Delete press cannot wipe the user's whole list.
    std::vector<platform::RowRange> selected = lstDIBList->selectedRanges();
    if (selected.empty())
        return;
    changeList(std::move(selected), {}, -1);
    // The preview and the status showed a frame just deleted: a picture of a frame that is
    // no longer in the video would mislead.
    imgPreview->setPicture({});
    showStatus(QString());
}

void fMain::Command1_Click()
{
    if (busy())
        return;
    stopPlayback();
    if (lstDIBList->ListCount() > 0)
        changeList({{0, lstDIBList->ListCount()}}, {}, -1);
    imgPreview->setPicture({});
    showStatus(QString());  // it named a frame that is no longer in the list
}

void fMain::Annulla_Click()
{
    if (busy())
        return;
    stopPlayback();
    afterUndoOrRedo(m_history.undo(*lstDIBList));
}

void fMain::Ripeti_Click()
{
    if (busy())
        return;
    stopPlayback();
    afterUndoOrRedo(m_history.redo(*lstDIBList));
}

void fMain::afterUndoOrRedo(const std::optional<AppliedChange>& applied)
{
    Annulla->setEnabled(m_history.canUndo());
    Ripeti->setEnabled(m_history.canRedo());
    if (!applied)
        return;
    m_format = applied->format;
    if (!applied->rows.empty()) {
        // The frames that came back are selected and shown.
        lstDIBList->selectRanges(applied->rows, applied->rows.front().first);
        return;
    }
    imgPreview->setPicture({});
    showStatus(QString());
}

void fMain::lstDIBList_KeyDown(int KeyCode, int /*Shift: the keys act with any modifiers*/)
{
    if (KeyCode == vkF12)
        SpostaSu_Click();
    if (KeyCode == vkF11)
        SpostaGiu_Click();
    if (KeyCode == vkDelete)
        Cancella_Click();
    if (KeyCode == vkSpace)
        Riproduci_Click();
    if (KeyCode == vkEscape)
        stopPlayback();
}

void fMain::lstDIBList_MouseDown(int Button, int /*Shift*/, QPoint position)
{
    // A click in the list chooses a frame: the playback gives way to it.
    stopPlayback();
    if (lstDIBList->ListCount() > 0 && Button == rightButton && !busy()) {
        Riproduci->setText(QStringLiteral("Riproduci (Spazio)"));
        Durata->setEnabled(m_services.durations != nullptr && lstDIBList->ListIndex() >= 0);
        ListMenu->exec(lstDIBList->viewport()->mapToGlobal(position));
    }
}

}  // namespace kelvora::app
