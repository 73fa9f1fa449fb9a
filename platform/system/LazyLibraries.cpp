// The binder behind the program's stand-ins for the codec libraries' functions (written by
// tools/lazy-stubs.py): the first call of a function loads its library and puts the function
// in the stand-in's slot, so later calls jump straight to it. A save that stores its files as
// they are calls none of them and starts without loading a codec library at all.

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

extern "C" {
extern const std::size_t kelvora_lazy_count;
extern const char* const kelvora_lazy_sonames[];
extern const char* const kelvora_lazy_names[];
extern const unsigned char kelvora_lazy_library[];
extern void* kelvora_lazy_slots[];
void* kelvora_lazy_bind(std::size_t number);
}

namespace {

// Without the function the program cannot go on, and no caller could do anything with a
// null: the run ends with the words a user needs, as the loader's own failure would.
[[noreturn]] void missing(const char* what, const char* library)
{
    std::fprintf(stderr, "kelvora-maker: %s di %s non si trova (%s): reinstalla kelvora-maker\n", what, library,
                 dlerror());
    std::fflush(stderr);
    _exit(127);
}

}  // namespace

extern "C" void* kelvora_lazy_bind(std::size_t number)
{
    static std::mutex binding;  // two threads calling their first functions at once load once
    static std::array<void*, 256> handles{};
    const std::lock_guard lock(binding);
    const unsigned library = kelvora_lazy_library[number];
    const char* soname = kelvora_lazy_sonames[library];
    if (handles[library] == nullptr) {
        handles[library] = dlopen(soname, RTLD_NOW | RTLD_GLOBAL);
        if (handles[library] == nullptr)
            missing("la libreria", soname);
    }
    void* function = dlsym(handles[library], kelvora_lazy_names[number]);
    if (function == nullptr)
        missing(kelvora_lazy_names[number], soname);
    // The stand-in reads its slot without a lock: one aligned word, stored whole.
    std::atomic_ref<void*>(kelvora_lazy_slots[number]).store(function, std::memory_order_release);
    return function;
}
