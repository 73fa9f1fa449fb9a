#include "bench/app/BenchWindow.h"

#include "platform/toolkit/ListBox.h"
#include "video/mAVIDecs.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <cstdlib>

namespace kelvora::bench {

BenchWindow::BenchWindow()
{
    ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    m_application = std::make_unique<QApplication>(m_argc, m_argv);
    m_window = std::make_unique<app::fMain>(app::Services{m_messages, m_dialogs, video::systemAVIDecs()});
}

BenchWindow::~BenchWindow() = default;

bool BenchWindow::showOnScreen()
{
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get(), 10000);
}

int BenchWindow::addFolder(const std::filesystem::path& anyFrame)
{
    m_window->Cartella->setCheckState(Qt::Checked);
    m_dialogs.answers.push_back(testsupport::DialogAnswer::choose(anyFrame.string()));
    m_window->cmdFileOpen_Click();
    return m_window->lstDIBList->ListCount();
}

bool BenchWindow::save(const std::filesystem::path& output)
{
    m_dialogs.answers.push_back(testsupport::DialogAnswer::choose(output.string()));
    m_window->cmdWriteAVI_Click();
    return m_window->lblStatus->text() == QStringLiteral("Il file AVI è stato creato con successo!");
}

}  // namespace kelvora::bench
