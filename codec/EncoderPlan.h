#pragma once

// How a save's frames are encoded: FFV1's level and slices for the frame size, and how many
// encoders run side by side within the memory budget. Pure arithmetic, no libavcodec.
//
// libavcodec's FFV1 encoder (5.1) writes each slice's position as (x + 1) * columns / width,
// which the decoder reads back as the slice's column. For a slice one pixel wide whose right
// edge falls on a whole multiple, that is the next column: the slice is put in the wrong
// place and its neighbour refused. Every frame 1 or 2 pixels wide or high hits this with the
// slices the encoder picks, so slice grids are chosen here by that same arithmetic, and a
// frame no grid of level 3 serves is encoded at level 1 (no slices, no slice CRCs).

#include "bitmap/FramePlan.h"
#include "codec/Codec.h"

#include <cstdint>
#include <optional>

namespace kelvora::codec {

// The slices FFV1 cuts a frame into.
struct SliceGrid {
    int columns = 1;
    int rows = 1;
    bool operator==(const SliceGrid&) const = default;
};

// The grid libavcodec's FFV1 encoder (level 3, 8-bit RGB) picks for `slices` slices on a
// frame of `width` x `height`, searching as it does; none when it refuses that count.
[[nodiscard]] std::optional<SliceGrid> ffv1GridFor(std::int64_t width, std::int64_t height, int slices);

// Whether every one of `parts` slices across `size` pixels is decoded where it was encoded.
[[nodiscard]] bool slicesLandExactly(std::int64_t size, int parts);

// FFV1's settings for a frame size: level 3 with 4 slices and slice CRCs where that decodes
// exactly, else the fewest slices that do (more for frames too large for four, one for
// small frames 1 or 2 pixels across), else level 1 without slices.
struct Ffv1Settings {
    int level = 3;
    int slices = 4;  // 1 at level 1
    bool operator==(const Ffv1Settings&) const = default;
};
[[nodiscard]] Ffv1Settings ffv1SettingsFor(std::int64_t width, std::int64_t height);

// About how many bytes one encoder of `codec` holds for frames of `shape`, with the check of
// each frame by decoding it where a save does that (frameCheckFor).
[[nodiscard]] std::int64_t encoderBytes(Codec codec, const bitmap::StreamShape& shape);

// The encoders of a save together stay within this, or a single encoder where one needs more.
inline constexpr std::int64_t kEncoderBudgetBytes = std::int64_t{1} << 30;

// How many encoders a save runs side by side on `cores` cores, and how many threads each
// spreads a frame over: for PNG one encoder a core; for FFV1 a thread a slice first, then an
// encoder for each such set of cores; fewer encoders where together they would pass the budget.
struct EncoderPlan {
    int encoders = 1;
    int threadsEach = 1;
};
[[nodiscard]] EncoderPlan planEncoders(Codec codec, const bitmap::StreamShape& shape, int cores);

}  // namespace kelvora::codec
