#include "bitmap/cDIB.h"

#include "tests/bitmap/BitmapTestSupport.h"
#include "tests/support/fs/NonRegularFiles.h"
#include "tests/support/fs/ScriptedFileOpener.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>

namespace kelvora::bitmap {
namespace {

using ::kelvora::testsupport::ScriptedFileOpener;
using testsupport::BmpLayout;
using testsupport::Bytes;
using testsupport::ScriptedMessageBox;
using testsupport::TempDir;

const std::string kNotFound = "Il file non esiste:\r\n";
const std::string kLocked = "Il file è bloccato - non posso accedere:\r\n";
const std::string kUnsupported = "Il file non è un formato bitmap supportato:\r\n";

Bytes blockOf(const std::uint8_t* data, std::int32_t size) { return Bytes(data, data + size); }

// What a load must expose: the file's own bytes, the pixels padded with zeros.
void expectHolds(const cDIB& dib, const BmpLayout& layout, const Bytes& file)
{
    EXPECT_EQ(dib.FileType(), 19778);
    EXPECT_EQ(dib.SizeFileHeader(), layout.bfSize());
    EXPECT_EQ(dib.BitOffset(), layout.offBits);
    EXPECT_EQ(dib.SizeInfoHeader(), layout.infoSize);
    EXPECT_EQ(dib.Width(), layout.width);
    EXPECT_EQ(dib.Height(), layout.height);
    EXPECT_EQ(dib.Planes(), layout.planes);
    EXPECT_EQ(dib.BitCount(), layout.bitCount);
    EXPECT_EQ(dib.Compression(), layout.compression);
    EXPECT_EQ(dib.SizeImage(), layout.sizeImage);
    EXPECT_EQ(dib.XPPM(), layout.xppm);
    EXPECT_EQ(dib.YPPM(), layout.yppm);
    EXPECT_EQ(dib.ClrUsed(), layout.clrUsed);
    EXPECT_EQ(dib.ClrImportant(), layout.clrImportant);
    ASSERT_EQ(dib.SizeBitmapInfo(), layout.offBits - 14);
    const auto offBits = static_cast<std::size_t>(layout.offBits);
    Bytes info(file.begin() + 14, file.begin() + static_cast<std::ptrdiff_t>(std::min(offBits, file.size())));
    info.resize(offBits - 14, 0);
    EXPECT_EQ(blockOf(dib.PointerToBitmapInfo(), dib.SizeBitmapInfo()), info);
    Bytes pixels(file.begin() + static_cast<std::ptrdiff_t>(std::min(offBits, file.size())), file.end());
    pixels.resize(static_cast<std::size_t>(layout.sizeImage), 0);
    EXPECT_EQ(blockOf(dib.PointerToBits(), dib.SizeImage()), pixels);
}

struct Variant {
    const char* name;
    BmpLayout layout;
    std::size_t cutAt = 0;  // file length when the test cuts it short
};

class LoadsVariant : public ::testing::TestWithParam<Variant> {};

TEST_P(LoadsVariant, ExposesHeadersAndBlocksAsStored)
{
    TempDir folder;
    const BmpLayout& layout = GetParam().layout;
    Bytes file = testsupport::bmpFile(layout);
    if (GetParam().cutAt > 0)
        file.resize(GetParam().cutAt);
    testsupport::writeFile(folder / "frame.bmp", file);
    ScriptedMessageBox box;
    cDIB dib(box);

    ASSERT_TRUE(dib.CreateFromFile((folder / "frame.bmp").string()));
    EXPECT_TRUE(box.shown.empty());
    expectHolds(dib, layout, file);
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, LoadsVariant,
    ::testing::Values(
        Variant{"Rgb24BottomUp", {.width = 5, .height = 3, .sizeImage = 48}},
        Variant{"Rgb24TopDown", {.width = 4, .height = -2, .sizeImage = 24}},
        Variant{"Pal8WithFullColourTable",
                {.width = 4, .height = 4, .bitCount = 8, .sizeImage = 16, .offBits = 14 + 40 + 1024, .clrUsed = 256}},
        Variant{"Rgb32BitFields",
                {.width = 2, .height = 2, .bitCount = 32, .compression = 3, .sizeImage = 16, .offBits = 54 + 12}},
        Variant{"Rle8",
                {.width = 8,
                 .height = 2,
                 .bitCount = 8,
                 .compression = 1,
                 .sizeImage = 10,
                 .offBits = 54 + 8,
                 .clrUsed = 2}},
        Variant{"ClaimsMorePixelsThanStored", {.width = 4, .height = 4, .sizeImage = 48, .storedPixels = 5}},
        Variant{"CutInsideInfoHeaderAfterImageSize", {.sizeImage = 24, .xppm = 0, .yppm = 0}, 38},
        Variant{"StoresNoPixelsAtAll", {.sizeImage = 24, .storedPixels = 0}},
        Variant{"OddHeaderSizeAndPlanesTakenAsTheyCome",
                {.bitCount = 7, .sizeImage = 3, .planes = -2, .infoSize = 16, .fileSize = 1}}),
    [](const auto& info) { return std::string(info.param.name); });

class cDIBTest : public ::testing::Test {
protected:
    std::string save(const std::string& name, const Bytes& bytes)
    {
        testsupport::writeFile(m_folder / name, bytes);
        return (m_folder / name).string();
    }

