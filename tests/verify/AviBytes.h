#pragma once

// AVI files built byte by byte, so a test can give a reader any structure: chunk sizes that
// lie, lists nested at will, a file cut anywhere.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::verify::testing {

using Bytes = std::vector<std::uint8_t>;

inline void putU32(Bytes& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline void putU16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void putText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A chunk: its FourCC, its size (the body's unless told), the body and its pad byte.
inline Bytes chunk(const std::string& id, const Bytes& body, std::optional<std::uint32_t> size = std::nullopt)
{
    Bytes out;
    putText(out, id);
    putU32(out, size.value_or(static_cast<std::uint32_t>(body.size())));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2 != 0)
        out.push_back(0);
    return out;
}
inline Bytes list(const std::string& type, const Bytes& body, std::optional<std::uint32_t> size = std::nullopt)
{
    Bytes typed;
    putText(typed, type);
    return chunk("LIST", typed + body, size);
}

struct StreamFormat {
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::uint16_t bitCount = 24;
    std::string compression{};  // a FourCC; empty: BI_RGB
    std::uint32_t compressionValue = 0;
    Bytes extra{};  // after the 40-byte header: a colour table, a codec's configuration
};

// The header list of one video stream at 25 frames a second.
inline Bytes headerList(const StreamFormat& f)
{
    Bytes avih;
    for (const std::uint32_t v : {40000u, 0u, 0u, 0x10u, 1u, 0u, 1u, 0u, static_cast<std::uint32_t>(f.width),
                                  static_cast<std::uint32_t>(std::abs(f.height)), 0u, 0u, 0u, 0u})
        putU32(avih, v);
    Bytes strh;
    putText(strh, "vids");
    putText(strh, f.compression.empty() ? std::string(4, '\0') : f.compression);
    for (const std::uint32_t v : {0u, 0u, 0u, 1u, 25u, 0u, 1u, 0u, 0u, 0u})
        putU32(strh, v);
    for (int i = 0; i < 4; ++i)
        putU16(strh, 0);
    Bytes strf;
    putU32(strf, 40 + static_cast<std::uint32_t>(f.extra.size()));
    putU32(strf, static_cast<std::uint32_t>(f.width));
    putU32(strf, static_cast<std::uint32_t>(f.height));
    putU16(strf, 1);
    putU16(strf, f.bitCount);
    if (f.compression.empty())
        putU32(strf, f.compressionValue);
    else
        putText(strf, f.compression);
    for (int i = 0; i < 5; ++i)
        putU32(strf, 0);
    strf = strf + f.extra;
    return list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
}

// RIFF 'AVI ' around the header list and a 'movi' list of `movi`, then `after` (an idx1...).
inline Bytes aviFile(const StreamFormat& format, const Bytes& movi,
                     std::optional<std::uint32_t> riffSize = std::nullopt, const Bytes& after = {})
{
    Bytes body;
    putText(body, "AVI ");
    return chunk("RIFF", body + headerList(format) + list("movi", movi) + after, riffSize);
}

}  // namespace kelvora::verify::testing
