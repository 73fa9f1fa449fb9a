#pragma once

// A video while it is made: a file of its own beside the target, which takes the target's
// name only once it holds a video worth keeping. Until then an existing file of that name is
// untouched, and a save that fails leaves it as it was.

#include <filesystem>

namespace kelvora::platform {

// What the final rename may do to a file that has the target's name by then.
enum class Replace {
    Always,  // the user agreed to replace it
    Never,   // it is kept, and the rename fails (EEXIST), even if it appeared a moment ago
};

class PendingOutput {
public:
    // Creates a new, empty file in the target's folder (error() says why it could not: errno).
    // It takes the permission bits of a regular file at the target, and its owner and group
    // where the system lets it; otherwise the usual rights of a new file.
    explicit PendingOutput(const std::filesystem::path& target);
    // Removes the file unless it was given the target's name.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    [[nodiscard]] bool created() const { return !m_path.empty(); }
    // The file being written.
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    // Gives the file the target's name, as one step: no moment exists at which the target is
    // missing or half written. False (see error()) when the rename failed; the file is then
    // removed with this object.
    [[nodiscard]] bool commit(Replace replace);
    // The errno of the last step that failed; 0 when none did.
    [[nodiscard]] int error() const { return m_error; }

private:
    [[nodiscard]] bool renameWithoutReplacing();

    std::filesystem::path m_target;
    std::filesystem::path m_path;
    int m_error = 0;
    bool m_committed = false;
};

// The file the output path stands for: where a symbolic link points (followed to its end,
// even when nothing is there yet), so that writing the video keeps the link; the path itself
// otherwise.
[[nodiscard]] std::filesystem::path outputTarget(const std::filesystem::path& output);

}  // namespace kelvora::platform
