#pragma once

// The step after the save dialog: the video's size and how each picture fits it. The window
// asks through this interface, so tests answer as a scripted user would.

#include "photo/Framing.h"
#include "slideshow/Duration.h"

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

// What the step asks: the size and fit, and how long each picture blends into the next
// (none: a cut).
struct VideoSettings {
    photo::Framing framing;
    std::optional<slideshow::Duration> crossfade;
    bool operator==(const VideoSettings&) const = default;
};

class VideoSizeDialog {
public:
    virtual ~VideoSizeDialog() = default;
    // The size and fit of the video about to be saved, the step showing `start` chosen; nothing
    // when the user cancels (the save does not happen). `ownerHandle`: the window it belongs to.
    [[nodiscard]] virtual std::optional<photo::Framing> askFraming(const photo::Framing& start,
                                                                   std::int32_t ownerHandle) = 0;
    // The same with the crossfade. `fadesDrawn`: the video chosen draws its frames (an
    // uncompressed AVI keeps the files' bytes and cannot blend them); else the crossfade is
    // shown but cannot be changed, and the save draws none. A step that asks only the framing
    // keeps the crossfade it was given.
    [[nodiscard]] virtual std::optional<VideoSettings> askSettings(const VideoSettings& start, bool fadesDrawn,
                                                                   std::int32_t ownerHandle)
    {
        (void)fadesDrawn;
        const std::optional<photo::Framing> framing = askFraming(start.framing, ownerHandle);
        if (!framing)
            return std::nullopt;
        return VideoSettings{*framing, start.crossfade};
    }
};

// The step on Qt's widgets.
[[nodiscard]] VideoSizeDialog& systemVideoSizeDialog();

}  // namespace kelvora::dialogs
