#include "adding/AddCommand.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <mutex>
#include <thread>

namespace kelvora::adding {

namespace {

// How often the window takes in the add's progress: about two display frames.
constexpr int kShowEveryMs = 25;

// Carries the worker's progress to the window. The worker stores counters and queues the
// admitted paths; the window's thread takes them when it asks, so the cost on screen follows
// the display's rate, not the number of files.
class AddProgress final : public AddObserver {
public:
    AddProgress(AddWindow& window, const std::function<void(int)>& beforeExamining)
        : m_window(window), m_beforeExamining(beforeExamining)
    {
    }

    // Worker side.
    void examining(int index, int candidates) override
    {
        if (m_beforeExamining)
            m_beforeExamining(index);
        m_candidates.store(candidates, std::memory_order_relaxed);
        m_examined.store(index, std::memory_order_release);
    }
    void admitted(int, const QString& path) override
    {
        const std::scoped_lock lock(m_mutex);
        m_pending << path;
    }
    void finished(int examined) { m_examined.store(examined, std::memory_order_release); }

    // Window side: the list, the preview and the count brought to the add's latest state.
    void show()
    {
        QStringList arrived;
        {
            const std::scoped_lock lock(m_mutex);
            arrived.swap(m_pending);
        }
        if (!arrived.isEmpty()) {
            m_window.appendEntries(arrived);
            // Loaded once per shown frame: the frames in between were never on screen.
            m_window.showFrame(arrived.back());
        }
        const int examined = m_examined.load(std::memory_order_acquire);
        const int candidates = m_candidates.load(std::memory_order_relaxed);
        if (examined != m_shownExamined || candidates != m_shownCandidates) {
            m_window.showProgress(examined, candidates);
            m_shownExamined = examined;
            m_shownCandidates = candidates;
        }
    }

private:
    AddWindow& m_window;
    const std::function<void(int)>& m_beforeExamining;
    std::mutex m_mutex;
    QStringList m_pending;
    std::atomic<int> m_examined{0};
    std::atomic<int> m_candidates{-1};
    int m_shownExamined = -1;
    int m_shownCandidates = -2;
};

// A refused file's message box, asked for on the worker and shown on the window's thread once
// the window shows every frame admitted before it. The worker waits until the box is closed.
class RelayedMessages final : public platform::MessageBoxService {
public:
    RelayedMessages(QObject& windowThread, platform::MessageBoxService& target, AddProgress& progress)
        : m_windowThread(windowThread), m_target(target), m_progress(progress)
    {
    }

    void MsgBox(const std::string& text, int style, const std::string& title) override
    {
        onWindowThread([&] { m_target.MsgBox(text, style, title); });
    }
    bool MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                         const std::string& checkText) override
    {
        bool ticked = false;
        onWindowThread([&] { ticked = m_target.MsgBoxWithCheck(text, style, title, checkText); });
        return ticked;
    }

private:
    void onWindowThread(const std::function<void()>& box)
    {
        auto show = [&] {
            m_progress.show();
            box();
        };
        if (QThread::currentThread() == m_windowThread.thread())
            show();
        else
            QMetaObject::invokeMethod(&m_windowThread, show, Qt::BlockingQueuedConnection);
    }

    QObject& m_windowThread;
    platform::MessageBoxService& m_target;
    AddProgress& m_progress;
};

}  // namespace

AddCommand::AddCommand(AddWindow& window, platform::MessageBoxService& messages)
    : m_window(window), m_messages(messages)
{
}

AddOutcome AddCommand::add(const std::function<QStringList()>& listCandidates, const FrameFormat& format)
{
    m_cancel.store(false);
    m_window.beginAdd();

    AddProgress progress(m_window, m_beforeExamining);
    QObject windowThread;
    RelayedMessages messages(windowThread, m_messages, progress);
    QEventLoop loop;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &windowThread, [&progress] { progress.show(); });
    ticker.start(kShowEveryMs);

    AddOutcome outcome;
    outcome.format = format;
    {
        std::jthread worker([&] {
            try {
                const QStringList candidates = listCandidates();
                outcome = AddJob(messages).run(candidates, format, progress, m_cancel);
                progress.finished(outcome.examined);
            } catch (const std::exception&) {
                outcome.cancelled = true;  // out of memory: keep what came in, say it stopped
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
    }
    ticker.stop();
    progress.show();  // the last entries and the last frame accepted, whatever the last tick showed
    m_window.endAdd(outcome);
    return outcome;
}

}  // namespace kelvora::adding
