#include "photo/Orientation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kelvora::photo {
namespace {

// A JPEG's first segments: an EXIF block whose IFD0 holds the Orientation `value`, in the
// byte order given, then the start of the picture data.
std::vector<std::uint8_t> jpegWithOrientation(int value, bool bigEndian)
{
    std::vector<std::uint8_t> tiff = bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8}
                                               : std::vector<std::uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&](int v) {
        if (bigEndian)
            tiff.insert(tiff.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
        else
            tiff.insert(tiff.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
    };
    const auto u32 = [&](int v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    u16(2);  // two entries: an unrelated one first
    u16(0x010F), u16(2), u32(4), u32(0x6E6F6E00);
    u16(0x0112), u16(3), u32(1), u16(value), u16(0);
    u32(0);
    std::vector<std::uint8_t> file{0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0};  // an APP0 before it
    const std::size_t length = 2 + 6 + tiff.size();
    file.insert(file.end(), {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    file.insert(file.end(), {'E', 'x', 'i', 'f', 0, 0});
    file.insert(file.end(), tiff.begin(), tiff.end());
    file.insert(file.end(), {0xFF, 0xDA, 0, 2});
    return file;
}

TEST(OrientationTest, ReadsEveryValueInEitherByteOrder)
{
    for (int value = 1; value <= 8; ++value) {
        EXPECT_EQ(jpegOrientation(jpegWithOrientation(value, false)), static_cast<Orientation>(value));
        EXPECT_EQ(jpegOrientation(jpegWithOrientation(value, true)), static_cast<Orientation>(value));
    }
    // Values outside 1 to 8, a block cut short, and no block at all read as upright.
    EXPECT_EQ(jpegOrientation(jpegWithOrientation(9, false)), Orientation::Upright);
    EXPECT_EQ(jpegOrientation(jpegWithOrientation(0, true)), Orientation::Upright);
    std::vector<std::uint8_t> cut = jpegWithOrientation(6, false);
    cut.resize(30);
    EXPECT_EQ(jpegOrientation(cut), Orientation::Upright);
    EXPECT_EQ(jpegOrientation(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xDA, 0, 2}), Orientation::Upright);
}

// The stored picture 3 x 2:  a b c / d e f. What a viewer shows for each orientation, by the
// EXIF definitions (the 0th row and column are the visual ...).
TEST(OrientationTest, MapsStoredPixelsWhereViewersShowThem)
{
    const char stored[2][4] = {"abc", "def"};
    const std::vector<std::vector<const char*>> upright = {
        {"abc", "def"},      // 1
        {"cba", "fed"},      // 2: mirrored
        {"fed", "cba"},      // 3: 180°
        {"def", "abc"},      // 4: mirrored top to bottom
        {"ad", "be", "cf"},  // 5: transposed
        {"da", "eb", "fc"},  // 6: 90° clockwise
        {"fc", "eb", "da"},  // 7: transversed
        {"cf", "be", "ad"},  // 8: 270° clockwise
    };
    for (int o = 1; o <= 8; ++o) {
        const auto orientation = static_cast<Orientation>(o);
        const Sides sides = uprightSides(orientation, 3, 2);
        std::vector<std::string> shown(static_cast<std::size_t>(sides.height), std::string(sides.width, '?'));
        const PixelMap m = uprightMap(orientation, 3, 2);
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 3; ++i)
                shown[m.b0 + m.bi * i + m.bj * j][m.a0 + m.ai * i + m.aj * j] = stored[j][i];
        for (std::size_t row = 0; row < shown.size(); ++row)
            EXPECT_EQ(shown[row], upright[o - 1][row]) << "orientation " << o << ", row " << row;
        // The upright picture's left column, as a window, is where those pixels are stored.
        const Window w = storedWindow(orientation, 3, 2, {0, 0, 1, static_cast<double>(sides.height)});
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 3; ++i) {
                const bool inside = i >= w.x && i + 1 <= w.x + w.width && j >= w.y && j + 1 <= w.y + w.height;
                EXPECT_EQ(inside, m.a0 + m.ai * i + m.aj * j == 0) << "orientation " << o;
            }
    }
}

}  // namespace
}  // namespace kelvora::photo
