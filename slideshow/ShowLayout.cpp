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

Shown ShowLayout::at(std::int64_t slot) const
{
    // The picture whose span holds the slot.
    const auto it = std::upper_bound(m_shows.begin(), m_shows.end(), slot,
                                     [](std::int64_t s, const PictureShow& show) { return s < show.span.start; });
    const std::size_t picture = it == m_shows.begin() ? 0 : static_cast<std::size_t>(it - m_shows.begin()) - 1;
    const PictureShow& show = m_shows[picture];
    const Span held = show.held();
    Shown shown;
    shown.picture = picture;
    shown.slot = slot;
    if (slot < held.start) {
        const std::int64_t index = slot - show.span.start;
        shown.kind = Shown::Kind::FadeIn;
        shown.weight = fadeInWeight(index, show.lead);
        shown.begins = true;
    } else if (slot >= held.end()) {
        const std::int64_t index = slot - held.end();
        const bool last = picture + 1 == m_shows.size();
        shown.kind = last ? Shown::Kind::FadeOut : Shown::Kind::Crossfade;
        shown.weight = last ? fadeOutWeight(index, show.trail) : crossfadeWeight(index, show.trail);
        shown.begins = true;
    } else {
        shown.begins = slot == held.start;
        shown.slot = held.start;
    }
    return shown;
}

std::vector<Shown> ShowLayout::beginnings() const
{
    std::vector<Shown> out;
    for (const PictureShow& show : m_shows) {
        for (std::int64_t slot = show.span.start; slot < show.span.end(); ++slot) {
            if (slot == show.held().start + 1)
                slot = show.held().end();  // the held frames show on
            if (slot < show.span.end())
                out.push_back(at(slot));
        }
    }
    return out;
}

}  // namespace kelvora::slideshow
