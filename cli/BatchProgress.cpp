#include "cli/BatchProgress.h"

#include <string>

namespace kelvora::cli {

namespace {

constexpr int kBarWidth = 40;

}  // namespace

BatchProgress::BatchProgress(int frames, std::FILE* out, bool terminal)
    : m_frames(frames), m_out(out), m_terminal(terminal)
{
}

void BatchProgress::frameWritten(int index)
{
    const int written = index + 1;
    if (m_frames <= 0)
        return;
    if (m_terminal) {
        const int percent = static_cast<int>(100LL * written / m_frames);
        if (percent == m_shown && written != m_frames)
            return;
        m_shown = percent;
        const int filled = percent * kBarWidth / 100;
        const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                                std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
        std::fprintf(m_out, "\r[%s] %3d%%  %d/%d fotogrammi", bar.c_str(), percent, written, m_frames);
        m_drawn = true;
    } else {
        const int tenth = static_cast<int>(10LL * written / m_frames);
        if (tenth == m_shown)
            return;
        m_shown = tenth;
        std::fprintf(m_out, "kelvora-maker: %d/%d fotogrammi scritti\n", written, m_frames);
    }
    std::fflush(m_out);
}

void BatchProgress::finish()
{
    if (m_drawn)
        std::fputc('\n', m_out);
    m_drawn = false;
}

}  // namespace kelvora::cli
