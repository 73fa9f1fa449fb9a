#include "app/AddCommand.h"

#include "platform/msgbox/JobBesideWindow.h"
#include "platform/picture/PictureLoader.h"
#include "platform/text/CompactPaths.h"
#include "platform/text/CompactTexts.h"

#include <QElapsedTimer>
#include <malloc.h>
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace kelvora::app {

namespace {

// How often the window takes in the add's progress: about two display frames.
constexpr int kShowEveryMs = 25;

// Loads the preview's pictures on a thread of its own, so a frame read from a slow disk never
// holds the window's repaint. Only the latest request counts: a frame asked for while another
// loads replaces any older request, so each picture loaded is one that will be shown.
class PreviewLoader {
public:
    explicit PreviewLoader(QSize size) : m_size(size), m_thread([this](std::stop_token stop) { serve(stop); }) {}
    ~PreviewLoader()
    {
        m_thread.request_stop();
        m_wake.notify_one();
    }
    PreviewLoader(const PreviewLoader&) = delete;
    PreviewLoader& operator=(const PreviewLoader&) = delete;

    void request(const QString& path)
    {
        {
            const std::scoped_lock lock(m_mutex);
            m_wanted = path;
        }
        m_wake.notify_one();
    }
    // A picture finished since the last call.
    [[nodiscard]] std::optional<QImage> take()
    {
        const std::scoped_lock lock(m_mutex);
        return std::exchange(m_ready, std::nullopt);
    }

private:
    void serve(const std::stop_token& stop)
    {
        std::unique_lock lock(m_mutex);
        while (m_wake.wait(lock, stop, [this] { return m_wanted.has_value(); })) {
            const QString path = *std::exchange(m_wanted, std::nullopt);
            lock.unlock();
            QImage picture = platform::LoadPicture(path, m_size);
            lock.lock();
            m_ready = std::move(picture);
        }
    }

    const QSize m_size;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<QString> m_wanted;
    std::optional<QImage> m_ready;
    std::jthread m_thread;  // last: it starts once the rest is ready
};

// Carries the worker's progress to the window. The worker stores counters and queues the
// admitted paths; the window's thread takes them when it asks, so the cost on screen follows
// the display's rate, not the number of files.
class AddProgress final : public adding::AddObserver {
public:
    AddProgress(AddWindow& window, const std::function<void(int)>& beforeExamining)
        : m_window(window), m_beforeExamining(beforeExamining), m_preview(std::in_place, window.previewSize())
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
        m_pending.append(path);
    }
    void finished(int examined) { m_examined.store(examined, std::memory_order_release); }

    // Window side: the list, the preview and the count brought to the add's latest state.
    // Appending to a list of many entries costs the view a new layout, so appends are spaced
    // to take at most a fifth of the window's time; `all` takes everything now.
    void show(bool all = false)
    {
        if (m_preview) {
            if (std::optional<QImage> picture = m_preview->take())
                m_window.showPicture(*picture);
        }
        if (all || !m_sinceAppend.isValid() || m_sinceAppend.nsecsElapsed() >= 4 * m_appendCost)
            appendArrived();
        const int examined = m_examined.load(std::memory_order_acquire);
        const int candidates = m_candidates.load(std::memory_order_relaxed);
        if (examined != m_shownExamined || candidates != m_shownCandidates) {
            m_window.showProgress(examined, candidates);
            m_shownExamined = examined;
            m_shownCandidates = candidates;
        }
    }

    void appendArrived()
    {
        platform::CompactTexts arrived;
        {
            const std::scoped_lock lock(m_mutex);
            std::swap(arrived, m_pending);
        }
        if (arrived.size() == 0)
            return;
        m_sinceAppend.start();
        m_window.appendEntries(arrived);
        m_appendCost = m_sinceAppend.nsecsElapsed();
        m_sinceAppend.start();
        m_lastArrived = arrived.at(arrived.size() - 1);
        // Only the latest frame is asked for: the ones in between would never be on screen.
        if (m_preview)
            m_preview->request(m_lastArrived);
    }

    // Once the add has ended: the preview shows the last frame accepted, as it would have
    // after loading every frame in turn.
    void showLastFrame()
    {
        m_preview.reset();  // waits for a picture in the loading; it is not needed any more
        if (!m_lastArrived.isEmpty())
            m_window.showPicture(platform::LoadPicture(m_lastArrived, m_window.previewSize()));
    }

private:
    AddWindow& m_window;
    const std::function<void(int)>& m_beforeExamining;
    std::optional<PreviewLoader> m_preview;
    QString m_lastArrived;
    QElapsedTimer m_sinceAppend;
    qint64 m_appendCost = 0;
    std::mutex m_mutex;
    // Admitted paths the window has not taken yet: when the window is slow to take them (a
    // long list's layout), there may be many, so they are held compactly.
    platform::CompactTexts m_pending;
    std::atomic<int> m_examined{0};
    std::atomic<int> m_candidates{-1};
    int m_shownExamined = -1;
    int m_shownCandidates = -2;
};

// The candidates in compact form: a folder of a million frames costs its names' bytes once,
// with no string object per path.
platform::CompactPaths listed(const CandidateLister& listCandidates)
{
    platform::CompactPaths paths;
    listCandidates([&paths](const QString& path) { paths.append(path); });
    return paths;
}

}  // namespace

AddCommand::AddCommand(AddWindow& window, platform::MessageBoxService& messages)
    : m_window(window), m_messages(messages)
{
}

void AddCommand::quit()
{
    m_cancel.store(true);
    if (m_running)
        m_running->closeBoxes();
    m_messages.closeShown();
}

adding::AddOutcome AddCommand::add(const CandidateLister& listCandidates, const adding::FrameFormat& format)
{
    m_cancel.store(false);
    m_window.beginAdd();

    AddProgress progress(m_window, m_beforeExamining);
    // Before a refused file's box the list shows every frame admitted before it.
    platform::JobBesideWindow beside(m_cancel, m_messages, [&progress] { progress.show(true); });
    adding::AddOutcome outcome;
    outcome.format = format;
    adding::AddJob job(beside.boxes());
    if (m_anyFormat)
        job.takeAnyFormat();
    m_running = &beside;
    beside.run(
        [&] {
            try {
                platform::CompactPaths candidates = listed(listCandidates);
                int given = 0;  // a million paths need not all stay while they are examined
                const adding::NextCandidate next = [&]() -> std::optional<QString> {
                    if (given == candidates.size())
                        return std::nullopt;
                    return candidates.takeInOrder(given++);
                };
                outcome = job.run(next, candidates.size(), format, progress, m_cancel);
                progress.finished(outcome.examined);
            } catch (const std::exception&) {
                // Out of memory: what came in stays, with the format it set, and the add says it stopped.
                outcome = job.soFar().value_or(outcome);
                outcome.cancelled = true;
            }
        },
        [&progress] { progress.show(); }, kShowEveryMs);
    m_running = nullptr;
    // The listing and the candidates are freed now; their pages go back to the system rather
    // than stay the window's while the list is saved.
    ::malloc_trim(0);
    progress.show(true);  // the last entries, whatever the last tick showed
    progress.showLastFrame();
    m_window.endAdd(outcome);
    return outcome;
}

}  // namespace kelvora::app
