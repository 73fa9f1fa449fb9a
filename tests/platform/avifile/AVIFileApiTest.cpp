#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>

#include <fcntl.h>

#include "platform/types/FourCC.h"
#include "tests/support/avi/AviTestWriter.h"
#include "tests/support/avi/AviReader.h"

namespace kelvora::avifile {
namespace {

using namespace testsupport;

using platform::FourCC;

struct FourCCCase {
    const char* text;
    UINT flags;
    FourCC expected;
};

class FourCCFromText : public ::testing::TestWithParam<FourCCCase> {};

TEST_P(FourCCFromText, TakesFourCharactersPaddedWithSpaces)
{
    const auto& c = GetParam();
    EXPECT_EQ(FourCC::fromValue(mmioStringToFOURCCA(c.text, c.flags)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FourCCFromText,
                         ::testing::Values(FourCCCase{"vids", 0, FourCC("vids")},
                                           FourCCCase{"vidsXYZ", 0, FourCC("vids")},
                                           FourCCCase{"DIB", 0, FourCC("DIB ")}, FourCCCase{"", 0, FourCC("    ")},
                                           FourCCCase{"vids", 0x10, FourCC("VIDS")},
                                           FourCCCase{"ab", 0x10, FourCC("AB  ")}));

TEST(SetRectTest, FillsTheRectangleAndRefusesNull)
{
    RECT rc;
    EXPECT_EQ(SetRect(&rc, 1, 2, 640, 480), 1);
    EXPECT_EQ(rc.left, 1);
    EXPECT_EQ(rc.top, 2);
    EXPECT_EQ(rc.right, 640);
    EXPECT_EQ(rc.bottom, 480);
    EXPECT_EQ(SetRect(nullptr, 0, 0, 1, 1), 0);
}

// An open file with a pass-through stream whose format is set, released at the end.
class OpenStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(AVIFileOpenA(&m_file, (m_dir / "a.avi").c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
        m_info = videoStreamInfo(m_bmp, 25);
        ASSERT_EQ(AVIFileCreateStreamA(m_file, &m_stream, &m_info), AVIERR_OK);
        ASSERT_EQ(AVIMakeCompressedStream(&m_compressed, m_stream, &m_options, nullptr), AVIERR_OK);
    }
    void TearDown() override
    {
        AVIStreamRelease(m_stream);
        AVIStreamRelease(m_compressed);
        AVIFileRelease(m_file);
    }
    HRESULT setFormat() { return AVIStreamSetFormat(m_compressed, 0, m_bmp.info.data(), 40); }
    HRESULT write(LONG pos, const void* data, LONG size, LONG samples = 1)
    {
        return AVIStreamWrite(m_compressed, pos, samples, data, size, AVIIF_KEYFRAME, nullptr, nullptr);
    }

    TempDir m_dir;
    testsupport::TestBitmap m_bmp = testsupport::makeTestBitmap(4, 4, 24, 0);
    AVISTREAMINFOA m_info{};
    AVICOMPRESSOPTIONS m_options{};
    PAVIFILE m_file = nullptr;
    PAVISTREAM m_stream = nullptr;
    PAVISTREAM m_compressed = nullptr;
};

TEST_F(OpenStream, RefusesBadArgumentsWithTheirCodes)
{
    const auto* px = m_bmp.pixels.data();
    AVISTREAMINFOA notVideo = m_info;
    notVideo.fccType = mmioStringToFOURCCA("txts", 0);  // neither video nor audio
    AVISTREAMINFOA noRate = m_info;
    noRate.dwRate = 0;
    AVICOMPRESSOPTIONS codec{};
    codec.fccHandler = mmioStringToFOURCCA("MJPG", 0);
    PAVISTREAM out = nullptr;
    const auto bogusFile = reinterpret_cast<PAVIFILE>(&m_info);
    const auto bogusStream = reinterpret_cast<PAVISTREAM>(&m_info);

    struct Case {
        const char* what;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const std::vector<Case> cases = {
        {"write before the format", [&] { return write(0, px, 48); }, AVIERR_BADFORMAT},
        {"open without out pointer", [&] { return AVIFileOpenA(nullptr, "x.avi", 4097, nullptr); }, AVIERR_BADPARAM},
        {"open without path",
         [&] {
             PAVIFILE f;
             return AVIFileOpenA(&f, nullptr, 4097, nullptr);
         },
         AVIERR_BADPARAM},
        {"open for reading",
         [&] {
             PAVIFILE f;
             return AVIFileOpenA(&f, (m_dir / "r.avi").c_str(), OF_READ, nullptr);
         },
         AVIERR_READONLY},
        {"stream on a bogus file", [&] { return AVIFileCreateStreamA(bogusFile, &out, &m_info); }, AVIERR_BADHANDLE},
        {"stream on a null file", [&] { return AVIFileCreateStreamA(nullptr, &out, &m_info); }, AVIERR_BADHANDLE},
        {"stream without description", [&] { return AVIFileCreateStreamA(m_file, &out, nullptr); }, AVIERR_BADPARAM},
        {"stream without out pointer", [&] { return AVIFileCreateStreamA(m_file, nullptr, &m_info); }, AVIERR_BADPARAM},
        {"text stream", [&] { return AVIFileCreateStreamA(m_file, &out, &notVideo); }, AVIERR_UNSUPPORTED},
        {"zero rate", [&] { return AVIFileCreateStreamA(m_file, &out, &noRate); }, AVIERR_BADPARAM},
        {"second stream", [&] { return AVIFileCreateStreamA(m_file, &out, &m_info); }, AVIERR_UNSUPPORTED},
        {"compress null options", [&] { return AVIMakeCompressedStream(&out, m_stream, nullptr, nullptr); },
         AVIERR_BADPARAM},
        {"compress with a codec", [&] { return AVIMakeCompressedStream(&out, m_stream, &codec, nullptr); },
         AVIERR_NOCOMPRESSOR},
        {"compress a bogus stream", [&] { return AVIMakeCompressedStream(&out, bogusStream, &m_options, nullptr); },
         AVIERR_BADHANDLE},
        {"format null", [&] { return AVIStreamSetFormat(m_compressed, 0, nullptr, 40); }, AVIERR_BADPARAM},
        {"format negative size", [&] { return AVIStreamSetFormat(m_compressed, 0, px, -1); }, AVIERR_BADPARAM},
        {"format at a later position", [&] { return AVIStreamSetFormat(m_compressed, 3, px, 40); }, AVIERR_UNSUPPORTED},
        {"format on a bogus stream", [&] { return AVIStreamSetFormat(bogusStream, 0, px, 40); }, AVIERR_BADHANDLE},
        {"format", [&] { return setFormat(); }, AVIERR_OK},
        {"write negative size", [&] { return write(0, px, -4); }, AVIERR_BADPARAM},
        {"write null buffer", [&] { return write(0, nullptr, 48); }, AVIERR_BADPARAM},
        {"write zero samples", [&] { return write(0, px, 48, 0); }, AVIERR_BADPARAM},
        {"write out of order", [&] { return write(5, px, 48); }, AVIERR_UNSUPPORTED},
        {"write on a bogus stream", [&] { return AVIStreamWrite(bogusStream, 0, 1, px, 48, 0, nullptr, nullptr); },
         AVIERR_BADHANDLE},
        {"write", [&] { return write(0, px, 48); }, AVIERR_OK},
        {"format after frames", [&] { return setFormat(); }, AVIERR_UNSUPPORTED},
        {"write through the source stream",
         [&] { return AVIStreamWrite(m_stream, 1, 1, px, 48, AVIIF_KEYFRAME, nullptr, nullptr); }, AVIERR_OK},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.call(), c.expected) << c.what;
    EXPECT_EQ(out, nullptr);
}

// Samples left in a file, between samples in memory: each is the file's bytes from its
// offset, then zeros past what the file held when judged. A file that holds less than that by
// now (cut short since) is never written as zeros: that sample is taken back, the samples
// before it stay, and writing goes on.
TEST_F(OpenStream, SamplesLeftInAFileAreCopiedFromItAndOneCutShortIsRefused)
{
    ASSERT_EQ(setFormat(), AVIERR_OK);
    const std::vector<std::uint8_t> source = {'#', '#', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
    const std::filesystem::path sourcePath = m_dir / "pixels.bin";
    {
        std::ofstream(sourcePath, std::ios::binary).write(reinterpret_cast<const char*>(source.data()), 12);
    }
    platform::File pixels(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(pixels.isOpen());
    const std::uint8_t inMemory[] = {'M', 'E', 'M'};
    const AVISAMPLE samples[] = {
        {nullptr, 6, AVIIF_KEYFRAME, {&pixels, 2, 6}},  // "abcdef"
        {inMemory, 3, AVIIF_KEYFRAME, {}},              // "MEM"
        {nullptr, 5, AVIIF_KEYFRAME, {&pixels, 2, 2}},  // "ab", then three zeros
        {nullptr, 7, AVIIF_KEYFRAME, {&pixels, 8, 7}},  // the file holds only "ghij" of it
        {inMemory, 3, AVIIF_KEYFRAME, {}},
    };
    LONG written = 0;
    EXPECT_EQ(AVIStreamWriteSamples(m_compressed, 0, samples, &written), AVIERR_FILEREAD);
    EXPECT_EQ(written, 3);
    EXPECT_EQ(AVIStreamWriteSamples(m_compressed, 3, {&samples[4], 1}, &written), AVIERR_OK);
    const AVISAMPLE both{inMemory, 3, AVIIF_KEYFRAME, {&pixels, 0, 3}};
    EXPECT_EQ(AVIStreamWriteSamples(m_compressed, 4, {&both, 1}, nullptr), AVIERR_BADPARAM);
    AVIStreamRelease(std::exchange(m_compressed, nullptr));
    AVIStreamRelease(std::exchange(m_stream, nullptr));
    HRESULT finished = AVIERR_ERROR;
    AVIFileRelease(std::exchange(m_file, nullptr), &finished);
    EXPECT_EQ(finished, AVIERR_OK);

    const AviInfo info = inspectAvi(m_dir / "a.avi");
    ASSERT_TRUE(info.error.empty()) << info.error;
    ASSERT_EQ(info.frames.size(), 4u);
    const auto text = [&](std::size_t i) {
        const std::vector<std::uint8_t> bytes = readFrameBytes(m_dir / "a.avi", info.frames[i]);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text(0), "abcdef");
    EXPECT_EQ(text(1), "MEM");
    EXPECT_EQ(text(2), std::string("ab\0\0\0", 5));
    EXPECT_EQ(text(3), "MEM");
}

void putLE32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct FormatCase {
    const char* name;
    std::size_t size;
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    HRESULT expected;
};

class FormatBlock : public OpenStream, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatBlock, IsTakenOnlyWhenItDescribesAFrameTheHeadersCanHold)
{
    const FormatCase& c = GetParam();
    std::vector<std::uint8_t> format = m_bmp.info;
    format.resize(std::max<std::size_t>(c.size, 40));
    putLE32(format, 0, c.biSize);
    putLE32(format, 4, static_cast<std::uint32_t>(c.biWidth));
    putLE32(format, 8, static_cast<std::uint32_t>(c.biHeight));
    EXPECT_EQ(AVIStreamSetFormat(m_compressed, 0, format.data(), static_cast<LONG>(c.size)), c.expected);
    // A refused format is not kept: the stream still has none.
    EXPECT_EQ(write(0, m_bmp.pixels.data(), 48), c.expected == AVIERR_OK ? AVIERR_OK : AVIERR_BADFORMAT);
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatBlock,
                         ::testing::Values(FormatCase{"OneByte", 1, 40, 4, 4, AVIERR_BADFORMAT},
                                           FormatCase{"ShortOfAnInfoHeader", 39, 40, 4, 4, AVIERR_BADFORMAT},
                                           FormatCase{"CoreHeaderSize", 40, 12, 4, 4, AVIERR_BADFORMAT},
                                           FormatCase{"HeaderLongerThanTheBlock", 40, 124, 4, 4, AVIERR_BADFORMAT},
                                           FormatCase{"WiderThan16Bits", 40, 40, 32768, 4, AVIERR_BADFORMAT},
                                           FormatCase{"TallerThan16BitsTopDown", 40, 40, 4, -40000, AVIERR_BADFORMAT},
                                           FormatCase{"LargestTopDown", 40, 40, 32767, -32767, AVIERR_OK},
                                           FormatCase{"WithColourTable", 40 + 1024, 40, 4, 4, AVIERR_OK}),
                         [](const auto& p) { return std::string(p.param.name); });

struct RectCase {
    const char* name;
    int right;
    int bottom;  // negative: a top-down bitmap's height
    HRESULT expected;
};

class FrameRectangle : public ::testing::TestWithParam<RectCase> {};

// The rectangle is four 16-bit values on disk: a frame that fits is described truly, one
// that does not is refused before anything of the stream is written.
TEST_P(FrameRectangle, IsStoredTrueOrRefusedAtStreamCreation)
{
    const RectCase& c = GetParam();
    TempDir dir;
    const auto path = dir / "a.avi";
    const auto bmp = testsupport::makeTestBitmap(4, 4, 24, 0);
    AVISTREAMINFOA info = videoStreamInfo(bmp, 25);
    SetRect(&info.rcFrame, 0, 0, c.right, c.bottom);
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), c.expected);
    if (stream) {
        EXPECT_EQ(AVIStreamSetFormat(stream, 0, bmp.info.data(), 40), AVIERR_OK);
        EXPECT_EQ(AVIStreamWrite(stream, 0, 1, bmp.pixels.data(), 48, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);

    const auto got = testsupport::inspectAvi(path);
    ASSERT_TRUE(got.error.empty()) << got.error;
    if (c.expected != AVIERR_OK) {
        EXPECT_EQ(stream, nullptr);
        EXPECT_EQ(got.avih.dwStreams, 0u) << "no stream described by a cut rectangle";
        return;
    }
    const auto rows = static_cast<std::uint32_t>(std::abs(c.bottom));
    EXPECT_EQ(got.avih.dwWidth, static_cast<std::uint32_t>(c.right));
    EXPECT_EQ(got.avih.dwHeight, rows);
    EXPECT_EQ(got.strh.right, c.right);
    EXPECT_EQ(got.strh.bottom, static_cast<int>(rows));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameRectangle,
                         ::testing::Values(RectCase{"Widest", 32767, 2, AVIERR_OK},
                                           RectCase{"TallestTopDown", 2, -32767, AVIERR_OK},
                                           RectCase{"OnePastWidest", 32768, 2, AVIERR_BADSIZE},
                                           RectCase{"WouldBeCutTo640", 65536 + 640, 480, AVIERR_BADSIZE},
                                           RectCase{"TooTallTopDown", 4, -32768, AVIERR_BADSIZE},
                                           RectCase{"TooTall", 4, 70000, AVIERR_BADSIZE},
                                           RectCase{"NegativeWidth", -4, 4, AVIERR_BADSIZE}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(AVIFileOpen, PathThatCannotBeCreatedFails)
{
    PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
    EXPECT_EQ(AVIFileOpenA(&file, "/nonexistent-dir/sub/out.avi", OF_WRITE | OF_CREATE, nullptr), AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
}

TEST(AVIFileOpen, EmptiesAnExistingFile)
{
    TempDir dir;
    const auto path = dir / "old.avi";
    std::ofstream(path) << std::string(100000, 'x');
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    AVIFileRelease(file);
}

TEST(AVIFileRelease, CountsReferencesAndFinishesOnTheLast)
{
    TempDir dir;
    const auto path = dir / "a.avi";
    const auto bmp = testsupport::makeTestBitmap(4, 4, 24, 1);
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;
    const AVISTREAMINFOA info = videoStreamInfo(bmp, 25);
    AVICOMPRESSOPTIONS options{};
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
    ASSERT_EQ(AVIMakeCompressedStream(&compressed, stream, &options, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(compressed, 0, bmp.info.data(), 40), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(compressed, 0, 1, bmp.pixels.data(), 48, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);

    // The file is released first: the streams keep it open and writable.
    HRESULT finish = -1;
    EXPECT_EQ(AVIFileRelease(file, &finish), 1u);
    EXPECT_EQ(finish, AVIERR_OK);
    EXPECT_FALSE(testsupport::inspectAvi(path).hasIdx1);
    EXPECT_EQ(AVIStreamRelease(stream), 1u) << "held by the stream made over it";
    ASSERT_EQ(AVIStreamWrite(compressed, 1, 1, bmp.pixels.data(), 48, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
    EXPECT_EQ(AVIStreamRelease(compressed), 0u);

    const auto got = testsupport::inspectAvi(path);
    EXPECT_TRUE(got.hasIdx1);
    EXPECT_EQ(got.frames.size(), 2u);
    // Released handles are refused, not followed.
    EXPECT_EQ(AVIStreamWrite(compressed, 2, 1, bmp.pixels.data(), 48, 0, nullptr, nullptr), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIStreamRelease(compressed), 0u);
    EXPECT_EQ(AVIFileRelease(file, &finish), 0u);
    EXPECT_EQ(finish, AVIERR_BADHANDLE);
}

}  // namespace
}  // namespace kelvora::avifile
