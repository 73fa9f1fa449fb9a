#pragma once

// How a video's frames are stored: as their files store them, or compressed without loss by
// one of the codecs common players decode.

#include "platform/types/FourCC.h"

#include <optional>
#include <string_view>

namespace kelvora::codec {

enum class Codec {
    Raw,   // every frame's pixel block as its file stores it
    Ffv1,  // FFV1 level 3, every frame a key frame, slices with CRCs
    Png,   // one PNG image a frame; palettes stay palettes
    H264,  // H.264 4:2:0 (libx264), BT.709 limited range: lossy, for sharing
};

// libx264's quality when the user names none: visually lossless on its medium preset.
inline constexpr int kDefaultCrf = 18;

// The command line's names: "raw", "ffv1", "png", "h264".
[[nodiscard]] std::optional<Codec> codecFromName(std::string_view name);
[[nodiscard]] std::string_view codecName(Codec codec);
// The name users read in the window and the batch mode's lines.
[[nodiscard]] std::string_view codecLabel(Codec codec);
// The stream's handler and its format's compression: 'FFV1', 'MPNG', 'H264'; 0 for Raw.
[[nodiscard]] platform::FourCC codecFourCC(Codec codec);

}  // namespace kelvora::codec
