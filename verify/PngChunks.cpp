#include "verify/PngChunks.h"

extern "C" {
#include <libavutil/crc.h>
}

#include <algorithm>
#include <array>

namespace kelvora::verify {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

std::string typeText(std::span<const std::uint8_t> type)
{
    std::string text;
    for (const std::uint8_t c : type)
        text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return text;
}

}  // namespace

PngCheck checkPng(std::span<const std::uint8_t> image, std::int64_t width, std::int64_t height)
{
    PngCheck check;
    if (image.size() < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), image.begin())) {
        check.damage = "non è un'immagine PNG";
        return check;
    }
    const AVCRC* table = av_crc_get_table(AV_CRC_32_IEEE_LE);
    for (std::size_t at = kSignature.size();;) {
        if (image.size() - at < 12) {
            check.damage = "l'immagine PNG finisce prima del blocco IEND";
            return check;
        }
        const std::uint32_t length = bigEndian(image.subspan(at, 4));
        const std::span<const std::uint8_t> type = image.subspan(at + 4, 4);
        if (length > image.size() - at - 12) {
            check.damage = "il blocco PNG " + typeText(type) + " è troncato";
            return check;
        }
        const std::span<const std::uint8_t> typeAndData = image.subspan(at + 4, 4 + std::size_t{length});
        const std::uint32_t crc = ~av_crc(table, 0xFFFFFFFFu, typeAndData.data(), typeAndData.size());
        if (crc != bigEndian(image.subspan(at + 8 + length, 4))) {
            check.damage = "il blocco PNG " + typeText(type) + " è danneggiato (CRC errato)";
            return check;
        }
        const std::string name = typeText(type);
        if (name == "IHDR" && length >= 8) {
            const std::int64_t w = bigEndian(typeAndData.subspan(4, 4));
            const std::int64_t h = bigEndian(typeAndData.subspan(8, 4));
            if (w > width || h > (height < 0 ? -height : height)) {
                check.tooLarge = true;
                check.damage =
                    "l'immagine PNG è di " + std::to_string(w) + "×" + std::to_string(h) + ", più grande del video";
                return check;
            }
        }
        if (name == "IEND")
            return check;
        at += 12 + std::size_t{length};
    }
}

}  // namespace kelvora::verify
