// "Verifica il video salvato": the video the last save finished, checked against the frames
// it was made from. The check runs beside the window, with the save's progress and cancel.
#include "app/fMain.h"

#include "platform/text/Counts.h"
#include "platform/text/PathNames.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ListBox.h"
#include "verify/VerifyCommand.h"

#include <QLabel>
#include <QProgressBar>

namespace kelvora::app {

class WindowForVerify final : public verify::VerifyWindow {
public:
    explicit WindowForVerify(fMain& window) : m_window(window) {}

    void beginCheck(int frames) override
    {
        m_window.beginBusyControls(frames);
        m_window.jobProgress->setAccessibleName(QStringLiteral("Avanzamento della verifica"));
        showProgress(0, frames, -1);
    }
    void showProgress(int checked, int frames, int secondsLeft) override
    {
        const QString text =
            QStringLiteral("Verificati %1 di %2").arg(checked).arg(frames) + platform::timeLeftSuffix(secondsLeft);
        QProgressBar& bar = *m_window.jobProgress;
        bar.setMaximum(std::max(frames, 1));
        bar.setValue(checked);
        bar.setFormat(text);
    }
    void showStatus(const QString& text) override { m_window.showStatus(text); }
    void endCheck() override
    {
        m_window.jobProgress->setAccessibleName(QStringLiteral("Avanzamento del salvataggio"));
        m_window.endBusyControls();
    }

private:
    fMain& m_window;
};

void fMain::Verifica_Click()
{
    if (busy() || !m_savedVideo)
        return;
    WindowForVerify target(*this);
    verify::VerifyCommand command(target, m_services.messages);
    command.setAfterFrame(m_afterFrameChecked);
    m_activeVerify = &command;
    // The list is what the video was made from: nothing has changed it since the save.
    std::vector<std::string> frames;
    frames.reserve(static_cast<std::size_t>(lstDIBList->ListCount()));
    for (int i = 0; i < lstDIBList->ListCount(); ++i)
        frames.push_back(platform::nativePath(lstDIBList->List(i)));
    command.verify(*m_savedVideo, frames);
    m_activeVerify = nullptr;
    finishAfterJob();
}

void fMain::forgetSavedVideo()
{
    m_savedVideo.reset();
    Verifica->setEnabled(false);
}

}  // namespace kelvora::app
