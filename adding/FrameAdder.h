#pragma once

// Adding frames without a window: the checks "Aggiungi BMP" makes on each candidate, shared
// by every road a frame can come in by. QtCore only.

#include "adding/NumberGaps.h"
#include "bitmap/FramePlan.h"
#include "platform/dirsearch/DirectorySearch.h"
#include "platform/msgbox/MessageBox.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace kelvora::adding {

// The width, height (with its sign: bottom-up or top-down), bit depth and compression (as
// the video writes it) every frame of the list shares; set by the first frame accepted.
struct FrameFormat {
    bool set = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitCount = 0;
    std::int32_t compression = 0;
};

enum class Admission {
    Added,     // the frame belongs to the list (it may have set the format)
    Refused,   // could not be read as a bitmap (or not whole); the user was told why in a message box
    Unusable,  // a bitmap players cannot use as it is stored; the user was told why
    Mismatch,  // a sound frame of another format, left out without a message
};

// One adding: one click of "Aggiungi BMP", one drop, one command line.
class FrameAdder {
public:
    FrameAdder(FrameFormat& format, platform::MessageBoxService& messages);

    // Loads the file at path with the bitmap object, checks that players can decode it, then
    // sets the format (when none is held) or compares the frame with it.
    [[nodiscard]] Admission admit(const QString& path);
    // The same for a file already loaded (`file` its path, `plan` what it makes), so that a
    // caller that needs its pixels reads it only once.
    [[nodiscard]] Admission judge(const std::string& file, const bitmap::FramePlan& plan);
    // Candidates left out for their format so far.
    [[nodiscard]] int mismatched() const { return m_mismatched; }

private:
    FrameFormat& m_format;
    platform::MessageBoxService& m_messages;
    int m_mismatched = 0;
};

// The names (no folder) of a folder's frame files as "Tutta la cartella" takes them: every
// *.bmp (any case), regular files only, in natural order. `folder` as the file system names
// it, empty for the current one; `gaps`, when given, learns the names.
[[nodiscard]] platform::DirectorySearch bmpNamesOfFolder(const std::string& folder, NumberGaps* gaps = nullptr);
// The same as full paths.
[[nodiscard]] QStringList bmpFilesOfFolder(const QString& folder);
// The same, each path handed to `take` in turn, so a folder of a million frames is never a
// list of a million strings; `gaps`, when given, also learns the folder's names.
void forEachBmpFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take,
                            NumberGaps* gaps = nullptr);

// One line for the status after an adding that left frames out for their format: how many,
// and the format they had to match ("3 esclusi: diversi da 320×240, 24 bit"); empty when
// none was.
[[nodiscard]] QString skippedSummary(int mismatched, const FrameFormat& format);

}  // namespace kelvora::adding
