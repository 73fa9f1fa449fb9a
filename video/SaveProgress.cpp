#include "video/SaveProgress.h"

#include <cmath>

namespace kelvora::video {

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
