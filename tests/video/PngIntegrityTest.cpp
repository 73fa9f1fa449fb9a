// A PNG's bytes checked before they are stored as a frame: a chunk failing its CRC, data that
// does not inflate or ends before the rows, a row with no known filter, each named; a sound
// file passes, whichever way it is inflated (whole, or through a window when it is large).
#include "video/PngIntegrity.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <vector>

namespace kelvora::video {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(Bytes& png, const char* type, const Bytes& data)
{
    put32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, static_cast<std::uint32_t>(crc32(0, png.data() + typeAt, static_cast<uInt>(4 + data.size()))));
}

// A grey 8-bit PNG of `width` x `height` whose rows `row` fills (filter byte first), its data
// in IDAT chunks of at most `idatBytes`.
Bytes greyPng(std::uint32_t width, std::uint32_t height, const std::function<void(Bytes&, std::uint32_t)>& row,
              std::size_t idatBytes = 1 << 20)
{
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
    chunk(png, "IHDR", ihdr);
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 1), Z_OK);
    Bytes deflated(64 << 10);
    Bytes pending;
    Bytes line;
    for (std::uint32_t y = 0; y <= height; ++y) {
        line.clear();
        if (y < height)
            row(line, y);
        z.next_in = line.data();
        z.avail_in = static_cast<uInt>(line.size());
        int status = Z_OK;
        do {
            z.next_out = deflated.data();
            z.avail_out = static_cast<uInt>(deflated.size());
            status = deflate(&z, y == height ? Z_FINISH : Z_NO_FLUSH);
            pending.insert(pending.end(), deflated.begin(), deflated.end() - z.avail_out);
        } while (z.avail_out == 0 || (y == height && status != Z_STREAM_END));
    }
    deflateEnd(&z);
    for (std::size_t at = 0; at < pending.size(); at += idatBytes)
        chunk(png, "IDAT",
              Bytes(pending.begin() + static_cast<std::ptrdiff_t>(at),
                    pending.begin() + static_cast<std::ptrdiff_t>(std::min(pending.size(), at + idatBytes))));
    chunk(png, "IEND", {});
    return png;
}

bitmap::PictureHeader headerOf(std::int32_t width, std::int32_t height)
{
    bitmap::PictureHeader header;
    header.outcome = bitmap::PictureHeader::Outcome::Read;
    header.type = bitmap::PictureType::Png;
    header.width = width;
    header.height = height;
    header.png.colour = bitmap::PngColour::Grey;
    header.png.bitDepth = 8;
    return header;
}

void gradient(Bytes& line, std::uint32_t y, std::uint32_t width)
{
    line.push_back(y % 5);  // every filter in turn
    for (std::uint32_t x = 0; x < width; ++x)
        line.push_back(static_cast<std::uint8_t>(x * 3 + y));
}

// Where the IDAT data begins: the signature, IHDR (25 bytes), then the chunk's length and type.
constexpr std::size_t kFirstIdatData = 8 + 25 + 8;

void fixCrcAt(Bytes& png, std::size_t chunkAt)
{
    const std::uint32_t length = std::uint32_t{png[chunkAt]} << 24 | std::uint32_t{png[chunkAt + 1]} << 16 |
                                 std::uint32_t{png[chunkAt + 2]} << 8 | png[chunkAt + 3];
    const auto crc = static_cast<std::uint32_t>(crc32(0, png.data() + chunkAt + 4, 4 + length));
    for (int i = 0; i < 4; ++i)
        png[chunkAt + 8 + length + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

TEST(PngIntegrityTest, NamesTheFirstDamageADecoderWouldMeet)
{
    const auto rows = [](Bytes& line, std::uint32_t y) { gradient(line, y, 61); };
    const Bytes sound = greyPng(61, 40, rows, 200);  // several IDAT chunks, joined before inflating
    EXPECT_EQ(pngDamage(sound, headerOf(61, 40)), "");

    Bytes badCrc = sound;
    badCrc[kFirstIdatData + 5] ^= 0x40;
    EXPECT_EQ(pngDamage(badCrc, headerOf(61, 40)), "il blocco IDAT all'offset 33 è danneggiato: il suo CRC non torna");

    Bytes badData = badCrc;  // the same byte changed, its chunk's CRC made to match
    fixCrcAt(badData, 33);
    EXPECT_EQ(pngDamage(badData, headerOf(61, 40)),
              "i dati compressi dell'immagine (IDAT) sono danneggiati: non si decomprimono");

    // More rows than the data holds: a header that claims 41 rows of 40.
    EXPECT_EQ(pngDamage(sound, headerOf(61, 41)),
              "i dati dell'immagine (IDAT) finiscono prima delle sue righe di pixel");

    const Bytes badFilter = greyPng(61, 40, [](Bytes& line, std::uint32_t y) {
        gradient(line, y, 61);
        if (y == 17)
            line[0] = 9;
    });
    EXPECT_EQ(pngDamage(badFilter, headerOf(61, 40)),
              "una riga di pixel ha il filtro PNG 9, che non esiste: i dati dell'immagine sono danneggiati");

    Bytes cut = sound;
    cut.resize(cut.size() - 20);
    EXPECT_NE(pngDamage(cut, headerOf(61, 40)).find("va oltre la fine del file"), std::string::npos);
}

// Beyond kWholeInflateBytes of rows the data goes through a window: the same verdicts.
TEST(PngIntegrityTest, ALargePictureIsInflatedThroughAWindowWithTheSameVerdicts)
{
    constexpr std::uint32_t kWidth = 16000;
    const std::uint32_t height = static_cast<std::uint32_t>(kWholeInflateBytes / (kWidth + 1)) + 8;
    const auto zeros = [](std::uint32_t bad) {
        return [bad](Bytes& line, std::uint32_t y) {
            line.assign(kWidth + 1, 0);
            if (y == bad)
                line[0] = 7;
        };
    };
    EXPECT_EQ(pngDamage(greyPng(kWidth, height, zeros(height)), headerOf(kWidth, height)), "");
    EXPECT_EQ(pngDamage(greyPng(kWidth, height, zeros(height - 3)), headerOf(kWidth, height)),
              "una riga di pixel ha il filtro PNG 7, che non esiste: i dati dell'immagine sono danneggiati");
    EXPECT_EQ(pngDamage(greyPng(kWidth, height, zeros(height)), headerOf(kWidth, height + 1)),
              "i dati dell'immagine (IDAT) finiscono prima delle sue righe di pixel");
}

}  // namespace
}  // namespace kelvora::video
