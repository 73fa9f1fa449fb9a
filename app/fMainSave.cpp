// "Salva file AVI": the save runs through the window's own controls.
#include "app/fMain.h"

#include "platform/picture/PictureLoader.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "video/AVIWriter.h"

#include <QLabel>
#include <QLineEdit>

namespace kelvora::app {

namespace {

class WindowForSave final : public video::SaveWindow {
public:
    explicit WindowForSave(fMain& window) : m_window(window) {}

    void selectEntry(int index) override { m_window.lstDIBList->setListIndex(index); }
    int entryCount() const override { return m_window.lstDIBList->ListCount(); }
    QString selectedText() const override { return m_window.lstDIBList->Text(); }
    QString fpsText() const override { return m_window.txtFPS->text(); }
    void showPreview(const QString& path) override
    {
        platform::ImageBox& preview = *m_window.imgPreview;
        preview.setPicture(platform::LoadPicture(path, preview.pictureArea()));
        preview.Refresh();
    }
    void showStatus(const QString& text) override
    {
        m_window.lblStatus->setText(text);
        m_window.lblStatus->repaint();
    }
    std::int32_t ownerHandle() override { return m_window.hWnd(); }

private:
    fMain& m_window;
};

}  // namespace

void fMain::cmdWriteAVI_Click()
{
    WindowForSave target(*this);
    video::AVIWriter(target, m_services.avi, m_services.dialogs, m_services.messages).save();
}

}  // namespace kelvora::app
