// Preloaded into the program under test (LD_PRELOAD): the first file it opens with no name
// (O_TMPFILE) first raises the signal whose number KELVORA_RAISE_ON_UNNAMED gives. A save makes
// such a file only for the copy that gives a finished MP4 its index first, so a test can stop a
// run exactly while that copy is being made, without timing.
#include <dlfcn.h>
#include <fcntl.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdlib>

namespace {

std::atomic<bool> g_raised{false};

void raiseOnce(int flags)
{
    if ((flags & O_TMPFILE) != O_TMPFILE || g_raised.exchange(true))
        return;
    if (const char* number = std::getenv("KELVORA_RAISE_ON_UNNAMED"); number && std::atoi(number) > 0)
        (void)::raise(std::atoi(number));
}

template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using Open = int (*)(const char*, int, ...);
using OpenAt = int (*)(int, const char*, int, ...);

}  // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    mode_t mode = 0;  // there only with O_CREAT or O_TMPFILE
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    raiseOnce(flags);
    static const Open real = next<Open>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    mode_t mode = 0;  // there only with O_CREAT or O_TMPFILE
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    raiseOnce(flags);
    static const Open real = next<Open>("open64");
    return real(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...)
{
    mode_t mode = 0;  // there only with O_CREAT or O_TMPFILE
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    raiseOnce(flags);
    static const OpenAt real = next<OpenAt>("openat");
    return real(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...)
{
    mode_t mode = 0;  // there only with O_CREAT or O_TMPFILE
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    raiseOnce(flags);
    static const OpenAt real = next<OpenAt>("openat64");
    return real(folder, path, flags, mode);
}

}  // extern "C"
