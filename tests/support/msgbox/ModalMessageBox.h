#pragma once

// A message box that stays open as a real one does, in an event loop of its own, until it is
// closed (closeShown), the application quits, or `limit` passes with nobody closing it.

#include "platform/msgbox/MessageBox.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kelvora::testsupport {

class ModalMessageBox final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override { open(text); }
    bool MsgBoxWithCheck(const std::string& text, int, const std::string&, const std::string&) override
    {
        open(text);
        return false;
    }
    void closeShown() override
    {
        for (QEventLoop* loop : m_open)
            loop->quit();
    }

    std::vector<std::string> shown;
    std::function<void()> onOpen;  // runs inside the box's loop, as an event arriving while it is up
    int outlived = 0;              // boxes that stayed open until the limit
    std::chrono::milliseconds limit{10'000};

private:
    void open(const std::string& text)
    {
        shown.push_back(text);
        QEventLoop loop;
        bool timedOut = false;
        QTimer::singleShot(limit, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        if (onOpen)
            QTimer::singleShot(0, &loop, onOpen);
        m_open.push_back(&loop);
        loop.exec();
        std::erase(m_open, &loop);
        outlived += timedOut ? 1 : 0;
    }

    std::vector<QEventLoop*> m_open;
};

}  // namespace kelvora::testsupport
