#include "slideshow/Timeline.h"

#include <algorithm>

namespace kelvora::slideshow {

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// a / b rounded to the nearest, halves up; a and b not negative, b positive.
template <typename T> T rounded(T a, T b) { return (a + b / 2) / b; }

}  // namespace

PictureClock::Exact PictureClock::exact(std::optional<Duration> duration) const
{
    // One frame is scale / rate seconds: scale x 10^9 units.
    return duration ? Exact{duration->nanoseconds} * m_rate.rate : Exact{m_rate.scale} * kSecond;
}

void PictureClock::spreadOver(std::span<const std::optional<Duration>> durations, std::int64_t frames)
{
    m_total = 0;
    for (const std::optional<Duration>& duration : durations)
        m_total += exact(duration);
    m_target = frames;
}

Span PictureClock::next(std::optional<Duration> duration)
{
    m_sum += exact(duration);
    const Exact end =
        m_total > 0 ? rounded<Exact>(m_sum * m_target, m_total) : rounded<Exact>(m_sum, Exact{m_rate.scale} * kSecond);
    const Span span{m_end, std::max<std::int64_t>(static_cast<std::int64_t>(end) - m_end, 1)};
    m_end = span.end();
    return span;
}

std::int64_t framesOf(Duration duration, Rate rate)
{
    return static_cast<std::int64_t>(
        rounded<__int128>(__int128{duration.nanoseconds} * rate.rate, __int128{rate.scale} * kSecond));
}

std::int64_t nanosecondsOf(std::int64_t frames, Rate rate)
{
    return static_cast<std::int64_t>(rounded<__int128>(__int128{frames} * rate.scale * kSecond, rate.rate));
}

FadeFrames fadeFrames(const Fades& fades, Rate rate)
{
    const auto frames = [rate](const std::optional<Duration>& duration) {
        return duration ? std::max<std::int64_t>(framesOf(*duration, rate), 1) : 0;
    };
    return {frames(fades.crossfade), frames(fades.fadeIn), frames(fades.fadeOut)};
}

PictureShow showOf(Span span, bool first, bool last, const FadeFrames& fades)
{
    PictureShow show{span};
    const std::int64_t room = std::max<std::int64_t>(span.frames - 1, 0);
    show.lead = first ? std::min(fades.fadeIn, room) : 0;
    show.trail = std::min(last ? fades.fadeOut : fades.crossfade, room - show.lead);
    return show;
}

Weight crossfadeWeight(std::int64_t index, std::int64_t frames) { return {index + 1, frames + 1}; }

Weight fadeInWeight(std::int64_t index, std::int64_t frames) { return {index, frames}; }

Weight fadeOutWeight(std::int64_t index, std::int64_t frames) { return {frames - 1 - index, frames}; }

}  // namespace kelvora::slideshow
