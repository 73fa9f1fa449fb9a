#pragma once

// The step after the save dialog: the video's size and how each picture fits it. The window
// asks through this interface, so tests answer as a scripted user would.

#include "photo/Framing.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kelvora::dialogs {

struct SizeChoice {
    const char* caption;
    photo::OutputSize size;  // zero sides: "Originale", the save's own rule
};

// What the step offers, in its order: the sizes destinations take (a phone's portrait and a
// square feed among them).
inline constexpr std::array<SizeChoice, 6> kVideoSizes = {{
    {"Originale", {0, 0}},
    {"1280 × 720", {1280, 720}},
    {"1920 × 1080", {1920, 1080}},
    {"3840 × 2160", {3840, 2160}},
    {"1080 × 1920 (verticale)", {1080, 1920}},
    {"1080 × 1080 (quadrato)", {1080, 1080}},
}};

// The fits, in the step's order.
inline constexpr std::array<const char*, 2> kFitCaptions = {
    "Immagine intera, con bande",      // photo::Fit::Letterbox
    "Riempie il fotogramma, ritaglia"  // photo::Fit::Crop
};

class VideoSizeDialog {
public:
    virtual ~VideoSizeDialog() = default;
    // The size and fit of the video about to be saved, the step showing `start` chosen; nothing
    // when the user cancels (the save does not happen). `ownerHandle`: the window it belongs to.
    [[nodiscard]] virtual std::optional<photo::Framing> askFraming(const photo::Framing& start,
                                                                   std::int32_t ownerHandle) = 0;
};

// The step on Qt's widgets.
[[nodiscard]] VideoSizeDialog& systemVideoSizeDialog();

}  // namespace kelvora::dialogs
