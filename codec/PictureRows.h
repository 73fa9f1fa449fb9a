#pragma once

// A decoded picture a row at a time, at 16 bits a sample whatever its form, so that any form
// a PNG or JPEG decodes to can be written in any form a stream is encoded in: 8-bit samples
// widened by repeating their byte (x * 257) and narrowed back by rounding, so 8 bits come
// back as they went.

#include "codec/Background.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <span>
#include <string>

namespace kelvora::codec {

struct Sample {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
    std::uint16_t alpha = 0xFFFF;
    bool operator==(const Sample&) const = default;
};

// Whether rows of `format` can be read: every form libavcodec's PNG decoder gives, and a
// JPEG's grey and RGB planes (a CMYK JPEG's too, whose fourth plane holds no transparency).
[[nodiscard]] bool readsRows(int format);
// Whether rows can be written in `format`: every form a stream of pictures is encoded in but
// a JPEG's Y'CbCr planes.
[[nodiscard]] bool writesRows(int format);
// Whether a stream of `format` keeps transparency (a palette stream's entries are opaque).
[[nodiscard]] bool hasAlpha(int format);

// Row `y` of `picture` (of a format readsRows takes) into `row`, `picture.width` samples.
void readRow(const AVFrame& picture, int y, std::span<Sample> row);
// Row `y` of `target` (of a format writesRows takes) from `row`; colour into grey takes the
// red sample, 16 bits into 8 rounds, and alpha is dropped where `target` has none.
void writeRow(AVFrame& target, int y, std::span<const Sample> row);

// The pixel as it shows over `background`: opaque, its colour blended with the background's
// by its alpha, at 16 bits, rounded (what a browser shows of the file on a page of that colour).
[[nodiscard]] Sample over(Sample pixel, Background background);

// What writing `row` (composited already where `target` has no alpha) into `target` would
// lose: a colour in a grey picture, a grey in a 1-bit one; with its column and row (`y`), in
// Italian; empty when nothing.
[[nodiscard]] std::string lossIn(std::span<const Sample> row, int target, int y);

}  // namespace kelvora::codec
