#include "video/SaveProgress.h"

#include <cmath>

namespace kelvora::video {

namespace {
constexpr qint64 kPreparingAfterMs = 500;
}  // namespace

SaveProgress::SaveProgress(SaveWindow& window, int frames) : m_window(window), m_frames(frames) { m_clock.start(); }

void SaveProgress::show()
{
    // Written first: the worker only moves forward, so the entry read next is the one whose
    // frame was written last or a later one, never an earlier one.
    const int written = m_written.load(std::memory_order_acquire);
    const int current = m_held >= 0 ? m_held : m_current.load(std::memory_order_acquire);
    const bool selected = current != m_shownCurrent && current >= 0;
    if (selected) {
        m_window.selectEntry(current);
        m_shownCurrent = current;
    }
    if (written == 0) {
        // Until the first frame is written (entries read ahead, a camera's photo decoded and
        // fitted), the user sees the save preparing, not a count standing still at 0; a save
        // whose first frame comes at once says nothing of it.
        const int examined = m_examined.load(std::memory_order_acquire);
        if ((examined > 0 || m_clock.elapsed() >= kPreparingAfterMs) && examined != m_shownExamined) {
            m_shownExamined = examined;
            m_window.showStatus(examined > 0 ? QStringLiteral("Preparazione: %1 file esaminati").arg(examined)
                                             : QStringLiteral("Preparazione dei fotogrammi…"));
        }
    }
    if (written == m_shownWritten && !selected)
        return;
    m_shownWritten = written;
    // After the selection, whose handling names the entry in hand: the worker has usually
    // started the next frame by the time a tick comes, and the number written is the news.
    if (written > 0)
        m_window.showStatus(QStringLiteral("Fotogramma numero %1 salvato").arg(written - 1));
    m_window.showProgress(written, m_frames, secondsLeft(written));
}

void SaveProgress::beginMessage()
{
    m_held = m_loading.load(std::memory_order_acquire);
    show();
}

void SaveProgress::endMessage() { m_held = -1; }

int SaveProgress::secondsLeft(int written) const
{
    const qint64 elapsed = m_clock.elapsed();
    if (written <= 0 || elapsed < 1000)
        return -1;  // too early to say
    const double perFrame = static_cast<double>(elapsed) / written;
    return static_cast<int>(std::ceil(perFrame * (m_frames - written) / 1000.0));
}

}  // namespace kelvora::video
