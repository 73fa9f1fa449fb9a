// Editing the frame list: move the selected frame up or down, delete it, clear the list.
// Only entry texts, the selection and what shows the selected frame change; no bitmap is
// opened and the frame format and the save button stay as they are.
#include "app/fMain.h"

#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QLabel>
#include <QMenu>

namespace kelvora::app {

namespace {

constexpr int vkF11 = 122;
constexpr int vkF12 = 123;
constexpr int vkDelete = 46;
constexpr int rightButton = 2;

// Exchanges the texts of entries a and b in place and selects b, which shows it.
void exchangeAndSelect(platform::ListBox& list, int a, int b)
{
    const QString textA = list.List(a);
    const QString textB = list.List(b);
    list.setList(a, textB);
    list.setList(b, textA);
    list.setListIndex(b);
}

}  // namespace

void fMain::SpostaSu_Click()
{
    const int selected = lstDIBList->ListIndex();
    if (selected > 0)
        exchangeAndSelect(*lstDIBList, selected, selected - 1);
}

void fMain::SpostaGiu_Click()
{
    const int selected = lstDIBList->ListIndex();
    if (selected >= 0 && selected < lstDIBList->ListCount() - 1)
        exchangeAndSelect(*lstDIBList, selected, selected + 1);
}

void fMain::Cancella_Click()
{
    // With nothing selected there is nothing to delete: the list stays as it is, so a
    // second Delete press cannot wipe the user's whole list.
    const int selected = lstDIBList->ListIndex();
    if (selected < 0)
        return;
    lstDIBList->RemoveItem(selected);
    // The preview and the status showed the frame just deleted: a picture of a frame that is
    // no longer in the video would mislead.
    imgPreview->setPicture({});
    lblStatus->clear();
}

void fMain::lstDIBList_KeyDown(int KeyCode, int /*Shift: the keys act with any modifiers*/)
{
    if (KeyCode == vkF12)
        SpostaSu_Click();
    if (KeyCode == vkF11)
        SpostaGiu_Click();
    if (KeyCode == vkDelete)
        Cancella_Click();
}

void fMain::lstDIBList_MouseDown(int Button, int /*Shift*/, QPoint position)
{
    if (lstDIBList->ListCount() > 0 && Button == rightButton)
        ListMenu->exec(lstDIBList->viewport()->mapToGlobal(position));
}

void fMain::Command1_Click()
{
    lstDIBList->Clear();
    imgPreview->setPicture({});
    lblStatus->clear();  // it named a frame that is no longer in the list
}

}  // namespace kelvora::app
