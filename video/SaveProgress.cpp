#include "video/SaveProgress.h"

#include <cmath>

namespace kelvora::video {

SaveProgress::SaveProgress(SaveWindow& window, int frames) : m_window(window), m_frames(frames)
{
    m_clock.start();
}

void SaveProgress::show()
{
    // Written first: the worker only moves forward, so the entry read next is the one whose
    // frame was written last or a later one, never an earlier one.
    const int written = m_written.load(std::memory_order_acquire);
    const int current = m_current.load(std::memory_order_acquire);
    if (current != m_shownCurrent && current >= 0) {
        m_window.selectEntry(current);
        m_shownCurrent = current;
        m_shownWritten = -1;
    }
    if (written == m_shownWritten)
        return;
    m_shownWritten = written;
    if (written > 0 && written == current + 1)
        m_window.showStatus(QStringLiteral("Fotogramma numero %1 salvato").arg(current));
    m_window.showProgress(written, m_frames, secondsLeft(written));
}

int SaveProgress::secondsLeft(int written) const
{
    const qint64 elapsed = m_clock.elapsed();
    if (written <= 0 || elapsed < 1000)
        return -1;  // too early to say
    const double perFrame = static_cast<double>(elapsed) / written;
    return static_cast<int>(std::ceil(perFrame * (m_frames - written) / 1000.0));
}

}  // namespace kelvora::video
