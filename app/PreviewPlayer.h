#pragma once

#include "platform/text/CompactTexts.h"
#include "video/StreamRate.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace kelvora::app {

// Plays the frame list in the preview at the video's rate, looping. A thread of its own reads
// the frames ahead (a few pictures at the preview's size, however long the list), so the
// window only shows what is ready. A frame not ready when it is due is skipped, never shown
// late: the playback keeps the rate and says how many it skipped.
class PreviewPlayer final : public QObject {
    Q_OBJECT
public:
    explicit PreviewPlayer(QSize pictureSize, QObject* parent = nullptr);
    ~PreviewPlayer() override;
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // Plays `texts` (the list's entries; they must not change until stop) from entry `from`.
    void start(const platform::CompactTexts& texts, int from, video::StreamRate rate);
    // From now on no entry is read; a picture being read is thrown away.
    void stop();
    [[nodiscard]] bool playing() const { return m_playing; }
    // Frames shown and skipped since start.
    [[nodiscard]] std::int64_t shown() const { return m_shown; }
    [[nodiscard]] std::int64_t skipped() const { return m_skipped; }

signals:
    // Entry `index` is due now: its picture (null when its file does not load).
    void frameShown(int index, const QImage& picture);

private:
    struct Read {
        std::int64_t sequence;  // the how-many-th frame of the playback (it loops)
        QImage picture;
    };
    static constexpr std::size_t kAhead = 6;

    void tick();
    void readAhead(const std::stop_token& stop);
    // Frames due by now, counted from the first shown: -1 before the first.
    [[nodiscard]] std::int64_t dueNow() const;
    [[nodiscard]] qint64 dueAtNs(std::int64_t sequence) const;
    [[nodiscard]] int entryOf(std::int64_t sequence) const;

    const QSize m_pictureSize;
    QTimer m_timer;
    bool m_playing = false;
    std::int64_t m_shown = 0;
    std::int64_t m_skipped = 0;
    std::int64_t m_lastDue = -1;

    // Shared with the reading thread.
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    const platform::CompactTexts* m_texts = nullptr;  // null when stopped
    std::uint64_t m_generation = 0;                   // each start is a new playback
    int m_from = 0;
    int m_count = 0;
    video::StreamRate m_rate;
    QElapsedTimer m_clock;  // started when the first frame is shown
    std::int64_t m_nextRead = 0;
    std::deque<Read> m_ready;
    std::jthread m_reader;  // last: it starts once the rest is ready
};

}  // namespace kelvora::app
