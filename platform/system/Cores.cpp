#include "platform/system/Cores.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace kelvora::platform {

int usableCores()
{
    // hardware_concurrency counts every online core, whatever the mask: a save pinned to one
    // core ran two encoder threads and a loader taking turns on it.
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) == 0)
        return std::max(1, CPU_COUNT(&mask));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace kelvora::platform
