#pragma once

// The files a run writes, -o's video and --framemd5's checksums, and the one set of rules
// they follow, decided before anything is read or written: an existing file (or a symbolic
// link, even to nothing) is replaced only with -y, only a regular file is ever replaced (a
// folder, FIFO or device is refused, so a FIFO is never waited on and a device never replaced),
// and the checksums never go to one of the run's inputs. A link is kept, and with -y the file
// is written where it leads.

#include "cli/CommandLine.h"
#include "platform/filesystem/File.h"
#include "platform/filesystem/PendingOutput.h"
#include "platform/types/Result.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kelvora::cli {

// Why the run may not write `given` (which leads to `target`); empty when it may. `exists`
// tells whether a file is there now.
[[nodiscard]] std::string outputRefusal(const std::string& given, const std::filesystem::path& target, bool overwrite,
                                        bool& exists);

// Why a run may not go on, and the status it ends with.
struct RunRefusal {
    std::string text;  // empty: the run may go on
    int status = kExitUsage;
    [[nodiscard]] bool refused() const { return !text.empty(); }
};

// Says why on standard error (a usage error with the hint to --help); the status to end with.
[[nodiscard]] int reportRefusal(const RunRefusal& refusal);

// Whether --framemd5's file may be written by a run that makes or checks `video`: -o's rules,
// and never the video, the --list file the run reads, or a frame named on the command line
// (each kExitUsage); a folder that is not there is kExitFailed, as for -o. Always for "-",
// standard output.
[[nodiscard]] RunRefusal hashesRefusal(const Invocation& invocation, const std::string& video);

// The file --framemd5's checksums would replace, when one is there now: no frame may be it.
[[nodiscard]] platform::FileIdentity hashesIdentity(const Invocation& invocation);

// The refusal for checksums (`sums`, as given) that would replace one of the run's frames.
[[nodiscard]] std::string hashesAreAFrame(const std::string& sums);

// Where the checksums go: standard output, or a file with no name in the named one's folder
// that takes the name only once every line is in it, so a run cut short (even by a kill)
// leaves no half list behind. It replaces a file that has the name by then only with -y.
class HashesOut {
public:
    HashesOut(const std::string& path, bool overwrite) : m_path(path), m_overwrite(overwrite) {}
    ~HashesOut();
    HashesOut(const HashesOut&) = delete;
    HashesOut& operator=(const HashesOut&) = delete;

    // The stream to write to, or the reason it cannot be made.
    [[nodiscard]] platform::Result<std::FILE*> open();
    // Every line written and the file given its name; the reason otherwise.
    platform::Status finish();

private:
    std::string m_path;
    bool m_overwrite;
    std::unique_ptr<platform::PendingOutput> m_pending;
    std::FILE* m_file = nullptr;
};

}  // namespace kelvora::cli
