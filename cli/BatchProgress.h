#pragma once

#include "video/SaveJob.h"

#include <cstdio>

namespace kelvora::cli {

// The batch save's progress on standard error: a bar redrawn in place on a terminal, a line
// at every tenth of the frames otherwise (a log file gets a few lines, not one per frame).
class BatchProgress final : public video::SaveObserver {
public:
    BatchProgress(int frames, std::FILE* out, bool terminal);

    void frameStarting(int) override {}
    void frameWritten(int index) override;
    // Ends the bar's line, if one is drawn.
    void finish();

private:
    int m_frames;
    std::FILE* m_out;
    bool m_terminal;
    int m_shown = -1;  // the last percentage (terminal) or tenth (log) shown
    bool m_drawn = false;
};

}  // namespace kelvora::cli
