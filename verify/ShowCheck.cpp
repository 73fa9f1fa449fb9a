#include "verify/ShowCheck.h"

#include <cstdio>
#include <cstdlib>

namespace kelvora::verify {

std::string secondsText(std::int64_t slot, slideshow::Rate rate)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(slot) * rate.scale / static_cast<double>(rate.rate));
    std::string out = text;
    for (char& c : out)
        if (c == '.')
            c = ',';
    return out;
}

ShowTracker::ShowTracker(const slideshow::ShowLayout& layout, std::int64_t tolerance)
    : m_layout(layout), m_tolerance(tolerance), m_beginnings(layout.beginnings())
{
}

std::string ShowTracker::placeText(const slideshow::Shown& shown) const
{
    using Kind = slideshow::Shown::Kind;
    const std::string at = secondsText(shown.slot, m_layout.rate());
    switch (shown.kind) {
    case Kind::Held:
        return "a " + at;
    case Kind::FadeIn:
        return "la sua dissolvenza dal nero a " + at;
    case Kind::FadeOut:
        return "la sua dissolvenza nel nero a " + at;
    case Kind::Crossfade:
        return "la sua dissolvenza nell'immagine dopo a " + at;
    }
    return at;
}

void ShowTracker::missing(const slideshow::Shown& shown)
{
    m_differences.note(shown.picture, placeText(shown) + ": manca nel video");
}

std::optional<slideshow::Shown> ShowTracker::frame(std::int64_t slot)
{
    while (m_next < m_beginnings.size() && m_beginnings[m_next].slot < slot - m_tolerance)
        missing(m_beginnings[m_next++]);
    if (m_next < m_beginnings.size() && std::llabs(m_beginnings[m_next].slot - slot) <= m_tolerance)
        return m_beginnings[m_next++];
    if (slot >= 0 && slot < m_layout.frames()) {
        // Between the frames that begin something: a frame showing on what was begun (a held
        // picture repeated), or one too early for what comes next.
        const slideshow::Shown shown = m_layout.at(slot);
        if (!shown.begins && shown.kind == slideshow::Shown::Kind::Held)
            return shown;
        m_differences.note(shown.picture, "a " + secondsText(slot, m_layout.rate()) +
                                              " il video ha un fotogramma fuori posto (spostato di più di " +
                                              (m_tolerance == 0 ? "zero fotogrammi)" : "un fotogramma)"));
        return std::nullopt;
    }
    m_differences.note(m_layout.pictures() - 1,
                       "a " + secondsText(slot, m_layout.rate()) + " il video ha un fotogramma in più, dopo la fine");
    return std::nullopt;
}

void ShowTracker::heldOn(std::int64_t slot)
{
    if (m_next < m_beginnings.size() && m_beginnings[m_next].slot == slot)
        missing(m_beginnings[m_next++]);
}

void ShowTracker::end(std::int64_t frames)
{
    while (m_next < m_beginnings.size())
        missing(m_beginnings[m_next++]);
    if (std::llabs(frames - m_layout.frames()) > m_tolerance)
        m_differences.note(m_layout.pictures() - 1, "il video dura " + secondsText(frames, m_layout.rate()) +
                                                        " e non " + secondsText(m_layout.frames(), m_layout.rate()) +
                                                        ", come le sue immagini");
}

}  // namespace kelvora::verify
