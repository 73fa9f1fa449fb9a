#include "cli/BatchProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

namespace kelvora::cli {

namespace {

constexpr int kLongestBar = 40;

}  // namespace

BatchProgress::Style BatchProgress::styleFor(std::FILE* out, bool linesAsked)
{
    if (::isatty(::fileno(out)) == 1)
        return Style::Bar;
    return linesAsked ? Style::Lines : Style::None;
}

BatchProgress::BatchProgress(int frames, std::FILE* out, Style style, std::function<int()> columns, const char* done)
    : m_frames(frames), m_out(out), m_style(style), m_columns(std::move(columns)), m_done(done)
{
}

void BatchProgress::frameWritten(int index)
{
    const int written = index + 1;
    if (m_style == Style::None)
        return;
    if (m_frames <= 0) {
        countWritten(written);
        return;
    }
    if (m_style == Style::Bar) {
        const int percent = static_cast<int>(100LL * written / m_frames);
        if (percent == m_shown && written != m_frames)
            return;
        m_shown = percent;
        drawBar(written, percent);
    } else {
        const int tenth = static_cast<int>(10LL * written / m_frames);
        if (tenth == m_shown)
            return;
        m_shown = tenth;
        std::fprintf(m_out, "kelvora-maker: %d/%d fotogrammi %s\n", written, m_frames, m_done);
    }
    std::fflush(m_out);
}

// "[#####.....]  42%  420/1000 fotogrammi", never as wide as the terminal: a line that
// reaches the last column wraps, and the next carriage return then redraws one line lower.
void BatchProgress::drawBar(int written, int percent)
{
    std::string text = std::to_string(percent) + "%  " + std::to_string(written) + "/" + std::to_string(m_frames);
    // Sized for the widest text of this save, so the bar keeps its length as the count grows.
    const int widest = static_cast<int>(std::to_string(m_frames).size()) * 2 + 7;
    const int width = std::max(m_columns() - 1, 1);
    const bool named = widest + 12 < width;
    if (named)
        text += " fotogrammi";
    const int room = std::min(kLongestBar, width - widest - (named ? 11 : 0) - 3);
    std::string line;
    if (room >= 5) {
        const int filled = percent * room / 100;
        line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(room - filled), '.') + "] " + text;
    } else {
        line = text.substr(0, static_cast<std::size_t>(width));
    }
    // Blanks over what a longer line left before.
    const int drawn = static_cast<int>(line.size());
    line.append(static_cast<std::size_t>(std::max(std::min(m_drawnWidth, width) - drawn, 0)), ' ');
    std::fprintf(m_out, "\r%s", line.c_str());
    m_drawnWidth = drawn;
}

// With no count known up front (a list read as the save goes): the frames so far, on a
// terminal redrawn at every thousand, otherwise a line at 1, 10, 100, ... and every 100,000.
void BatchProgress::countWritten(int written)
{
    if (m_style == Style::Bar) {
        if (written % 1000 != 0 && written != 1)
            return;
        const std::string line = std::to_string(written) + " fotogrammi scritti";
        std::fprintf(m_out, "\r%s", line.substr(0, static_cast<std::size_t>(std::max(m_columns() - 1, 1))).c_str());
        m_drawnWidth = static_cast<int>(line.size());
    } else {
        bool power = written > 0;
        for (int v = written; v > 1 && power; v /= 10)
            power = v % 10 == 0;
        if (!power && written % 100000 != 0)
            return;
        std::fprintf(m_out, "kelvora-maker: %d fotogrammi scritti\n", written);
    }
    std::fflush(m_out);
}

void BatchProgress::finish()
{
    if (m_drawnWidth > 0)
        std::fprintf(m_out, "\r%s\r", std::string(static_cast<std::size_t>(m_drawnWidth), ' ').c_str());
    m_drawnWidth = 0;
    std::fflush(m_out);
}

int terminalColumns(int fd)
{
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

}  // namespace kelvora::cli
