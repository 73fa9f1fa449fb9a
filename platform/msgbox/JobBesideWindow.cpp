#include "platform/msgbox/JobBesideWindow.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <thread>

namespace kelvora::platform {

JobBesideWindow::JobBesideWindow(std::atomic<bool>& cancel, MessageBoxService& messages,
                                 std::function<void()> beforeBox, std::function<void()> afterBox)
    : m_cancel(cancel), m_relay(m_windowThread, messages, std::move(beforeBox), std::move(afterBox))
{
}

void JobBesideWindow::run(const std::function<void()>& job, const std::function<void()>& tick, int tickMs)
{
    QEventLoop loop;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &m_windowThread, tick);
    ticker.start(tickMs);
    {
        std::jthread worker([&] {
            job();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        // The loop also ends early when the application is told to quit: the job then stops
        // after the item in hand, and no box is waited for before the worker is.
        m_cancel.store(true);
        m_relay.close();
    }
    ticker.stop();
}

}  // namespace kelvora::platform