    TempDir m_folder;
    ScriptedMessageBox m_box;
};

TEST_F(cDIBTest, NewObjectHasZeroFields)
{
    cDIB dib(m_box);
    EXPECT_EQ(dib.FileType(), 0);
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.SizeImage(), 0);
    EXPECT_EQ(dib.BitOffset(), 0);
}

// Uncompressed bitmaps may store 0 as their image size (common writers do): the size is
// their rows'. OS/2 bitmaps describe the same picture with 16-bit fields. Either way the
// information block is the file's own bytes.
TEST_F(cDIBTest, ZeroImageSizeAndOs2HeadersDescribeThePictureTheFileHolds)
{
    cDIB dib(m_box);
    const Bytes zero = testsupport::bmpFile(
        {.width = 5, .height = -3, .bitCount = 24, .sizeImage = 0, .fileSize = 54 + 48, .storedPixels = 48});
    ASSERT_TRUE(dib.CreateFromFile(save("zero.bmp", zero)));
    EXPECT_EQ(dib.SizeImage(), 48);
    EXPECT_EQ(dib.storedBits(), 48u);
    EXPECT_EQ(0, std::memcmp(dib.PointerToBits(), zero.data() + 54, 48));

    Bytes os2(14 + 12 + 6 + 8, 0);
    const Bytes head{'B', 'M', 40, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0, 12, 0,
                     0,   0,   3,  0, 2, 0, 1, 0, 8, 0, 9,  8, 7, 6, 5,  4};
    std::copy(head.begin(), head.end(), os2.begin());
    ASSERT_TRUE(dib.CreateFromFile(save("os2.bmp", os2)));
    EXPECT_EQ(dib.SizeInfoHeader(), 12);
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.Planes(), 1);
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.SizeImage(), 8);
    ASSERT_EQ(dib.SizeBitmapInfo(), 18);
    EXPECT_EQ(0, std::memcmp(dib.PointerToBitmapInfo(), os2.data() + 14, 18));
    EXPECT_EQ(m_box.shown.size(), 0u);
}

TEST_F(cDIBTest, BlockAccessorsBeforeALoadAreACallersFault)
{
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    cDIB dib(m_box);
    EXPECT_DEBUG_DEATH(EXPECT_EQ(dib.PointerToBits(), nullptr), "before a successful load");
    EXPECT_DEBUG_DEATH(EXPECT_EQ(dib.PointerToBitmapInfo(), nullptr), "before a successful load");
    EXPECT_DEBUG_DEATH(EXPECT_EQ(dib.SizeBitmapInfo(), 0), "before a successful load");
}

TEST_F(cDIBTest, SecondLoadReplacesEveryFieldAndBothBlocks)
{
    const BmpLayout first{.width = 4, .height = 4, .bitCount = 8, .sizeImage = 16, .offBits = 1078, .clrUsed = 256};
    const BmpLayout second{.width = 3, .height = -1, .seed = 9, .sizeImage = 12, .xppm = 1, .yppm = 2};
    const Bytes secondFile = testsupport::bmpFile(second);
    cDIB dib(m_box);

    ASSERT_TRUE(dib.CreateFromFile(save("a.bmp", testsupport::bmpFile(first))));
    ASSERT_TRUE(dib.CreateFromFile(save("b.bmp", secondFile)));
    expectHolds(dib, second, secondFile);
}

