#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"

#include "tests/bitmap/BitmapTestSupport.h"

#include "tests/support/bmp/Corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

namespace kelvora::bitmap {
namespace {

using testsupport::Bytes;

using kelvora::testsupport::corpusFiles;
using kelvora::testsupport::kCorpus;

std::int64_t le(const Bytes& file, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value =
            value << 8 | (at + static_cast<std::size_t>(i) < file.size() ? file[at + static_cast<std::size_t>(i)] : 0);
    return width == 2 ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(value);
}

bool isOs2(const Bytes& file) { return le(file, 14, 4) == 12; }

// The information header's fields as the picture's: an OS/2 file's 16-bit fields at their
// own offsets; at offset 34, the image size.
std::int64_t field(const Bytes& file, std::size_t at, int width)
{
    if (!isOs2(file))
        return le(file, at, width);
    switch (at) {
    case 18:
        return le(file, 18, 2) & 0xFFFF;
    case 22:
        return le(file, 20, 2) & 0xFFFF;
    case 26:
        return le(file, 22, 2);
    case 28:
        return le(file, 24, 2);
    default:
        return 0;
    }
}

// The pixel block's size: the stored image size, or for an uncompressed picture stored with
// 0, the size of its rows.
std::int64_t imageSize(const Bytes& file)
{
    const std::int64_t stored = field(file, 34, 4);
    const std::int64_t compression = field(file, 30, 4);
    if (stored != 0 || (compression != 0 && compression != 3))
        return stored;
    const std::int64_t stride =
        (std::max<std::int64_t>(field(file, 18, 4), 0) * std::max<std::int64_t>(field(file, 28, 2), 0) + 31) / 32 * 4;
    return stride * std::abs(field(file, 22, 4));
}

// Whether the file's own header sizes both blocks, read independently of the object: the
// pixel block must also be no more than about twice what the file stores or the rows need,
// and the bitmap-information block about twice what the file stores of it.
bool headerSizesBlocks(const Bytes& file)
{
    const std::int64_t offBits = le(file, 10, 4);
    const auto length = static_cast<std::int64_t>(file.size());
    const std::int64_t sizeImage = imageSize(file);
    const std::int64_t stored = std::max<std::int64_t>(static_cast<std::int64_t>(file.size()) - offBits, 0);
    const std::int64_t stride =
        (std::max<std::int64_t>(field(file, 18, 4), 0) * std::max<std::int64_t>(field(file, 28, 2), 0) + 31) / 32 * 4;
    const std::int64_t rows =
        std::min<std::int64_t>(stride * std::abs(field(file, 22, 4)), std::numeric_limits<std::int32_t>::max());
    return file.size() >= 2 && file[0] == 'B' && file[1] == 'M' && sizeImage >= 1 && offBits > 14 &&
           offBits + sizeImage <= std::numeric_limits<std::int32_t>::max() &&
           sizeImage <= 2 * std::max(stored, rows) + 64 * 1024 &&
           offBits - 14 <= 2 * std::max<std::int64_t>(length - 14, 0) + 64 * 1024;
}

// Whether the object holds the pixel block: not when the file holds far less of it than claimed.
bool holdsPixels(const Bytes& file)
{
    const std::int64_t stored = std::max<std::int64_t>(static_cast<std::int64_t>(file.size()) - le(file, 10, 4), 0);
    return imageSize(file) <= 2 * stored + 64 * 1024;
}

void expectBlocksMatch(const cDIB& dib, const Bytes& file)
{
    const auto offBits = static_cast<std::size_t>(dib.BitOffset());
    const auto sizeImage = static_cast<std::size_t>(dib.SizeImage());
    ASSERT_EQ(static_cast<std::size_t>(dib.SizeBitmapInfo()), offBits - 14);
    Bytes info(file.begin() + 14, file.begin() + static_cast<std::ptrdiff_t>(std::min(offBits, file.size())));
    info.resize(offBits - 14, 0);
    EXPECT_EQ(0, std::memcmp(dib.PointerToBitmapInfo(), info.data(), info.size()));
    const std::size_t stored = file.size() > offBits ? std::min(file.size() - offBits, sizeImage) : 0;
    EXPECT_EQ(dib.storedBits(), stored);
    ASSERT_EQ(dib.bits().empty(), !holdsPixels(file));
    if (dib.bits().empty())
        return;
    if (stored > 0) {
        EXPECT_EQ(0, std::memcmp(dib.PointerToBits(), file.data() + offBits, stored));
    }
    // The part the file lacks can be most of a block of 64 KiB and more: look at one byte a page.
    for (std::size_t at = stored; at < sizeImage; at += 4093) {
        ASSERT_EQ(dib.PointerToBits()[at], 0) << "at " << at;
    }
    if (stored < sizeImage) {
        EXPECT_EQ(dib.PointerToBits()[sizeImage - 1], 0);
    }
}

class CorpusFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusFile, LoadsWithItsOwnHeaderOrIsRefusedWithAMessage)
{
    const std::filesystem::path path = kCorpus / GetParam();
    const Bytes file = testsupport::readFile(path);
    testsupport::ScriptedMessageBox box;
    cDIB dib(box);

