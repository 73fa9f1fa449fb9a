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
};

// The command line's names: "raw", "ffv1", "png".
[[nodiscard]] std::optional<Codec> codecFromName(std::string_view name);
[[nodiscard]] std::string_view codecName(Codec codec);
// The name users read in the window and the batch mode's lines.
[[nodiscard]] std::string_view codecLabel(Codec codec);
// The stream's handler and its format's compression: 'FFV1', 'MPNG'; 0 for Raw.
[[nodiscard]] platform::FourCC codecFourCC(Codec codec);

}  // namespace kelvora::codec
