#pragma once

// Where a save's frames come from, and which of the entries read become frames. The window's
// list hands over its entries as they stand, each one a frame; the batch mode hands over its
// candidates and admits each as it is read, so every file is opened once.

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "video/PictureFrame.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::video {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // How many entries there are, or -1 when that is known only at the end.
    [[nodiscard]] virtual int count() const = 0;
    // The next entry's path as the file system spells it, or nothing after the last. Asked on
    // the save's loading thread, in order.
    [[nodiscard]] virtual std::optional<std::string> next() = 0;
    // An entry read ahead (a save that reads the entries' headers first, to decide how the
    // frames go in) is given again: the source takes it as the one in hand once more.
    virtual void givenAgain(const std::string& path) { (void)path; }
};

// The entries of a list held in memory.
class ListedFrames final : public FrameSource {
public:
    explicit ListedFrames(const std::vector<std::string>& paths) : m_paths(paths) {}
    [[nodiscard]] int count() const override { return static_cast<int>(m_paths.size()); }
    [[nodiscard]] std::optional<std::string> next() override
    {
        if (m_next == m_paths.size())
            return std::nullopt;
        return m_paths[m_next++];
    }

private:
    const std::vector<std::string>& m_paths;
    std::size_t m_next = 0;
};

// Decides about each entry once it has been read, on the loading thread, in entry order.
class FrameAdmission {
public:
    virtual ~FrameAdmission() = default;
    // Whether entry `entry` becomes the video's next frame; when `loaded`, `picture` holds it if
    // it is a picture file (PNG, JPEG), else `dib` does (its bitmap object has said why it did
    // not load), and `plan` is its plan. An entry that did not load and still becomes a frame
    // shows the frame before it.
    [[nodiscard]] virtual bool admit(std::size_t entry, bool loaded, const bitmap::cDIB& dib,
                                     const PictureFrame& picture, const bitmap::FramePlan& plan) = 0;
};

}  // namespace kelvora::video
