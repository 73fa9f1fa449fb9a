#pragma once

// A PNG image's chunks checked before it is decoded: libavcodec, as ffmpeg runs it, neither
// checks a chunk's CRC nor weighs the picture's size against the stream's, so a damaged
// chunk would decode unnoticed and a frame claiming a huge picture would be allocated.

#include <cstdint>
#include <span>
#include <string>

namespace kelvora::verify {

struct PngCheck {
    // The first chunk that is damaged or cut short, or the picture's size, in Italian; empty
    // when all is well.
    std::string damage;
    bool tooLarge = false;  // the picture is larger than the stream's: it is not to be decoded
};

[[nodiscard]] PngCheck checkPng(std::span<const std::uint8_t> image, std::int64_t width, std::int64_t height);

}  // namespace kelvora::verify
