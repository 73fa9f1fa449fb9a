#include "verify/VerifyCommand.h"

#include "platform/msgbox/JobBesideWindow.h"
#include "platform/text/Counts.h"

#include <QElapsedTimer>
#include <cmath>
#include <filesystem>

namespace kelvora::verify {

namespace {

// How often the window takes in the check's progress: about two display frames.
constexpr int kShowEveryMs = 25;

// The worker only stores a counter; the window's thread shows it when it asks.
class CheckProgress final : public CheckObserver {
public:
    CheckProgress(int frames, const std::function<void(int)>& afterFrame) : m_frames(frames), m_afterFrame(afterFrame)
    {
        m_clock.start();
    }

    void frameChecked(int index) override
    {
        m_checked.store(std::min(index + 1, m_frames), std::memory_order_release);
        if (m_afterFrame)
            m_afterFrame(index);
    }

    void show(VerifyWindow& window)
    {
        const int checked = m_checked.load(std::memory_order_acquire);
        if (checked == m_shown)
            return;
        m_shown = checked;
        window.showProgress(checked, m_frames, secondsLeft(checked));
    }

private:
    [[nodiscard]] int secondsLeft(int checked) const
    {
        const qint64 elapsed = m_clock.elapsed();
        if (checked <= 0 || elapsed < 1000)
            return -1;  // too early to say
        return static_cast<int>(std::ceil(static_cast<double>(elapsed) / checked * (m_frames - checked) / 1000.0));
    }

