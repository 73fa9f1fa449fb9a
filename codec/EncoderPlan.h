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
//
// Planes of subsampled chroma (a JPEG's 4:2:0 or 4:1:1) add two rules. A slice's chroma
// starts at its first column shifted down and is as wide as its own width shifted up, so the
// last slice may end a chroma column short of the plane, which then decodes to whatever the
// decoder's buffer held. The encoder refuses the grids where that loses a column at a
// subsampling of 2, but not all of those at 4 (4:1:1 at 150 pixels across, cut in two, loses
// the 38th chroma column unrefused): every grid is checked here against the plane's width.

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

// How FFV1 holds a frame's samples: what its encoder weighs when it cuts the frame.
struct Ffv1Form {
    int planes = 3;        // 1 grey, 3 colour, one more for alpha
    int bits = 8;          // a sample's
    int chromaShiftX = 0;  // chroma as wide as the frame shifted down by this (4:2:0: 1, 4:1:1: 2)
    int chromaShiftY = 0;
    bool operator==(const Ffv1Form&) const = default;
};
// 8-bit RGB, as every bitmap frame is encoded.
inline constexpr Ffv1Form kFfv1Rgb{};

// The grid libavcodec's FFV1 encoder (level 3) picks for `slices` slices on a frame of
// `width` x `height` in `form`, searching as it does; none when it refuses that count.
[[nodiscard]] std::optional<SliceGrid> ffv1GridFor(std::int64_t width, std::int64_t height, int slices,
                                                   Ffv1Form form = kFfv1Rgb);

// Whether every one of `parts` slices across `size` pixels is decoded where it was encoded.
[[nodiscard]] bool slicesLandExactly(std::int64_t size, int parts);
// Whether `parts` slices across `size` pixels cover every column of a chroma plane
// subsampled by 2^`shift` (always with no subsampling).
[[nodiscard]] bool slicesCoverChroma(std::int64_t size, int parts, int shift);

// FFV1's settings for a frame size: level 3 with 4 slices and slice CRCs where that decodes
// exactly, else the fewest slices that do (more for frames too large for four, one for
// small frames 1 or 2 pixels across), else level 1 without slices.
struct Ffv1Settings {
    int level = 3;
    int slices = 4;  // 1 at level 1
    bool operator==(const Ffv1Settings&) const = default;
};
[[nodiscard]] Ffv1Settings ffv1SettingsFor(std::int64_t width, std::int64_t height, Ffv1Form form = kFfv1Rgb);

// About how many bytes one encoder of `codec` holds for frames of `shape`, with the check of
// each frame by decoding it where a save does that (frameCheckFor).
[[nodiscard]] std::int64_t encoderBytes(Codec codec, const bitmap::StreamShape& shape);

// The encoders of a save together stay within this, or a single encoder where one needs more.
inline constexpr std::int64_t kEncoderBudgetBytes = std::int64_t{1} << 30;

// How many encoders a save runs side by side on `cores` cores, and how many threads each
// spreads a frame over: for PNG one encoder a core; for FFV1 (frames in `form`) a thread a
// slice first, then an encoder for each such set of cores; fewer encoders where together they
// would pass the budget.
struct EncoderPlan {
    int encoders = 1;
    int threadsEach = 1;
};
[[nodiscard]] EncoderPlan planEncoders(Codec codec, const bitmap::StreamShape& shape, int cores,
                                       Ffv1Form form = kFfv1Rgb);

}  // namespace kelvora::codec
