#pragma once

// Ends the test program when `seconds` pass before the guard goes, so a deadlock fails the
// test with a word instead of hanging it.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora::testsupport {

class Watchdog {
public:
    Watchdog(int seconds, std::string what)
        : m_thread([this, seconds, what = std::move(what)] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_over; })) {
                  std::fprintf(stderr, "deadlock: %s within %d s\n", what.c_str(), seconds);
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_over = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_thread;  // last: it starts once the rest is ready
};

}  // namespace kelvora::testsupport
