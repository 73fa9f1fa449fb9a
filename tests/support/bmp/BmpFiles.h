#pragma once

// Builds BMP files for tests: uncompressed, 8 (with a 256-entry grey palette), 24 or 32 bits,
// bottom-up (positive height) or top-down (negative height), pixels from a seed.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvora::testing {

struct BmpLayout {
    std::int32_t width = 4;
    std::int32_t height = 3;
    int bitCount = 24;
    std::uint32_t seed = 1;
};

[[nodiscard]] std::uint32_t bmpStride(const BmpLayout& layout);
[[nodiscard]] std::vector<std::uint8_t> bmpPixels(const BmpLayout& layout);  // the pixel block as stored
[[nodiscard]] std::vector<std::uint8_t> makeBmp(const BmpLayout& layout);
void writeBmp(const std::filesystem::path& path, const BmpLayout& layout);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh, empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

}  // namespace kelvora::testing