    const int m_frames;
    const std::function<void(int)>& m_afterFrame;
    std::atomic<int> m_checked{0};
    int m_shown = -1;
    QElapsedTimer m_clock;
};

}  // namespace

QString checkStatus(const CheckOutcome& outcome)
{
    switch (outcome.result) {
    case CheckResult::Same:
        if (outcome.approximate)
            return QStringLiteral("Verifica riuscita: %1 simili ai loro file (codec con perdita)")
                .arg(platform::qFramesText(outcome.videoFrames));
        return QStringLiteral("Verifica riuscita: %1 uguali ai loro file")
            .arg(platform::qFramesText(outcome.videoFrames));
    case CheckResult::Different:
        return QStringLiteral("Verifica fallita: il fotogramma %1 è diverso").arg(outcome.first + 1);
    case CheckResult::NotAVideo:
        return QStringLiteral("Verifica fallita: il file non è un video");
    case CheckResult::Unchecked:
        return QStringLiteral("Il video non si può verificare");
    case CheckResult::Cancelled:
        break;
    }
    return QStringLiteral("Verifica annullata dopo %1 di %2")
        .arg(outcome.videoFrames)
        .arg(platform::qFramesText(outcome.listFrames));
}

QString measuredStatus(const PsnrOutcome& outcome, const SavedVideo& video, const std::vector<std::string>& frames)
{
    if (outcome.cancelled)
        return QStringLiteral("Verifica annullata dopo %1 di %2")
            .arg(outcome.videoFrames)
            .arg(platform::qFramesText(outcome.listFrames));
    if (!outcome.readable)
        return QStringLiteral("Il video non si può verificare");
    const FidelityVerdict verdict = judgeFidelity(outcome, frames, 0);
    const int number = verdict.frame + 1;
    switch (verdict.kind) {
    case Fidelity::Missing:
        return QStringLiteral("Verifica fallita: manca il fotogramma %1").arg(number);
    case Fidelity::Extra:
        return QStringLiteral("Verifica fallita: il fotogramma %1 è in più").arg(number);
    case Fidelity::Damaged:
        return QStringLiteral("Verifica fallita: il fotogramma %1 è danneggiato").arg(number);
    case Fidelity::Differs:
    case Fidelity::BelowFloor:
        return QStringLiteral("Verifica fallita: il fotogramma %1 è diverso").arg(number);
    case Fidelity::Kept:
        break;
    }
    const bool exact = outcome.worst < 0 || std::isinf(outcome.worstDb);
    QString text = (exact ? QStringLiteral("Verifica riuscita: %1 uguali ai loro file")
                          : QStringLiteral("Verifica riuscita: %1 simili ai loro file"))
                       .arg(platform::qFramesText(outcome.videoFrames));
    std::string made = video.summary;
    if (!exact) {
        const std::string name =
            std::filesystem::path(frames[static_cast<std::size_t>(outcome.worst)]).filename().string();
        made += (made.empty() ? "" : "; ") + psnrText(outcome, name);
    }
    if (!made.empty())
        text += QLatin1Char('\n') + QString::fromStdString(made);
    return text;
}

VerifyCommand::VerifyCommand(VerifyWindow& window, platform::MessageBoxService& messages)
    : m_window(window), m_messages(messages)
{
}

void VerifyCommand::quit()
{
    m_quitting = true;
    m_cancel.store(true);
    m_messages.closeShown();
}

void VerifyCommand::verify(const SavedVideo& video, const std::vector<std::string>& frames)
{
    m_cancel.store(false);
    const int count = static_cast<int>(frames.size());
    m_window.showStatus(QString());  // what it said before no longer holds
    m_window.beginCheck(count);
    CheckProgress progress(count, m_afterFrame);
    // The check asks for no box until its worker has ended.
    platform::JobBesideWindow beside(m_cancel, m_messages);
    CheckOutcome outcome;
    PsnrOutcome measured;
    beside.run(
        [&] {
            try {
                if (video.measured) {
                    PsnrRequest request{video.path, frames};
                    request.fitted = video.fitted;
                    measured = measurePsnr(request, progress, m_cancel);
                } else {
                    CheckRequest request{video.path, frames, true, {}};
                    request.fitting = [&](codec::Codec) { return video.fitted; };
                    outcome = checkVideo(request, progress, m_cancel);
                }
            } catch (const std::exception&) {
                outcome.result = CheckResult::Unchecked;
                outcome.reason = measured.reason = "non c'è memoria per leggerne i fotogrammi";
                measured.readable = false;
                measured.cancelled = false;
            }
        },
        [this, &progress] { progress.show(m_window); }, kShowEveryMs);
    progress.show(m_window);
    m_window.endCheck();
    if (m_quitting)
        return;
    if (video.measured)
        reportMeasured(measured, video, frames);
    else
        report(outcome, video.path, frames);
}

void VerifyCommand::report(const CheckOutcome& outcome, const std::string& video,
                           const std::vector<std::string>& frames)
{
    m_window.showStatus(checkStatus(outcome));
    const std::string title(platform::AppTitle);
    switch (outcome.result) {
    case CheckResult::Different:
        m_messages.MsgBox("Il video " + video + " non contiene esattamente i fotogrammi della lista:\r\n" +
                              differenceText(outcome, frames) + ".",
                          platform::vbCritical, title);
        break;
    case CheckResult::NotAVideo:
        m_messages.MsgBox("La verifica di " + video + " è fallita: " + outcome.reason + ".", platform::vbCritical,
                          title);
        break;
    case CheckResult::Unchecked:
        m_messages.MsgBox("Non è stato possibile verificare " + video + ": " + outcome.reason + ".",
                          platform::vbInformation, title);
        break;
    case CheckResult::Same:
    case CheckResult::Cancelled:
        break;
    }
}

void VerifyCommand::reportMeasured(const PsnrOutcome& outcome, const SavedVideo& video,
                                   const std::vector<std::string>& frames)
{
    m_window.showStatus(measuredStatus(outcome, video, frames));
    const std::string title(platform::AppTitle);
    if (outcome.cancelled)
        return;
    if (!outcome.readable) {
        m_messages.MsgBox("Non è stato possibile verificare " + video.path + ": " + outcome.reason + ".",
                          platform::vbInformation, title);
        return;
    }
    if (const FidelityVerdict verdict = judgeFidelity(outcome, frames, 0); verdict.kind != Fidelity::Kept)
        m_messages.MsgBox("Il video " + video.path + " non contiene esattamente i fotogrammi della lista:\r\n" +
                              verdict.text + ".",
                          platform::vbCritical, title);
}

}  // namespace kelvora::verify
