#pragma once

#include "platform/msgbox/MessageBox.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kelvora::testsupport {

using Bytes = std::vector<std::uint8_t>;

// The 40-byte information header of the layout, its fields as they are.
inline Bytes infoHeaderBytes(const BmpLayout& layout)
{
    const auto info = binary::infoHeaderBytes(infoHeaderOf(layout));
    return Bytes(info.begin(), info.end());
}

// The whole file: headers, then bytes 54..offBits as a recognisable pattern (colour table,
// masks), then the stored pixels as another pattern.
inline Bytes bmpFile(const BmpLayout& layout)
{
    const auto seed = static_cast<std::uint8_t>(layout.seed);
    Bytes out = bmpHeaders(layout);
    for (std::int32_t i = 54; i < layout.offBits; ++i)
        out.push_back(static_cast<std::uint8_t>(i * 7 + seed));
    const std::int32_t stored = layout.storedPixels >= 0 ? layout.storedPixels : layout.sizeImage;
    for (std::int32_t i = 0; i < stored; ++i)
        out.push_back(static_cast<std::uint8_t>(i * 13 + seed * 31 + 1));
    return out;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kelvora::testsupport
