#include "verify/ShownReference.h"

#include "slideshow/Blend.h"

namespace kelvora::verify {

ShownReference::ShownReference(const std::vector<std::string>& frames, photo::Framing framing)
    : m_frames(frames), m_framing(framing)
{
}

// Picture `picture`'s fitting, from those kept or made again in place of one not `keep`'s.
const FittedPicture& ShownReference::fitted(std::size_t picture, std::size_t keep)
{
    for (const std::optional<KeptPicture>& kept : m_kept)
        if (kept && kept->picture == picture)
            return kept->fitted;
    std::optional<KeptPicture>& slot = m_kept[0] && m_kept[0]->picture == keep ? m_kept[1] : m_kept[0];
    slot.emplace();
    slot->picture = picture;
    if (picture < m_frames.size())
        slot->fitted = fittedPicture(m_frames[picture], m_framing);
    else
        slot->fitted.problem = "manca l'immagine dopo, in cui sfumare";
    return slot->fitted;
}

const FittedPicture& ShownReference::of(const slideshow::Shown& shown)
{
    const FittedPicture& picture = fitted(shown.picture, shown.picture);
    if (shown.kind == slideshow::Shown::Kind::Held || !picture.problem.empty())
        return picture;
    const FittedPicture* next = &picture;
    if (shown.kind == slideshow::Shown::Kind::Crossfade) {
        next = &fitted(shown.picture + 1, shown.picture);
        if (!next->problem.empty())
            return *next;
    }
    const photo::OutputSize size = m_framing.size;
    const std::ptrdiff_t stride = std::ptrdiff_t{size.width} * 3;
    m_drawn.problem.clear();
    m_drawn.rgb.resize(picture.rgb.size());
    slideshow::drawFade(shown, {picture.rgb.data(), stride, size.width, size.height},
                        {next->rgb.data(), stride, size.width, size.height},
                        {m_drawn.rgb.data(), stride, size.width, size.height});
    return m_drawn;
}

}  // namespace kelvora::verify
