#include "slideshow/ShowLayout.h"

#include <algorithm>

namespace kelvora::slideshow {

ShowLayout::ShowLayout(Rate rate, std::span<const std::optional<Duration>> durations, std::int64_t fitFrames,
                       const Fades& fades)
    : m_rate(rate), m_fades(fadeFrames(fades, rate))
{
    PictureClock clock(rate);
    if (fitFrames > 0)
        clock.spreadOver(durations, fitFrames);
    m_shows.reserve(durations.size());
    for (std::size_t i = 0; i < durations.size(); ++i)
        m_shows.push_back(showOf(clock.next(durations[i]), i == 0, i + 1 == durations.size(), m_fades));
}

Shown shownAt(const PictureShow& show, std::size_t picture, bool last, std::int64_t slot)
{
    const Span held = show.held();
    Shown shown;
    shown.picture = picture;
    shown.slot = slot;
    if (slot < held.start) {
        shown.kind = Shown::Kind::FadeIn;
        shown.weight = fadeInWeight(slot - show.span.start, show.lead);
        shown.begins = true;
    } else if (slot >= held.end()) {
        const std::int64_t index = slot - held.end();
        shown.kind = last ? Shown::Kind::FadeOut : Shown::Kind::Crossfade;
        shown.weight = last ? fadeOutWeight(index, show.trail) : crossfadeWeight(index, show.trail);
        shown.begins = true;
    } else {
        shown.begins = slot == held.start;
        shown.slot = held.start;
        shown.frames = held.frames;
    }
    return shown;
}

void appendBeginnings(const PictureShow& show, std::size_t picture, bool last, std::int64_t from,
                      std::vector<Shown>& out)
{
    for (std::int64_t slot = std::max(from, show.span.start); slot < show.span.end(); ++slot) {
        if (slot == show.held().start + 1)
            slot = show.held().end();  // the held frames show on
        if (slot < show.span.end())
            out.push_back(shownAt(show, picture, last, slot));
    }
}

Shown ShowLayout::at(std::int64_t slot) const
{
    // The picture whose span holds the slot.
    const auto it = std::upper_bound(m_shows.begin(), m_shows.end(), slot,
                                     [](std::int64_t s, const PictureShow& show) { return s < show.span.start; });
    const std::size_t picture = it == m_shows.begin() ? 0 : static_cast<std::size_t>(it - m_shows.begin()) - 1;
    return shownAt(m_shows[picture], picture, picture + 1 == m_shows.size(), slot);
}

std::vector<Shown> ShowLayout::beginnings() const
{
    std::vector<Shown> out;
    for (std::size_t i = 0; i < m_shows.size(); ++i)
        appendBeginnings(m_shows[i], i, i + 1 == m_shows.size(), m_shows[i].span.start, out);
    return out;
}

ShowSequence::ShowSequence(PictureClock clock, const Fades& fades, Rate rate)
    : m_clock(clock), m_fades(fadeFrames(fades, rate))
{
}

void ShowSequence::add(std::optional<Duration> duration)
{
    const Span span = m_clock.next(duration);
    if (m_pending) {
        const PictureShow before = showOf(*m_pending, m_pictures == 1, false, m_fades);
        appendBeginnings(before, m_pictures - 1, false, before.held().start, m_shown);
    } else {
        // The first picture's fade in needs no other picture: given at once.
        const PictureShow first = showOf(span, true, false, m_fades);
        for (std::int64_t slot = span.start; slot < first.held().start; ++slot)
            m_shown.push_back(shownAt(first, 0, false, slot));
    }
    m_pending = span;
    ++m_pictures;
}

void ShowSequence::end()
{
    if (m_ended || !m_pending)
        return;
    m_ended = true;
    const PictureShow last = showOf(*m_pending, m_pictures == 1, true, m_fades);
    appendBeginnings(last, m_pictures - 1, true, last.held().start, m_shown);
}

}  // namespace kelvora::slideshow