// Frames of one size reuse storage: the tail a short frame lacks must not show the pixels
// of a frame loaded before.
TEST_F(cDIBTest, ReloadOfSameSizeZeroesTheTailAShortFileLacks)
{
    const BmpLayout full{.width = 8, .height = 8, .sizeImage = 192};
    BmpLayout shortFrame = full;
    shortFrame.storedPixels = 50;
    shortFrame.seed = 5;
    const Bytes shortFile = testsupport::bmpFile(shortFrame);
    cDIB dib(m_box);

    for (std::uint32_t frame = 0; frame < 3; ++frame) {
        BmpLayout numbered = full;
        numbered.seed = frame;
        ASSERT_TRUE(dib.CreateFromFile(save("full.bmp", testsupport::bmpFile(numbered))));
    }
    ASSERT_TRUE(dib.CreateFromFile(save("short.bmp", shortFile)));
    expectHolds(dib, shortFrame, shortFile);
    ASSERT_TRUE(dib.CreateFromFile(save("short.bmp", shortFile)));
    expectHolds(dib, shortFrame, shortFile);
}

struct Refusal {
    const char* name;
    Bytes file;
    std::string message;  // text before the path
    int style;
    std::string reason = {};  // the line after the path, "Motivo: ..."; none when empty
};

Bytes withHeader(BmpLayout layout) { return testsupport::bmpFile(layout); }

Bytes truncated(Bytes bytes, std::size_t length)
{
    bytes.resize(length);
    return bytes;
}

// A header pointing far past what the file stores.
Bytes withOffBits(Bytes bytes, std::int32_t offBits)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[10 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(offBits) >> (8 * i));
    return bytes;
}

constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

class RefusesFile : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusesFile, KeepsThePreviousImageAndSaysWhy)
{
    TempDir folder;
    const BmpLayout previous{.width = 2, .height = 2, .bitCount = 32, .sizeImage = 16};
    const Bytes previousFile = testsupport::bmpFile(previous);
    testsupport::writeFile(folder / "good.bmp", previousFile);
    testsupport::writeFile(folder / "bad.bmp", GetParam().file);
    ScriptedMessageBox box;
    cDIB dib(box);
    ASSERT_TRUE(dib.CreateFromFile((folder / "good.bmp").string()));
    const std::uint8_t* bits = dib.PointerToBits();
    const std::uint8_t* info = dib.PointerToBitmapInfo();

    const std::string path = (folder / "bad.bmp").string();
    EXPECT_FALSE(dib.CreateFromFile(path));

