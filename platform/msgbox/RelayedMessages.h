#pragma once

#include "platform/msgbox/MessageBox.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kelvora::platform {

// Message boxes a job beside the window asks for on its worker, shown on the window's thread.
// The worker waits until its box is closed, or until the window stops taking boxes (close),
// which the window does before it ever waits for the worker: so the two can never wait for
// each other. `beforeBox` and `afterBox` run on the window's thread around each box shown
// (the job brings the window up to the moment the box is about).
class RelayedMessages final : public MessageBoxService {
public:
    RelayedMessages(QObject& windowThread, MessageBoxService& target, std::function<void()> beforeBox,
                    std::function<void()> afterBox = {});

    void MsgBox(const std::string& text, int style, const std::string& title) override;
    [[nodiscard]] bool MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                                       const std::string& checkText) override;

    // Window's thread: no box is shown from now on, and a worker waiting for one goes on as if
    // it had been closed unticked.
    void close();

private:
    // The box runs on the window's thread; what it needs it holds by value, since a worker
    // let go by close() no longer waits for it.
    bool ask(std::function<bool()> box);
    bool show(const std::function<bool()>& box);
    [[nodiscard]] bool isClosed();

    QObject& m_windowThread;
    MessageBoxService& m_target;
    std::function<void()> m_beforeBox;
    std::function<void()> m_afterBox;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_asked = 0;
    std::uint64_t m_answered = 0;
    bool m_ticked = false;  // the answer to the latest box: the worker asks for one at a time
    bool m_closed = false;
};

}  // namespace kelvora::platform
