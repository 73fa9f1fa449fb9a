#pragma once

// Paths that are not regular files, made inside a test folder, and a watchdog that turns a
// call which would wait for ever (an open of a FIFO without a writer, a read of a device
// without end) into a failed test instead of a hung one.

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora::testsupport {

enum class SpecialKind { Fifo, Folder, DeviceLink, DanglingLink };

inline const char* nameOf(SpecialKind kind)
{
    switch (kind) {
    case SpecialKind::Fifo: return "Fifo";
    case SpecialKind::Folder: return "Folder";
    case SpecialKind::DeviceLink: return "DeviceLink";
    case SpecialKind::DanglingLink: return "DanglingLink";
    }
    return "";
}

// Makes a special path at `path`; false if the system refused.
inline bool makeSpecial(SpecialKind kind, const std::filesystem::path& path)
{
    std::error_code error;
    switch (kind) {
    case SpecialKind::Fifo:
        return ::mkfifo(path.c_str(), 0600) == 0;
    case SpecialKind::Folder:
        return std::filesystem::create_directory(path, error);
    case SpecialKind::DeviceLink:  // a device whose reading never ends
        std::filesystem::create_symlink("/dev/zero", path, error);
        return !error;
    case SpecialKind::DanglingLink:
        std::filesystem::create_symlink(path.parent_path() / "gone-for-good", path, error);
        return !error;
    }
    return false;
}

// Ends the test process with a message when the scope is not left within `limit`.
class Watchdog {
public:
    explicit Watchdog(std::string what, std::chrono::seconds limit = std::chrono::seconds(20))
        : m_thread([this, what = std::move(what), limit] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  std::fprintf(stderr, "watchdog: %s did not return within %llds\n", what.c_str(),
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;  // last: starts once the members it uses exist
};

}  // namespace kelvora::testsupport
