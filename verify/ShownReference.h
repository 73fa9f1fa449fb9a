#pragma once

// What a slideshow's frame should show where the save fitted its pictures: the fitting of its
// picture's file, or for a fade's frame the mix the save drew, drawn again here by the same
// function (slideshow/Blend) from the fittings of its picture and the next. The last two
// pictures' fittings are kept: a fade's frames need them again and again.

#include "photo/Framing.h"
#include "slideshow/ShowLayout.h"
#include "verify/FittedReference.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::verify {

// A picture's fitting kept for the frames that come next (outside the class, so that its
// default member initialisers are complete where the class uses them).
struct KeptPicture {
    std::size_t picture = 0;
    FittedPicture fitted;
};

class ShownReference {
public:
    // `frames`: the pictures' files, in order (not owned).
    ShownReference(const std::vector<std::string>& frames, photo::Framing framing);

    // The picture `shown` should be; its problem set when a file no longer gives one.
    [[nodiscard]] const FittedPicture& of(const slideshow::Shown& shown);

private:
    [[nodiscard]] const FittedPicture& fitted(std::size_t picture, std::size_t keep);

    const std::vector<std::string>& m_frames;
    photo::Framing m_framing;
    std::array<std::optional<KeptPicture>, 2> m_kept;
    FittedPicture m_drawn;
};

}  // namespace kelvora::verify
