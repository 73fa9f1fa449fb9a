#pragma once

// What the headers can say about a frame. The stream header stores the frame rectangle as
// four signed 16-bit values, so a frame that does not fit there is refused rather than
// described falsely; a bitmap's negative height (rows stored top-down) is a row count.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/avifile/AVIFile.h"
#include "platform/types/FourCC.h"

namespace kelvora::avifile {

// The rectangle as the stream header stores it: never upside down.
struct FrameRect {
    std::int16_t left = 0;
    std::int16_t top = 0;
    std::int16_t right = 0;
    std::int16_t bottom = 0;

    [[nodiscard]] std::uint32_t width() const { return static_cast<std::uint32_t>(right - left); }
    [[nodiscard]] std::uint32_t rows() const { return static_cast<std::uint32_t>(bottom - top); }
};

// The caller's rectangle with its height taken as a row count (a top-down bitmap's
// negative height gives the same rows as its positive one); nullopt when the width is
// negative or a side lies outside what 16 bits hold.
[[nodiscard]] std::optional<FrameRect> frameRectFor(const RECT& rc);

// A video stream's format must start with a whole BITMAPINFOHEADER (biSize 40 or more,
// within the block) whose width and rows fit the headers: AVIERR_OK or AVIERR_BADFORMAT.
[[nodiscard]] HRESULT checkVideoFormat(std::span<const std::uint8_t> format);

// The chunk id a stream's frames are stored under: '00db' for bitmaps as stored (their
// pixels, run-length data or bit fields), '00dc' for a codec's frames (the format's
// compression is then the codec's four-character code).
[[nodiscard]] platform::FourCC frameChunkFor(std::span<const std::uint8_t> format);

inline constexpr std::size_t kBitmapInfoHeaderSize = 40;
inline constexpr std::int64_t kLargestSide = 32767;

}  // namespace kelvora::avifile
