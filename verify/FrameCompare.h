#pragma once

// One frame of a video against the bitmap it was made from. Each gives what differs, in
// Italian, or empty text when the frame shows exactly its file.

#include "bitmap/FramePlan.h"
#include "codec/CodecPixels.h"
#include "codec/LosslessDecoder.h"
#include "platform/binary/BitmapRecords.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelvora::verify {

// An uncompressed frame: the stream's format must describe the file's frame, the chunk must
// be its pixel block and, up to 8 bits, `palette` (0xAARRGGBB, the table in effect) must
// give its colours.
[[nodiscard]] std::string rawDifference(const binary::BITMAPINFOHEADER& stream, std::span<const std::uint8_t> chunk,
                                        const codec::CodecPalette& palette, const bitmap::FramePlan& plan,
                                        std::span<const std::uint8_t> bits);

// A decoded frame: every pixel must have the colour the encoder took from the file's pixel
// (the same expansion of palettes and 16-bit fields); `scratch` holds that picture.
[[nodiscard]] std::string decodedDifference(const codec::DecodedPicture& picture, const bitmap::FramePlan& plan,
                                            std::span<const std::uint8_t> bits, std::vector<std::uint8_t>& scratch);

// A picture of another writer's video, decoded and converted to 8-bit RGB (`width` x `height`,
// rows top-down): its colours must be the file's, exactly when `lossless`; otherwise (a lossy
// codec) within 30 dB of them (PSNR). `scratch` holds the file's colours.
[[nodiscard]] std::string foreignDifference(std::span<const std::uint8_t> rgb, int width, int height, bool lossless,
                                            const bitmap::FramePlan& plan, std::span<const std::uint8_t> bits,
                                            std::vector<std::uint8_t>& scratch);

// The same against colours already in 8-bit RGB (`want`, a picture file's).
[[nodiscard]] std::string rgbDifference(std::span<const std::uint8_t> rgb, int width, int height, bool lossless,
                                        std::span<const std::uint8_t> want, int wantWidth, int wantHeight);

// A frame as 8-bit RGB, rows top-down, 3 bytes a pixel, into `rgb`: an uncompressed 24-bit
// bitmap's pixel block (rows bottom-up, or top-down when `height` is negative, padded to four
// bytes), or a picture our decoders give. False when the block is short or the layout another.
[[nodiscard]] bool rgbOfBitmapRows(std::span<const std::uint8_t> chunk, int width, int height,
                                   std::vector<std::uint8_t>& rgb);
[[nodiscard]] bool rgbOfDecoded(const codec::DecodedPicture& picture, std::vector<std::uint8_t>& rgb);

}  // namespace kelvora::verify