    const bool loaded = dib.CreateFromFile(path.string());
    ASSERT_EQ(loaded, headerSizesBlocks(file));
    if (!loaded) {
        ASSERT_EQ(box.shown.size(), 1u);
        const std::string named = "Il file non è un formato bitmap supportato:\r\n" + path.string();
        EXPECT_TRUE(box.shown[0].text == named || box.shown[0].text.starts_with(named + "\r\nMotivo: "))
            << box.shown[0].text;
        return;
    }
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(dib.FileType(), le(file, 0, 2));
    EXPECT_EQ(dib.SizeFileHeader(), le(file, 2, 4));
    EXPECT_EQ(dib.BitOffset(), le(file, 10, 4));
    EXPECT_EQ(dib.SizeInfoHeader(), le(file, 14, 4));
    EXPECT_EQ(dib.Width(), field(file, 18, 4));
    EXPECT_EQ(dib.Height(), field(file, 22, 4));
    EXPECT_EQ(dib.Planes(), field(file, 26, 2));
    EXPECT_EQ(dib.BitCount(), field(file, 28, 2));
    EXPECT_EQ(dib.Compression(), field(file, 30, 4));
    EXPECT_EQ(dib.SizeImage(), imageSize(file));
    EXPECT_EQ(dib.XPPM(), field(file, 38, 4));
    EXPECT_EQ(dib.YPPM(), field(file, 42, 4));
    EXPECT_EQ(dib.ClrUsed(), field(file, 46, 4));
    EXPECT_EQ(dib.ClrImportant(), field(file, 50, 4));
    expectBlocksMatch(dib, file);
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, CorpusFile, ::testing::ValuesIn(corpusFiles()), [](const auto& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

// Admission reads only the headers, the colour table and the file's length (and run-length
// data): it must decide every file exactly as a load of the whole file does.
TEST_P(CorpusFile, HeadersOnlyDecideAsTheWholeFileDoes)
{
    const std::string path = (kCorpus / GetParam()).string();
    testsupport::ScriptedMessageBox wholeBox;
    testsupport::ScriptedMessageBox headersBox;
    cDIB whole(wholeBox);
    cDIB headers(headersBox);
    const bool loaded = whole.CreateFromFile(path);
    ASSERT_EQ(headers.CreateHeadersFromFile(path), loaded);
    ASSERT_EQ(headersBox.shown.size(), wholeBox.shown.size());
    for (std::size_t i = 0; i < wholeBox.shown.size(); ++i)
        EXPECT_EQ(headersBox.shown[i].text, wholeBox.shown[i].text);
    if (!loaded)
        return;
    const FramePlan a = planFrame(whole);
    const FramePlan b = planFrame(headers);
    EXPECT_EQ(b.form, a.form);
    EXPECT_EQ(b.reason, a.reason);
    EXPECT_EQ(b.shape, a.shape);
    EXPECT_EQ(b.format, a.format);
    EXPECT_EQ(b.palette, a.palette);
    EXPECT_EQ(headers.SizeImage(), whole.SizeImage());
    EXPECT_EQ(headers.storedBits(), whole.storedBits());
}

TEST(Corpus, IsPresentWithAllItsFolders)
{
    const auto files = corpusFiles();
    EXPECT_GE(files.size(), 90u);
    for (const char* folder : {"g/", "q/", "b/"})
        EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const std::string& f) {
            return f.starts_with(folder);
        })) << folder;
}

}  // namespace
}  // namespace kelvora::bitmap
