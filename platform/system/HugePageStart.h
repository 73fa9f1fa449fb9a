#pragma once

// glibc puts its large blocks on the kernel's transparent huge pages only when the tunable
// glibc.malloc.hugetlb is set, and it reads it only as a program starts. The blocks that matter
// are libavcodec's (each FFV1 encoder zeroes a worst-case buffer of 326 MB at full HD, page by
// page), which the program cannot place itself; so a run that encodes starts itself once more
// with the tunable added. KELVORA_NO_HUGEPAGES=1 turns this off.

#include <optional>
#include <string>
#include <string_view>

namespace kelvora::platform {

// What start-up found in the environment and the kernel.
struct HugePageStartState {
    const char* tunables = nullptr;   // GLIBC_TUNABLES, or null when unset
    const char* optOut = nullptr;     // KELVORA_NO_HUGEPAGES
    const char* restarted = nullptr;  // set by the restart itself
    std::string_view thpEnabled;      // /sys/kernel/mm/transparent_hugepage/enabled
};

// GLIBC_TUNABLES for the restart, or nothing when no restart helps: already restarted, turned
// off, the tunable already given (whatever its value: the user's choice stands), or the kernel's
// huge pages not in 'madvise' mode (in 'always' the kernel gives them unasked and glibc's
// tunable does nothing; in 'never' there are none).
[[nodiscard]] std::optional<std::string> hugePageTunables(const HugePageStartState& state);

// Called first in main by runs that encode: replaces the process with itself (same arguments,
// same environment but for the tunable) when hugePageTunables says so, else returns. In the
// restarted process it puts GLIBC_TUNABLES back as it was, so programs it starts inherit the
// user's environment. Returns too when the restart cannot be made.
void startOnHugePages(char* argv[]);

// Replaces the process with the program at `path` (argv as given), with the tunable added
// when `encodes` and hugePageTunables says so, as startOnHugePages would have it restart
// itself. Returns only when the program cannot be started, with execv's errno.
[[nodiscard]] int startProgram(const char* path, char* argv[], bool encodes);

}  // namespace kelvora::platform
