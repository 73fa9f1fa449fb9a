#include "bench/app/OffscreenWindow.h"

#include "platform/toolkit/ListBox.h"
#include "video/mAVIDecs.h"

#include <QCheckBox>
#include <QLabel>
#include <cstdlib>

namespace kelvora::bench {

OffscreenWindow::OffscreenWindow()
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    m_application = std::make_unique<QApplication>(m_argc, m_argv);
    m_window = std::make_unique<app::fMain>(app::Services{m_messages, m_dialogs, video::systemAVIDecs()});
}

OffscreenWindow::~OffscreenWindow() = default;

int OffscreenWindow::addFolder(const std::filesystem::path& anyFrame)
{
    m_window->Cartella->setCheckState(Qt::Checked);
    m_dialogs.answers.push_back(testing::DialogAnswer::choose(anyFrame.string()));
    m_window->cmdFileOpen_Click();
    return m_window->lstDIBList->ListCount();
}

bool OffscreenWindow::save(const std::filesystem::path& output)
{
    m_dialogs.answers.push_back(testing::DialogAnswer::choose(output.string()));
    m_window->cmdWriteAVI_Click();
    return m_window->lblStatus->text() == QStringLiteral("Il file AVI è stato creato con successo!");
}

}  // namespace kelvora::bench
