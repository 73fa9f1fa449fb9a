#include "photo/ColourProfile.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

namespace kelvora::photo {

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Profiles larger than this are not pictures' (a display's profile is a few kilobytes, a
// printer's a few megabytes).
constexpr std::size_t kMaxProfile = 16u << 20;

struct FreeDecompressor {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

std::vector<std::uint8_t> inflateProfile(std::span<const std::uint8_t> zlib)
{
    const std::unique_ptr<libdeflate_decompressor, FreeDecompressor> d(libdeflate_alloc_decompressor());
    if (!d)
        return {};
    // An ICC profile states its own size in its first four bytes; inflate into growing room.
    for (std::size_t room = std::max<std::size_t>(zlib.size() * 4, 4096); room <= kMaxProfile; room *= 4) {
        std::vector<std::uint8_t> out(room);
        std::size_t made = 0;
        const libdeflate_result r =
            libdeflate_zlib_decompress(d.get(), zlib.data(), zlib.size(), out.data(), out.size(), &made);
        if (r == LIBDEFLATE_SUCCESS) {
            out.resize(made);
            return out;
        }
        if (r != LIBDEFLATE_INSUFFICIENT_SPACE)
            return {};
    }
    return {};
}

Chromaticities chromaticities(const std::uint8_t* p)
{
    Chromaticities c;
    for (std::size_t i = 0; i < 8; ++i)
        c.xy[i] = bigEndian32(p + 4 * i) / 100000.0;
    return c;
}

}  // namespace

ColourSource jpegColours(std::span<const std::uint8_t> file)
{
    ColourSource out;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return out;
    static constexpr std::string_view kIcc("ICC_PROFILE\0", 12);
    std::map<int, std::span<const std::uint8_t>> pieces;
    int declared = 0;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length < 2 || length > file.size() - at - 2)
            break;
        const std::uint8_t* body = &file[at + 4];
        if (marker == 0xE2 && length >= 2 + kIcc.size() + 2 && std::memcmp(body, kIcc.data(), kIcc.size()) == 0) {
            // Each segment: its number from 1 and the count of them, then its share of the profile.
            const int sequence = body[kIcc.size()];
            declared = body[kIcc.size() + 1];
            pieces[sequence] = file.subspan(at + 4 + kIcc.size() + 2, length - 2 - kIcc.size() - 2);
        }
        at += 2 + length;
    }
    if (declared == 0 || static_cast<int>(pieces.size()) != declared || pieces.begin()->first != 1 ||
        pieces.rbegin()->first != declared)
        return out;
    for (const auto& [sequence, piece] : pieces)
        out.icc.insert(out.icc.end(), piece.begin(), piece.end());
    if (out.icc.size() < 128 || out.icc.size() > kMaxProfile) {
        out.icc.clear();
        return out;
    }
    out.kind = ColourSource::Kind::Icc;
    return out;
}

ColourSource pngColours(std::span<const std::uint8_t> file)
{
    ColourSource out;
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0)
        return out;
    bool srgb = false;
    std::optional<double> gamma;
    std::optional<Chromaticities> primaries;
    std::vector<std::uint8_t> icc;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t length = bigEndian32(&file[at]);
        if (length > file.size() - at - 12)
            break;
        const std::string_view type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        const std::uint8_t* body = &file[at + 8];
        if (type == "IDAT" || type == "IEND")
            break;
        if (type == "iCCP" && icc.empty()) {
            // Its name (1 to 79 bytes), a NUL, the compression method (0: zlib), the profile.
            const auto* end = static_cast<const std::uint8_t*>(std::memchr(body, 0, std::min<std::size_t>(length, 80)));
            if (end && static_cast<std::size_t>(end - body) + 2 <= length && end[1] == 0) {
                const std::size_t start = static_cast<std::size_t>(end - body) + 2;
                icc = inflateProfile({body + start, length - start});
            }
        } else if (type == "sRGB" && length == 1) {
            srgb = true;
        } else if (type == "gAMA" && length == 4) {
            if (const std::uint32_t g = bigEndian32(body); g > 0)
                gamma = g / 100000.0;
        } else if (type == "cHRM" && length == 32) {
            primaries = chromaticities(body);
        }
        at += 12 + length;
    }
    if (icc.size() >= 128) {
        out.kind = ColourSource::Kind::Icc;
        out.icc = std::move(icc);
    } else if (!srgb && gamma) {
        out.kind = ColourSource::Kind::Gamma;
        out.gamma = *gamma;
        out.primaries = primaries;
    }
    return out;
}

}  // namespace kelvora::photo
