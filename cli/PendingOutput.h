#pragma once

// The batch mode's video while it is made: a file of its own beside the target, which takes
// the target's name only once it holds a video worth keeping. Until then an existing file of
// that name is untouched, and a run that fails leaves it as it was.

#include <filesystem>
#include <string>

namespace kelvora::cli {

class PendingOutput {
public:
    // Creates a new, empty file in the target's folder (error() says why it could not).
    explicit PendingOutput(const std::filesystem::path& target);
    // Removes the file unless it was given the target's name.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    [[nodiscard]] bool created() const { return !m_path.empty(); }
    // The file being written.
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    // Gives the file the target's name, replacing what had it. False (see error()) when the
    // rename failed; the file is then removed with this object.
    [[nodiscard]] bool commit();
    [[nodiscard]] const std::string& error() const { return m_error; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_path;
    std::string m_error;
    bool m_committed = false;
};

// The file the output path stands for: a symbolic link's own target, so that replacing the
// video keeps the link; the path itself otherwise.
[[nodiscard]] std::filesystem::path outputTarget(const std::filesystem::path& output);

}  // namespace kelvora::cli
