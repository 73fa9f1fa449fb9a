#pragma once

#include "video/SaveJob.h"

#include <cstdio>
#include <functional>

namespace kelvora::cli {

// The batch save's progress on standard error: on a terminal one line redrawn in place and cut
// to the terminal's width; otherwise, when asked for, a line at every tenth of the frames (a
// log file gets a few lines, not one per frame).
class BatchProgress final : public video::SaveObserver {
public:
    enum class Style { None, Bar, Lines };
    // A bar on a terminal, whatever was asked; elsewhere lines only when `linesAsked`
    // (--progress).
    [[nodiscard]] static Style styleFor(std::FILE* out, bool linesAsked);
    // columns() gives the terminal's width at each redraw (it may be resized meanwhile);
    // `frames` is -1 when the count is known only at the end; `done` says what became of the
    // frames counted ("scritti", "verificati").
    BatchProgress(int frames, std::FILE* out, Style style, std::function<int()> columns, const char* done = "scritti");

    void frameStarting(int) override {}
    void frameWritten(int index) override;
    // Clears the bar's line, if one is drawn, so what follows starts on a clean line.
    void finish();

private:
    void drawBar(int written, int percent);
    void countWritten(int written);

    int m_frames;
    std::FILE* m_out;
    Style m_style;
    std::function<int()> m_columns;
    const char* m_done;
    int m_shown = -1;  // the last percentage (bar) or tenth (lines) shown
    int m_drawnWidth = 0;
};

// The width of the terminal on fd, or 80 when it does not say.
[[nodiscard]] int terminalColumns(int fd);

}  // namespace kelvora::cli
