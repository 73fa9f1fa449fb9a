#pragma once

// Palette changes: a video of 1 to 8 bits shows each frame with the colour table in effect
// when the frame is read. A change is a '00pc' chunk in the 'movi' list before the first
// frame it applies to (AVIPALCHANGE: first entry, entry count with 0 meaning 256, flags,
// then PALETTEENTRY red, green, blue, flags). Readers that honour it read the 'movi' list in
// order; the chunk stays out of the indexes, where readers would take it for a frame.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/types/FourCC.h"

namespace kelvora::avifile {

inline constexpr platform::FourCC kPaletteChangeChunk = platform::FourCC("00pc");
inline constexpr std::uint32_t AVISF_VIDEO_PALCHANGES = 0x00010000;

// The colour table of a format block (BITMAPINFOHEADER and RGBQUAD entries), or nullopt when
// the format has none (above 8 bits).
[[nodiscard]] std::optional<std::span<const std::uint8_t>> colourTableOf(std::span<const std::uint8_t> format);

// Whether `next` is `current` with only its colour table changed.
[[nodiscard]] bool differsOnlyInPalette(std::span<const std::uint8_t> current, std::span<const std::uint8_t> next);

// The AVIPALCHANGE payload that turns table `from` into table `to` (RGBQUAD entries, same
// length), covering the first to the last entry that differs; empty when none does.
[[nodiscard]] std::vector<std::uint8_t> paletteChange(std::span<const std::uint8_t> from,
                                                      std::span<const std::uint8_t> to);

}  // namespace kelvora::avifile
