#pragma once

#include "platform/msgbox/MessageBox.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kelvora::bitmap::testing {

using Bytes = std::vector<std::uint8_t>;

using ShownMessage = ::kelvora::testing::ShownMessage;
using RecordingMessageBox = ::kelvora::testing::ScriptedMessageBox;

// Header values of a BMP file made by a test, written little-endian field by field.
struct BmpLayout {
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::int16_t bitCount = 24;
    std::int32_t compression = 0;
    std::int32_t sizeImage = 24;
    std::int32_t offBits = 54;
    std::int32_t clrUsed = 0;
    std::int32_t clrImportant = 0;
    std::int32_t xppm = 2835;
    std::int32_t yppm = 3780;
    std::int16_t planes = 1;
    std::int32_t infoSize = 40;
    std::int32_t fileSize = -1;        // -1: offBits + sizeImage
    std::int32_t storedPixels = -1;    // pixel bytes really stored; -1: sizeImage

    std::int32_t bfSize() const
    {
        return fileSize >= 0 ? fileSize
                             : static_cast<std::int32_t>(static_cast<std::uint32_t>(offBits) +
                                                         static_cast<std::uint32_t>(sizeImage));
    }
};

inline void put16(Bytes& out, std::int32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void put32(Bytes& out, std::int32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> shift));
}

inline Bytes infoHeaderBytes(const BmpLayout& layout)
{
    Bytes out;
    put32(out, layout.infoSize);
    put32(out, layout.width);
    put32(out, layout.height);
    put16(out, layout.planes);
    put16(out, layout.bitCount);
    put32(out, layout.compression);
    put32(out, layout.sizeImage);
    put32(out, layout.xppm);
    put32(out, layout.yppm);
    put32(out, layout.clrUsed);
    put32(out, layout.clrImportant);
    return out;
}

// The whole file: headers, then bytes 54..offBits as a recognisable pattern (colour table,
// masks), then the stored pixels as another pattern.
inline Bytes bmpFile(const BmpLayout& layout, std::uint8_t seed = 1)
{
    Bytes out{'B', 'M'};
    put32(out, layout.bfSize());
    put16(out, 0);
    put16(out, 0);
    put32(out, layout.offBits);
    const Bytes info = infoHeaderBytes(layout);
    out.insert(out.end(), info.begin(), info.end());
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

// A fresh folder per test, removed afterwards.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvora-bitmap-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

}  // namespace kelvora::bitmap::testing
