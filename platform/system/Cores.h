#pragma once

// The cores this process may run on: the processor's online cores less those its affinity
// mask (taskset, a container's cpuset) keeps it off. Threads beyond them only take turns.

namespace kelvora::platform {

// At least 1.
[[nodiscard]] int usableCores();

}  // namespace kelvora::platform