    ASSERT_EQ(box.shown.size(), 1u);
    const std::string& reason = GetParam().reason;
    EXPECT_EQ(box.shown[0].text, GetParam().message + path + (reason.empty() ? "" : "\r\nMotivo: " + reason));
    EXPECT_EQ(box.shown[0].style, GetParam().style);
    EXPECT_EQ(box.shown[0].title, "KELVORA MAKER");
    EXPECT_EQ(dib.PointerToBits(), bits);
    EXPECT_EQ(dib.PointerToBitmapInfo(), info);
    EXPECT_EQ(dib.SizeBitmapInfo(), 40);
    EXPECT_EQ(blockOf(bits, 16), Bytes(previousFile.begin() + 54, previousFile.end()));
    EXPECT_EQ(dib.Width(), 2);
    EXPECT_EQ(dib.BitCount(), 32);
    EXPECT_EQ(dib.SizeImage(), 16);
    // The file header is the rejected file's, bytes it lacks as zero.
    const Bytes head = truncated(GetParam().file, 14);
    EXPECT_EQ(dib.FileType(), head[0] | head[1] << 8);
    EXPECT_EQ(dib.BitOffset(), head[10] | head[11] << 8 | head[12] << 16 | head[13] << 24);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RefusesFile,
    ::testing::Values(
        Refusal{"NoSignature", {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}, kUnsupported, 64},
        Refusal{"BitmapArray",
                {'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0},
                kUnsupported,
                64,
                "è un insieme di bitmap OS/2 (bitmap array, «BA»), con un'immagine per ogni tipo di schermo: i lettori "
                "video leggono un bitmap solo, che cominci con «BM»"},
        Refusal{"LowerCaseSignature", {'b', 'm', 54, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}, kUnsupported, 64},
        Refusal{"EmptyFile", {}, kUnsupported, 64}, Refusal{"OneByte", {'B'}, kUnsupported, 64},
        Refusal{"FileHeaderOnly", truncated(withHeader({}), 14), kUnsupported, 64,
                "il file ha solo 14 byte e finisce dentro le sue intestazioni"},
        Refusal{"CutBeforeHeight", truncated(withHeader({}), 22), kUnsupported, 64,
                "il file ha solo 22 byte e finisce dentro le sue intestazioni"},
        Refusal{"ZeroImageSizeOfRunLengthData", withHeader({.compression = 1, .sizeImage = 0}), kUnsupported, 64,
                "l'intestazione dà 0 byte ai dati compressi"},
        Refusal{"ZeroWidthWithZeroImageSize", withHeader({.width = 0, .sizeImage = 0}), kUnsupported, 64,
                "l'immagine di 0×2 pixel a 24 bit non ha pixel"},
        Refusal{"NegativeImageSize", withHeader({.sizeImage = -24}), kUnsupported, 64,
                "i pixel (4294967272 byte dal byte 54) andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        Refusal{"OffsetInsideFileHeader", withHeader({.offBits = 14}), kUnsupported, 64,
                "i pixel comincerebbero al byte 14, dentro l'intestazione del file"},
        Refusal{"ZeroOffset", withHeader({.offBits = 0}), kUnsupported, 64,
                "i pixel comincerebbero al byte 0, dentro l'intestazione del file"},
        Refusal{"NegativeOffset", withHeader({.offBits = -1}), kUnsupported, 64,
                "i pixel (24 byte dal byte 4294967295) andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        Refusal{"OffsetAtSigned32Limit", withOffBits(withHeader({}), kMax32), kUnsupported, 64,
                "i pixel (24 byte dal byte 2147483647) andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        // The bitmap-information block would be a megabyte of zeros from a file of 78 bytes.
        Refusal{"OffsetFarPastTheEnd", withOffBits(withHeader({}), 1'000'000), kUnsupported, 64,
                "i pixel comincerebbero al byte 1000000, ben oltre la fine del file (78 byte)"},
        // Two gigabytes of pixels claimed by a small file with 4 x 2 pixels of 24 bits.
        Refusal{"PixelBlockFarBeyondFileAndRows", withHeader({.sizeImage = 2'000'000'000, .storedPixels = 0}),
                kUnsupported, 64,
                "l'intestazione dichiara 2000000000 byte di pixel, ben più di quanti ne occupano le righe (24) e ne "
                "contiene il file (0)"},
        Refusal{"PixelBlockEndsPastSigned32",
                truncated(withHeader({.sizeImage = kMax32 - 100, .offBits = 200, .storedPixels = 0}), 54), kUnsupported,
                64, "i pixel (2147483547 byte dal byte 200) andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        // Rows of an uncompressed picture stored with image size 0 that no file header can reach.
        Refusal{"RowsOfTheLargestHeight", withHeader({.width = 1, .height = kMax32, .sizeImage = 0}), kUnsupported, 64,
                "le righe di 1×2147483647 pixel a 24 bit andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        Refusal{"RowsOfAWidthOf2To30", withHeader({.width = 1 << 30, .sizeImage = 0}), kUnsupported, 64,
                "le righe di 1073741824×2 pixel a 24 bit andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        // Past a header of 16 bytes, the "image size" is colour table: the header is what is wrong.
        Refusal{"UnknownHeaderWithImplausibleSize",
                withHeader({.sizeImage = 2'000'000'000, .infoSize = 16, .storedPixels = 0}), kUnsupported, 64,
                "intestazione di 16 byte di un tipo sconosciuto"}),
    [](const auto& info) { return std::string(info.param.name); });

// A header may claim up to 2 GB of pixels from a file that holds none of them, stored size
// or rows alike: the file loads (its frame is incomplete) without memory for a block the
// file never held, and a later load of a real frame is whole again.
TEST_F(cDIBTest, AClaimFarBeyondTheFileLoadsWithoutItsPixelBlock)
{
    const BmpLayout stored{
        .width = 32768, .height = 21846, .sizeImage = kMax32 - 1000, .offBits = 1000, .storedPixels = 0};
    const BmpLayout rows{.width = 20000, .height = -20000, .sizeImage = 0, .storedPixels = 100};
    cDIB dib(m_box);
    ASSERT_TRUE(dib.CreateFromFile(save("real.bmp", testsupport::bmpFile({}))));
    for (const auto& [layout, size] : {std::pair{stored, kMax32 - 1000}, std::pair{rows, 20000 * 60000}}) {
        ASSERT_TRUE(dib.CreateFromFile(save("huge.bmp", testsupport::bmpFile(layout))));
        EXPECT_EQ(dib.SizeImage(), size);
        EXPECT_EQ(dib.SizeBitmapInfo(), layout.offBits - 14);
        EXPECT_TRUE(dib.bits().empty());
        EXPECT_EQ(dib.storedBits(), static_cast<std::size_t>(std::max(layout.storedPixels, 0)));
        EXPECT_TRUE(m_box.shown.empty());
    }
    const Bytes real = testsupport::bmpFile({.seed = 9});
    ASSERT_TRUE(dib.CreateFromFile(save("real.bmp", real)));
    EXPECT_EQ(blockOf(dib.PointerToBits(), dib.SizeImage()), Bytes(real.begin() + 54, real.end()));
}

struct Absence {
    const char* name;
    std::function<std::string(const TempDir&)> make;
};

class TreatsAsAbsent : public ::testing::TestWithParam<Absence> {};

TEST_P(TreatsAsAbsent, SaysTheFileDoesNotExist)
{
    TempDir folder;
    const std::string path = GetParam().make(folder);
    ScriptedMessageBox box;
    cDIB dib(box);

    EXPECT_FALSE(dib.CreateFromFile(path));
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, kNotFound + path);
    EXPECT_EQ(box.shown[0].style, 16);
    EXPECT_EQ(box.shown[0].title, "KELVORA MAKER");
    EXPECT_EQ(dib.FileType(), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, TreatsAsAbsent,
                         ::testing::Values(Absence{"MissingName",
                                                   [](const TempDir& f) { return (f / "nessuno.bmp").string(); }},
                                           Absence{"DanglingLink",
                                                   [](const TempDir& f) {
                                                       std::filesystem::create_symlink(f / "gone.bmp", f / "link.bmp");
                                                       return (f / "link.bmp").string();
                                                   }},
                                           Absence{"EmptyPath", [](const TempDir&) { return std::string(); }}),
                         [](const auto& info) { return std::string(info.param.name); });

class NotARegularFile : public ::testing::TestWithParam<::kelvora::testsupport::SpecialKind> {};

// A folder, a FIFO without a writer, a link to a device that never stops giving bytes:
// each exists, none is read or waited for, and the message says so.
TEST_P(NotARegularFile, SaysItExistsButIsNoRegularFileWithoutWaiting)
{
    TempDir folder;
    const std::filesystem::path path = folder / "frame.bmp";
    ASSERT_TRUE(::kelvora::testsupport::makeSpecial(GetParam(), path));
    ScriptedMessageBox box;
    cDIB dib(box);
    {
        const ::kelvora::testsupport::Watchdog watchdog("CreateFromFile on a special file");
        EXPECT_FALSE(dib.CreateFromFile(path.string()));
    }
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, "Il file esiste ma non è un file normale:\r\n" + path.string());
    EXPECT_EQ(box.shown[0].style, 16);
    EXPECT_EQ(box.shown[0].title, "KELVORA MAKER");
}

INSTANTIATE_TEST_SUITE_P(Paths, NotARegularFile,
                         ::testing::Values(::kelvora::testsupport::SpecialKind::Fifo,
                                           ::kelvora::testsupport::SpecialKind::Folder,
                                           ::kelvora::testsupport::SpecialKind::DeviceLink),
                         [](const auto& info) { return std::string(::kelvora::testsupport::nameOf(info.param)); });

// A regular file when listed that is a FIFO by the time it is opened.
TEST(cDIBOpen, AFifoSwappedInBeforeTheOpenIsRefusedWithoutWaiting)
{
    TempDir folder;
    testsupport::writeFile(folder / "frame.bmp", testsupport::bmpFile({}));
    ASSERT_EQ(::mkfifo((folder / "swap.fifo").c_str(), 0600), 0);

    ScriptedFileOpener opener([&folder](const std::filesystem::path& path, platform::OpenMode mode) {
        std::filesystem::rename(folder / "swap.fifo", path);
        return platform::systemFileOpener().open(path, mode);
    });
    ScriptedMessageBox box;
    cDIB dib(box, opener);
    const std::string path = (folder / "frame.bmp").string();
    {
        const ::kelvora::testsupport::Watchdog watchdog("CreateFromFile on a swapped-in FIFO");
        EXPECT_FALSE(dib.CreateFromFile(path));
    }
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, "Il file esiste ma non è un file normale:\r\n" + path);
}

class OpenFailure : public ::testing::TestWithParam<int> {};

TEST_P(OpenFailure, ShowsLockedForPermissionDeniedNotFoundForNoSuchPathAndThePlatformTextOtherwise)
{
    TempDir folder;
    testsupport::writeFile(folder / "frame.bmp", testsupport::bmpFile({}));
    const std::string path = (folder / "frame.bmp").string();
    ScriptedMessageBox box;
    auto opener = ScriptedFileOpener::failingWith(GetParam());
    cDIB dib(box, opener);

    EXPECT_FALSE(dib.CreateFromFile(path));
    ASSERT_EQ(box.shown.size(), 1u);
    const bool denied = GetParam() == EACCES || GetParam() == EPERM;
    const bool absent = GetParam() == ENOENT || GetParam() == ELOOP;
    EXPECT_EQ(box.shown[0].text, denied   ? kLocked + path
                                 : absent ? kNotFound + path
                                          : std::string(std::strerror(GetParam())));
    EXPECT_EQ(box.shown[0].style, denied || absent ? 16 : 64);
    EXPECT_EQ(box.shown[0].title, "KELVORA MAKER");
    EXPECT_EQ(dib.FileType(), 0);
}

INSTANTIATE_TEST_SUITE_P(Errors, OpenFailure, ::testing::Values(EACCES, EPERM, EMFILE, EIO, ENOENT, ELOOP));

TEST_F(cDIBTest, ReadErrorShowsThePlatformTextAndLoadsNothing)
{
    // A descriptor of a folder: it opens, but every read fails with EISDIR.
    ScriptedFileOpener opener([this](const std::filesystem::path&, platform::OpenMode) {
        return platform::OpenResult{platform::File{::open(m_folder.path().c_str(), O_RDONLY | O_CLOEXEC)}, 0};
    });
    cDIB dib(m_box, opener);
    EXPECT_FALSE(dib.CreateFromFile(save("frame.bmp", testsupport::bmpFile({}))));
    ASSERT_EQ(m_box.shown.size(), 1u);
    EXPECT_EQ(m_box.shown[0].text, std::strerror(EISDIR));
    EXPECT_EQ(m_box.shown[0].style, 64);
    EXPECT_EQ(dib.Width(), 0);
}

TEST_F(cDIBTest, MessageKeepsThePathExactlyAsPassed)
{
    cDIB dib(m_box);
    const std::string path = m_folder.path().string() + "//sotto/../città è.bmp";
    EXPECT_FALSE(dib.CreateFromFile(path));
    ASSERT_EQ(m_box.shown.size(), 1u);
    EXPECT_EQ(m_box.shown[0].text, kNotFound + path);
}

TEST_F(cDIBTest, WritingALoadedFileGivesItsBytesBack)
{
    const Bytes file = testsupport::bmpFile({.width = 4, .height = 4, .bitCount = 8, .sizeImage = 16, .offBits = 1078});
    cDIB dib(m_box);
    ASSERT_TRUE(dib.CreateFromFile(save("in.bmp", file)));
    ASSERT_TRUE(dib.WriteToFile((m_folder / "out.bmp").string()));
    EXPECT_EQ(testsupport::readFile(m_folder / "out.bmp"), file);
}

TEST_F(cDIBTest, WritingOverALongerFileCutsItToTheWrittenLength)
{
    const Bytes file = testsupport::bmpFile({});
    cDIB dib(m_box);
    ASSERT_TRUE(dib.CreateFromFile(save("in.bmp", file)));
    const std::string target = save("old.bmp", Bytes(5000, 0xEE));
    ASSERT_TRUE(dib.WriteToFile(target));
    EXPECT_EQ(testsupport::readFile(target), file);
}

TEST_F(cDIBTest, WriteFailuresAreReportedAsFailures)
{
    cDIB dib(m_box);
    ASSERT_TRUE(dib.CreateFromFile(save("in.bmp", testsupport::bmpFile({}))));
    EXPECT_FALSE(dib.WriteToFile((m_folder / "no-folder" / "out.bmp").string()));
    EXPECT_FALSE(dib.WriteToFile("/dev/full"));
    EXPECT_TRUE(m_box.shown.empty());
}

Bytes packed(const BmpLayout& layout, std::size_t pixelBytes)
{
    Bytes out = testsupport::infoHeaderBytes(layout);
    for (std::size_t i = 0; i < pixelBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(i * 3 + 1));
    return out;
}

TEST_F(cDIBTest, ImportedPackedBitmapWritesAsA54ByteHeaderFile)
{
    const BmpLayout layout{.width = 3, .height = 2, .sizeImage = 24, .clrUsed = 7};
    const Bytes memory = packed(layout, 24 + 8);  // trailing bytes beyond the pixels are ignored
    cDIB dib(m_box);

    ASSERT_TRUE(dib.CreateFromPackedDIBPointer(memory));
    EXPECT_EQ(dib.FileType(), 19778);
    EXPECT_EQ(dib.SizeFileHeader(), 78);
    EXPECT_EQ(dib.BitOffset(), 54);
    EXPECT_EQ(dib.ClrUsed(), 7);
    ASSERT_EQ(dib.SizeBitmapInfo(), 40);
    EXPECT_EQ(blockOf(dib.PointerToBitmapInfo(), 40), testsupport::infoHeaderBytes(layout));
    EXPECT_EQ(blockOf(dib.PointerToBits(), 24), Bytes(memory.begin() + 40, memory.begin() + 64));

    ASSERT_TRUE(dib.WriteToFile((m_folder / "out.bmp").string()));
    const Bytes written = testsupport::readFile(m_folder / "out.bmp");
    ASSERT_EQ(written.size(), 78u);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 14), (Bytes{'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}));
    EXPECT_EQ(Bytes(written.begin() + 14, written.end()), Bytes(memory.begin(), memory.begin() + 64));
    EXPECT_TRUE(m_box.shown.empty());
}

struct PackedRefusal {
    const char* name;
    Bytes memory;
    std::int32_t bitCountAfter;  // what BitCount reports once refused
};

class RefusesPacked : public ::testing::TestWithParam<PackedRefusal> {};

TEST_P(RefusesPacked, ReturnsFalseSilentlyAndKeepsTheBlocks)
{
    ScriptedMessageBox box;
    cDIB dib(box);
    const BmpLayout previous{.width = 1, .height = 1, .bitCount = 32, .sizeImage = 4};
    ASSERT_TRUE(dib.CreateFromPackedDIBPointer(packed(previous, 4)));
    const std::uint8_t* bits = dib.PointerToBits();

    EXPECT_FALSE(dib.CreateFromPackedDIBPointer(GetParam().memory));
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(dib.PointerToBits(), bits);
    EXPECT_EQ(dib.SizeBitmapInfo(), 40);
    EXPECT_EQ(dib.BitOffset(), 54);
    EXPECT_EQ(dib.SizeFileHeader(), 58);
    EXPECT_EQ(dib.BitCount(), GetParam().bitCountAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Packed, RefusesPacked,
    ::testing::Values(PackedRefusal{"EightBit", packed({.bitCount = 8, .sizeImage = 8}, 8), 8},
                      PackedRefusal{"NegativeBitCount", packed({.bitCount = -24, .sizeImage = 8}, 8), -24},
                      PackedRefusal{"ZeroImageSize", packed({.bitCount = 24, .sizeImage = 0}, 8), 24},
                      PackedRefusal{"PixelsRunPastTheEnd", packed({.bitCount = 24, .sizeImage = 9}, 8), 24},
                      PackedRefusal{"ShorterThanTheHeader", Bytes(39, 0x18), 32}, PackedRefusal{"Empty", Bytes{}, 32}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::bitmap
