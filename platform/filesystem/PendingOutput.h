#pragma once

// A video while it is made. Where no file has the target's name, the target itself, created
// exclusively and written in place: a save cut short by a kill leaves its frames where the
// user looks, and a second writer of the same name finds it taken. Where a file has the name
// (one the user agreed to replace), a hidden file of its own beside the target, which takes
// the target's name only once it holds a video worth keeping: until then the existing file is
// untouched, and a save that fails leaves it as it was.

#include "platform/filesystem/Descriptor.h"
#include "platform/filesystem/File.h"

#include <filesystem>

namespace kelvora::platform {

// What the final rename may do to a file that has the target's name by then.
enum class Replace {
    Always,  // the user agreed to replace it
    Never,   // it is kept, and the rename fails (EEXIST), even if it appeared a moment ago
};

// Where the file is made.
enum class Placement {
    Beside,   // a hidden file beside the target, renamed at commit
    InPlace,  // the target itself, created only if nothing has its name (EEXIST otherwise)
    // A file with no name in the target's folder, named at commit: a kill leaves nothing at
    // all (for what is worthless half written). Beside where the file system cannot.
    Unnamed,
};

class PendingOutput {
public:
    // Creates a new, empty file (error() says why it could not: errno). Beside the target it
    // takes the permission bits of a regular file at the target, and its owner and group
    // where the system lets it; otherwise the usual rights of a new file.
    explicit PendingOutput(const std::filesystem::path& target, Placement placement = Placement::Beside);
    // Removes the file unless it was given the target's name (in place: unless committed, and
    // only while the name still leads to the file made here).
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    [[nodiscard]] bool created() const { return !m_path.empty(); }
    [[nodiscard]] bool inPlace() const { return m_inPlace; }
    // The file being written (unnamed: a path under /proc/self/fd that opens it).
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    // Gives the file the target's name, as one step: no moment exists at which the target is
    // missing or half written. In place it only confirms that the name still leads to the
    // file written (EEXIST when another took it meanwhile). False (see error()) when it
    // failed; the file is then removed with this object.
    [[nodiscard]] bool commit(Replace replace);
    // Gives the file the target's name in place of `renewed`, the file it is a finished copy
    // of, in one step and only while the name still leads to that file: a file another writer
    // put at the name meanwhile stays as it was (false, EEXIST), and so does a name that leads
    // nowhere (ENOENT). The file is removed with this object when it fails.
    [[nodiscard]] bool commitOver(const FileIdentity& renewed);
    // The file made here: known once created in place, or once committed.
    [[nodiscard]] const FileIdentity& identity() const { return m_identity; }
    // The file at path() was replaced, in one step, by `renewed`, a finished copy of itself (an
    // MP4 given its index first): from now on that file is the one made here.
    void followRenewedFile(const FileIdentity& renewed);
    // The errno of the last step that failed; 0 when none did.
    [[nodiscard]] int error() const { return m_error; }

private:
    void createBeside();
    [[nodiscard]] bool createUnnamed();
    [[nodiscard]] bool commitUnnamed(Replace replace);
    [[nodiscard]] std::filesystem::path linkHidden();
    [[nodiscard]] bool exchangeIfStill(const std::filesystem::path& hidden, const FileIdentity& renewed);
    [[nodiscard]] bool renameWithoutReplacing();
    [[nodiscard]] bool stillOurs() const;

    std::filesystem::path m_target;
    std::filesystem::path m_path;
    FileIdentity m_identity;
    Descriptor m_unnamed;  // open while an unnamed file is made: closing it removes the file
    int m_error = 0;
    bool m_inPlace = false;
    bool m_committed = false;
};

// The file the output path stands for: where a symbolic link points (followed to its end,
// even when nothing is there yet), so that writing the video keeps the link; the path itself
// otherwise.
[[nodiscard]] std::filesystem::path outputTarget(const std::filesystem::path& output);

}  // namespace kelvora::platform
