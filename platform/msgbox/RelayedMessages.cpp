#include "platform/msgbox/RelayedMessages.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace kelvora::platform {

RelayedMessages::RelayedMessages(QObject& windowThread, MessageBoxService& target, std::function<void()> beforeBox,
                                 std::function<void()> afterBox)
    : m_windowThread(windowThread), m_target(target), m_beforeBox(std::move(beforeBox)), m_afterBox(std::move(afterBox))
{
}

void RelayedMessages::MsgBox(const std::string& text, int style, const std::string& title)
{
    (void)ask([this, text, style, title] {
        m_target.MsgBox(text, style, title);
        return false;
    });
}

bool RelayedMessages::MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                                      const std::string& checkText)
{
    return ask(
        [this, text, style, title, checkText] { return m_target.MsgBoxWithCheck(text, style, title, checkText); });
}

void RelayedMessages::close()
{
    const std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

bool RelayedMessages::show(const std::function<bool()>& box)
{
    if (m_beforeBox)
        m_beforeBox();
    const bool ticked = box();
    if (m_afterBox)
        m_afterBox();
    return ticked;
}

bool RelayedMessages::ask(std::function<bool()> box)
{
    if (QThread::currentThread() == m_windowThread.thread())
        return show(box);
    std::unique_lock lock(m_mutex);
    if (m_closed)
        return false;  // the job is ending: its item is handled as if the box had been closed
    const std::uint64_t ticket = ++m_asked;
    QMetaObject::invokeMethod(
        &m_windowThread,
        [this, box = std::move(box), ticket] {
            const bool ticked = !isClosed() && show(box);
            const std::lock_guard answered(m_mutex);
            m_answered = std::max(m_answered, ticket);
            m_ticked = ticked;
            m_changed.notify_all();
        },
        Qt::QueuedConnection);
    m_changed.wait(lock, [&] { return m_answered >= ticket || m_closed; });
    return m_answered >= ticket && m_ticked;
}

bool RelayedMessages::isClosed()
{
    const std::lock_guard lock(m_mutex);
    return m_closed;
}

}  // namespace kelvora::platform
