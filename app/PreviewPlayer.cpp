#include "app/PreviewPlayer.h"

#include "platform/picture/PictureLoader.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>

namespace kelvora::app {

PreviewPlayer::PreviewPlayer(QSize pictureSize, QObject* parent)
    : QObject(parent), m_pictureSize(pictureSize), m_reader([this](std::stop_token stop) { readAhead(stop); })
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PreviewPlayer::tick);
}

PreviewPlayer::~PreviewPlayer()
{
    stop();
    m_reader.request_stop();
    m_wake.notify_all();
}

void PreviewPlayer::start(const platform::CompactTexts& texts, int from, video::StreamRate rate)
{
    stop();
    if (texts.size() == 0)
        return;
    {
        const std::scoped_lock lock(m_mutex);
        m_texts = &texts;
        ++m_generation;
        m_count = texts.size();
        m_from = std::clamp(from, 0, m_count - 1);
        m_rate = rate;
        m_clock.invalidate();
        m_nextRead = 0;
        m_ready.clear();
    }
    m_playing = true;
    m_shown = m_skipped = 0;
    m_lastDue = -1;
    m_wake.notify_all();
}

void PreviewPlayer::stop()
{
    m_timer.stop();
    m_playing = false;
    const std::scoped_lock lock(m_mutex);
    m_texts = nullptr;
    ++m_generation;
    m_ready.clear();
}

int PreviewPlayer::entryOf(std::int64_t sequence) const { return static_cast<int>((m_from + sequence) % m_count); }

qint64 PreviewPlayer::dueAtNs(std::int64_t sequence) const
{
    // sequence * scale / rate seconds after the first frame, exactly in integers up to the ns.
    return static_cast<qint64>(static_cast<long double>(sequence) * m_rate.scale * 1'000'000'000 / m_rate.rate);
}

std::int64_t PreviewPlayer::dueNow() const
{
    if (!m_clock.isValid())
        return -1;
    const auto elapsed = static_cast<long double>(m_clock.nsecsElapsed());
    return static_cast<std::int64_t>(std::floor(elapsed * m_rate.rate / (m_rate.scale * 1e9L)));
}

void PreviewPlayer::tick()
{
    if (!m_playing)
        return;
    std::optional<Read> show;
    std::int64_t due = 0;
    {
        const std::scoped_lock lock(m_mutex);
        if (!m_clock.isValid()) {
            // The first frame starts the clock when it is ready, so nothing is skipped at start.
            if (m_ready.empty() || m_ready.front().sequence != 0)
                return;
            m_clock.start();
        }
        due = dueNow();
        // Of the frames due since the last tick, the latest ready one is shown; older ones are
        // already past.
        while (!m_ready.empty() && m_ready.front().sequence <= due) {
            if (m_ready.front().sequence > m_lastDue)
                show = std::move(m_ready.front());
            m_ready.pop_front();
        }
    }
    m_wake.notify_all();
    if (due > m_lastDue) {
        m_skipped += (due - m_lastDue) - (show ? 1 : 0);
        m_lastDue = due;
    }
    if (show) {
        ++m_shown;
        emit frameShown(entryOf(show->sequence), show->picture);
    }
    if (!m_playing)
        return;  // the signal's handler stopped the playback
    const qint64 untilNext = dueAtNs(m_lastDue + 1) - m_clock.nsecsElapsed();
    m_timer.start(static_cast<int>(std::max<qint64>(0, untilNext / 1'000'000)));
}

void PreviewPlayer::readAhead(const std::stop_token& stop)
{
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        m_wake.wait(lock, stop, [this] { return m_texts && m_ready.size() < kAhead; });
        if (stop.stop_requested())
            return;
        // A frame that would be due before it could be shown is not read at all: the reading
        // jumps to the next frame still ahead of the clock.
        m_nextRead = std::max(m_nextRead, dueNow() + 1);
        const std::int64_t sequence = m_nextRead++;
        const std::uint64_t generation = m_generation;
        const QString path = m_texts->at(entryOf(sequence));
        lock.unlock();
        QImage picture = platform::LoadPicture(path, m_pictureSize);
        lock.lock();
        if (generation != m_generation)
            continue;  // stopped or started anew meanwhile
        m_ready.push_back({sequence, std::move(picture)});
        if (sequence == 0)
            QMetaObject::invokeMethod(this, &PreviewPlayer::tick, Qt::QueuedConnection);
    }
}

}  // namespace kelvora::app
