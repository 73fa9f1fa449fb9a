#pragma once

// An uncompressed frame as ffmpeg's decoders hand it on: rows top-down and unpadded, in the
// pixel format it reads the stream as (bgra for 32 bits, bgr24, rgb555le or rgb565le for 16,
// pal8 for 1 to 8 bits and RLE, one index a byte followed by the 256-entry colour table).
// What ffmpeg hashes of a frame, so our checksums are its checksums.

#include "codec/CodecPixels.h"
#include "platform/binary/BitmapRecords.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kelvora::verify {

// Writes the frame `chunk` of a stream of format `header` with the colour table `palette`
// in effect into `out`; false when the chunk is too short for the picture (ffmpeg then
// drops the frame) or the format is no picture a decoder makes (rawRefusal). For RLE frames
// a pixel the data leaves undrawn is index 0, as in the bitmap the frame came from; ffmpeg's
// own decoder, where there is one, keeps the previous frame's pixel there instead
// (LosslessDecoder::openRle), and its checksums are taken from it.
[[nodiscard]] bool rawPicture(const binary::BITMAPINFOHEADER& header, std::span<const std::uint8_t> chunk,
                              const codec::CodecPalette& palette, std::vector<std::uint8_t>& out);

}  // namespace kelvora::verify
