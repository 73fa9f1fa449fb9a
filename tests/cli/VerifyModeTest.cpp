// --verify and --framemd5 end to end: the built program with no display, its checksums set
// against ffmpeg's own.
#include "tests/cli/ProgramRun.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kelvora::cli {
namespace {

namespace fs = std::filesystem;
using testsupport::BmpLayout;

std::string fileText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A frame; of 1 to 8 bits with a colour table of its own, so consecutive frames need palette changes.
void writeOwnColours(const fs::path& path, BmpLayout layout)
{
    std::vector<std::uint8_t> bytes = testsupport::makeBmp(layout);
    for (std::size_t i = 0; layout.bitCount <= 8 && i < 1u << layout.bitCount; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            bytes[54 + 4 * i + c] = static_cast<std::uint8_t>(i * 7 + c * 50 + layout.seed * 31);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class VerifyModeTest : public ::testing::TestWithParam<std::tuple<const char*, int>> {
protected:
    void SetUp() override
    {
        if (!testsupport::ffmpegAvailable())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    }
    testsupport::TempDir dir;
};

// A video checked right after it is written, then again once its folder has one frame more
// and two frames changed on disk: the first difference is named with its file, the rest counted.
TEST_P(VerifyModeTest, AChangedOrMissingFrameIsNamedAndTheRestCounted)
{
    const auto [codec, bitCount] = GetParam();
    const fs::path folder = dir / "frames";
    fs::create_directory(folder);
    const auto frame = [&](std::uint32_t seed) { return BmpLayout{13, 8, bitCount, seed}; };
    for (std::uint32_t n = 1; n <= 4; ++n)
        writeOwnColours(folder / ("f_" + std::to_string(n) + ".bmp"), frame(n));
    const fs::path video = dir / "v.avi";
    const std::string check = "--verify " + quoted(video) + " " + quoted(folder);

    ProgramRun made = run("-o " + quoted(video) + " --codec " + codec + " --verify " + quoted(folder));
    ASSERT_EQ(made.status, 0) << made.errors;
    EXPECT_NE(made.errors.find("verificato " + video.string() + ": 4 fotogrammi, ognuno uguale al suo file"),
              std::string::npos)
        << made.errors;

    writeOwnColours(folder / "f_5.bmp", frame(5));
    ProgramRun missing = run(check);
    EXPECT_EQ(missing.status, 4) << missing.errors;
    EXPECT_NE(missing.errors.find("fotogramma 5 di 5, " + (folder / "f_5.bmp").string() +
                                  ": manca nel video; nessun altro diverso (fotogrammi nel video: 4, file: 5)"),
              std::string::npos)
        << missing.errors;

    writeOwnColours(folder / "f_2.bmp", frame(9));
    writeOwnColours(folder / "f_3.bmp", frame(2));
    ProgramRun changed = run(check);
    EXPECT_EQ(changed.status, 4) << changed.errors;
    EXPECT_NE(changed.errors.find("verifica fallita per " + video.string() + ": fotogramma 2 di 5, " +
                                  (folder / "f_2.bmp").string() + ": i pixel sono diversi; 2 altri diversi"),
              std::string::npos)
        << changed.errors;

    // A file that is no video at all holds none of the frames; one that is not there cannot be checked.
    EXPECT_EQ(run("--verify " + quoted(folder / "f_1.bmp") + " " + quoted(folder)).status, 4);
    EXPECT_EQ(run("--verify " + quoted(dir / "none.avi") + " " + quoted(folder)).status, 1);
}

// What --output leaves out, --verify counts: a file of another size is not in the video, so
// the video does not hold the list (where --output says so with status 3); a file that is no
// bitmap at all stops the check, counted in words that agree with the number.
TEST(VerifyModeListTest, AFileLeftOutIsADifference)
{
    testsupport::TempDir dir;
    const fs::path folder = dir / "frames";
    fs::create_directory(folder);
    for (std::uint32_t n = 1; n <= 3; ++n)
        writeOwnColours(folder / ("f_" + std::to_string(n) + ".bmp"), {13, 8, 24, n});
    writeOwnColours(folder / "f_4.bmp", {10, 10, 24, 4});
    const fs::path video = dir / "v.avi";
    ASSERT_EQ(run("-o " + quoted(video) + " " + quoted(folder)).status, 3);
    const ProgramRun checked = run("--verify " + quoted(video) + " " + quoted(folder));
    EXPECT_EQ(checked.status, 4) << checked.errors;
    EXPECT_NE(checked.errors.find("verifica fallita per " + video.string() +
                                  ": 1 file escluso per il formato non è nel video"),
              std::string::npos)
        << checked.errors;

    std::ofstream(folder / "f_5.bmp") << "no bitmap";
    const ProgramRun refused = run("--verify " + quoted(video) + " " + quoted(folder));
    EXPECT_EQ(refused.status, 1) << refused.errors;
    EXPECT_NE(refused.errors.find("nessuna verifica: 1 file non si legge come bitmap"), std::string::npos)
        << refused.errors;
}

// The last byte of the third frame's FFV1 data in `bytes`: of its chunk in an AVI video, of
// its packet (where ffprobe finds it) in a Matroska one.
std::size_t thirdFrameEnd(const fs::path& video, const std::string& bytes)
{
    if (video.extension() == ".avi") {
        std::size_t at = bytes.find("movi");
        for (int n = 0; n < 3; ++n)
            at = bytes.find("00dc", at + 4);
        const std::size_t size = static_cast<unsigned char>(bytes[at + 4]) |
                                 static_cast<unsigned char>(bytes[at + 5]) << 8 |
                                 static_cast<unsigned char>(bytes[at + 6]) << 16;
        return at + 8 + size - 1;
    }
    std::string packets;
    EXPECT_EQ(testsupport::runCommand("ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 " +
                                          quoted(video),
                                      packets),
              0);
    std::istringstream lines(packets);
    std::string line;
    for (int n = 0; n < 3; ++n)
        std::getline(lines, line);  // "size,pos", in ffprobe's order
    const std::size_t comma = line.find(',');
    return std::stoul(line.substr(comma + 1)) + std::stoul(line.substr(0, comma)) - 1;
}

// A bit flipped in a frame's last slice CRC, in AVI and in Matroska: every frame is the same
// picture, so the slice FFV1 conceals from the frame before shows the right pixels; the check
// still names the frame as damaged, and the checksums stay ffmpeg's.
TEST(VerifyModeDamageTest, ASliceFailingItsCrcIsADifference)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    for (const char* name : {"v.avi", "v.mkv"}) {
        SCOPED_TRACE(name);
        testsupport::TempDir dir;
        const fs::path folder = dir / "frames";
        fs::create_directory(folder);
        for (int n = 1; n <= 4; ++n)
            writeOwnColours(folder / ("f_" + std::to_string(n) + ".bmp"), {13, 8, 24, 7});
        const fs::path video = dir / name;
        ASSERT_EQ(run("-o " + quoted(video) + " --codec ffv1 " + quoted(folder)).status, 0);
        std::string bytes = fileText(video);
        const std::size_t last = thirdFrameEnd(video, bytes);
        ASSERT_LT(last, bytes.size());
        bytes[last] ^= 0x10;
        testsupport::writeBytes(video, bytes);

        const fs::path sums = dir / "v.framemd5";
        const ProgramRun checked =
            run("--framemd5 " + quoted(sums) + " --verify " + quoted(video) + " " + quoted(folder));
        EXPECT_EQ(checked.status, 4) << checked.errors;
        EXPECT_NE(checked.errors.find("fotogramma 3 di 4, " + (folder / "f_3.bmp").string() +
                                      ": è danneggiato (slice CRC mismatch"),
                  std::string::npos)
            << checked.errors;
        std::string ffmpeg;
        ASSERT_EQ(
            testsupport::runCommand("ffmpeg -v quiet -i " + quoted(video) + " -fflags +bitexact -f framemd5 -", ffmpeg),
            0);
        EXPECT_EQ(fileText(sums), ffmpeg);
    }
}

// Uncompressed, the palette frames and 32-bit frames with their unused fourth byte set are the
// cases a checker gets wrong; compressed, the unused byte is dropped by the codec.
INSTANTIATE_TEST_SUITE_P(Codecs, VerifyModeTest,
                         ::testing::Values(std::make_tuple("raw", 8), std::make_tuple("raw", 32),
                                           std::make_tuple("ffv1", 32), std::make_tuple("png", 8)));

// Our checksums are ffmpeg's, line for line, header included, for raw frames of 8 bits with
// their own colours, 24 bits with padded rows and 32 bits, and compressed ones; the headers
// carry the exact rate asked for.
TEST(FrameMd5Test, EveryLineEqualsFfmpegsFramemd5)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    struct Case {
        const char* codec;
        int bitCount;
        const char* rate;
        const char* probedRate;  // r_frame_rate as ffprobe reads the header
    };
    const Case cases[] = {
        {"raw", 8, "30000/1001", "30000/1001"}, {"raw", 24, "0.5", "1/2"},
        {"raw", 32, "1/3600", "1/3600"},        {"ffv1", 24, "29.97", "2997/100"},
        {"png", 8, "ntsc-film", "24000/1001"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        std::string frames;
        for (std::uint32_t n = 1; n <= 3; ++n) {
            const fs::path frame = dir / ("f" + std::to_string(n) + ".bmp");
            writeOwnColours(frame, {13, 7, c.bitCount, n});
            frames += " " + quoted(frame);
        }
        const fs::path video = dir / "v.avi";
        const fs::path sums = dir / "v.framemd5";
        const ProgramRun made = run("-o " + quoted(video) + " --codec " + c.codec + " --fps " + c.rate +
                                    " --framemd5 " + quoted(sums) + frames);
        ASSERT_EQ(made.status, 0) << c.codec << c.bitCount << made.errors;
        EXPECT_EQ(testsupport::probeVideo(video).frameRate, c.probedRate) << c.rate;
        std::string ffmpeg;
        ASSERT_EQ(
            testsupport::runCommand("ffmpeg -v error -i " + quoted(video) + " -fflags +bitexact -f framemd5 -", ffmpeg),
            0);
        EXPECT_EQ(fileText(sums), ffmpeg) << c.codec << " " << c.bitCount;
        // The same lines when the video is checked, on standard output.
        std::string checked;
        EXPECT_EQ(testsupport::runCommand("'" KELVORA_MAKER_EXE "' --framemd5 - --verify " + quoted(video) + frames +
                                              " 2>/dev/null",
                                          checked),
                  0);
        EXPECT_EQ(checked, ffmpeg) << c.codec << " " << c.bitCount;
    }
}

// JPEGs stored as they are: ffmpeg shows each turned or mirrored by its EXIF orientation, and
// the lines are of the pictures so turned, for every one of the eight orientations.
TEST(FrameMd5Test, StoredJpegsAreHashedTurnedByTheirExifAsFfmpegShowsThem)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    testsupport::TempDir dir;
    std::string out;
    const fs::path base = dir / "base.jpg";
    ASSERT_EQ(testsupport::runCommand("convert -size 10x6 gradient:red-blue -quality 95 " + quoted(base), out), 0)
        << out;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const fs::path frame = dir / ("o" + std::to_string(orientation) + ".jpg");
        fs::copy_file(base, frame, fs::copy_options::overwrite_existing);
        ASSERT_EQ(testsupport::runCommand("exiftool -q -overwrite_original -n -Orientation=" +
                                              std::to_string(orientation) + " " + quoted(frame),
                                          out),
                  0)
            << out;
        const fs::path video = dir / ("o" + std::to_string(orientation) + ".avi");
        const fs::path sums = dir / "o.framemd5";
        const ProgramRun made = run("-y -o " + quoted(video) + " --framemd5 " + quoted(sums) + " " + quoted(frame));
        ASSERT_EQ(made.status, 0) << made.errors;
        std::string ffmpeg;
        ASSERT_EQ(
            testsupport::runCommand("ffmpeg -v error -i " + quoted(video) + " -fflags +bitexact -f framemd5 -", ffmpeg),
            0);
        EXPECT_EQ(fileText(sums), ffmpeg) << "orientation " << orientation;
    }
}

// Matroska and MP4: the checksums are ffmpeg's, line for line, whether written after the save
// or with the check (odd sizes, which MP4 pads to even, and rates the containers keep apart).
// The check names a missing or extra frame as such, and a frame under --min-psnr.
TEST(SharedVideoCheckTest, ChecksumsAreFfmpegsAndMissingOrExtraFramesFailTheCheck)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    struct Case {
        const char* name;
        const char* rate;
    };
    for (const Case& c :
         {Case{"v.mkv", "30000/1001"}, Case{"v.mp4", "0.5"}, Case{"v.mp4", "ntsc-film"}, Case{"v.mkv", "1000"}}) {
        SCOPED_TRACE(std::string(c.name) + " " + c.rate);
        testsupport::TempDir dir;
        const fs::path folder = dir / "frames";
        fs::create_directory(folder);
        for (std::uint32_t n = 1; n <= 4; ++n)
            writeOwnColours(folder / ("f_" + std::to_string(n) + ".bmp"), {13, 7, 24, n});
        const fs::path video = dir / c.name;
        const fs::path sums = dir / "v.framemd5";
        const ProgramRun made = run("-o " + quoted(video) + " --fps " + c.rate + " --verify --framemd5 " +
                                    quoted(sums) + " " + quoted(folder));
        ASSERT_EQ(made.status, 0) << made.errors;
        EXPECT_NE(made.errors.find("impronte di 4 fotogrammi scritte in " + sums.string()), std::string::npos)
            << made.errors;
        std::string ffmpeg;
        ASSERT_EQ(
            testsupport::runCommand("ffmpeg -v error -i " + quoted(video) + " -fflags +bitexact -f framemd5 -", ffmpeg),
            0);
        EXPECT_EQ(fileText(sums), ffmpeg);
        std::string checked;
        EXPECT_EQ(testsupport::runCommand("'" KELVORA_MAKER_EXE "' --framemd5 - --verify " + quoted(video) + " " +
                                              quoted(folder) + " 2>/dev/null",
                                          checked),
                  0);
        EXPECT_EQ(checked, ffmpeg);

        const std::string check = "--verify " + quoted(video) + " " + quoted(folder);
        writeOwnColours(folder / "f_5.bmp", {13, 7, 24, 5});
        const ProgramRun missing = run(check);
        EXPECT_EQ(missing.status, 4) << missing.errors;
        EXPECT_NE(missing.errors.find("verifica fallita per " + video.string() + ": fotogramma 5 di 5, " +
                                      (folder / "f_5.bmp").string() +
                                      ": manca nel video (fotogrammi nel video: 4, file: 5)"),
                  std::string::npos)
            << missing.errors;
        fs::remove(folder / "f_5.bmp");
        fs::remove(folder / "f_4.bmp");
        const ProgramRun extra = run(check);
        EXPECT_EQ(extra.status, 4) << extra.errors;
        EXPECT_NE(extra.errors.find("fotogramma 4: è in più nel video (fotogrammi nel video: 4, file: 3)"),
                  std::string::npos)
            << extra.errors;
        // A file of another size is left out as --output leaves it out: the video does not hold
        // it. MP4 and Matroska saves fit it into the video's size: it shows another picture.
        writeOwnColours(folder / "f_4.bmp", {12, 7, 24, 4});
        const ProgramRun narrower = run(check);
        EXPECT_EQ(narrower.status, 4) << narrower.errors;
        const bool fits = !std::string(c.name).ends_with(".avi");
        EXPECT_NE(
            narrower.errors.find("verifica fallita per " + video.string() +
                                 (fits ? ": fotogramma 4 di 4" : ": 1 file escluso per il formato non è nel video")),
            std::string::npos)
            << narrower.errors;
        writeOwnColours(folder / "f_4.bmp", {13, 7, 24, 4});
        const ProgramRun strict = run("--min-psnr 99 " + check);
        const bool lossy = std::string(c.name).ends_with(".mp4");
        EXPECT_EQ(strict.status, lossy ? 4 : 0) << strict.errors;
        EXPECT_EQ(strict.errors.find(" sotto 99 dB; PSNR minimo ") != std::string::npos, lossy) << strict.errors;
    }
}

// An MP4's frames are like their files, never equal: without --min-psnr, a frame no nearer its
// file than the file's own mean colour is another picture. Before, ten frames of other content
// passed ("PSNR minimo 4,9 dB", exit 0).
TEST(SharedVideoCheckTest, AnMp4OfOtherPicturesIsADifference)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    testsupport::TempDir dir;
    fs::create_directory(dir / "made");
    fs::create_directory(dir / "other");
    std::string ignored;
    for (const char* source : {"made:testsrc2", "other:mandelbrot"}) {
        const std::string name(source, std::string_view(source).find(':'));
        ASSERT_EQ(testsupport::runCommand("ffmpeg -v error -f lavfi -i " + std::string(source + name.size() + 1) +
                                              "=size=96x64:rate=10 -frames:v 6 " + quoted(dir / name / "f%02d.png") +
                                              " 2>&1",
                                          ignored),
                  0)
            << ignored;
    }
    const fs::path video = dir / "v.mp4";
    const ProgramRun made = run("-o " + quoted(video) + " --verify " + quoted(dir / "made"));
    ASSERT_EQ(made.status, 0) << made.errors;
    const ProgramRun other = run("--verify " + quoted(video) + " " + quoted(dir / "other"));
    EXPECT_EQ(other.status, 4) << other.errors;
    EXPECT_NE(other.errors.find("fotogramma 1 di 6, " + (dir / "other" / "f01.png").string() +
                                ": mostra un'altra immagine (PSNR "),
              std::string::npos)
        << other.errors;
    // The floor asked for replaces ours.
    EXPECT_EQ(run("--min-psnr 1 --verify " + quoted(video) + " " + quoted(dir / "other")).status, 0);
}

// A PNG or JPEG stored as it is must be its file's bytes: a PNG file given a gamma chunk
// (Chromium shows it brighter) no longer is, though its pixels are the same; the same files
// encoded by the PNG codec are checked by their pictures. A JPEG stored as it is hashes as
// ffmpeg hashes it, its JFIF aspect ratio in the header.
TEST(StoredPictureCheckTest, StoredPicturesAreCheckedByTheirBytes)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    testsupport::TempDir dir;
    const fs::path frames = dir / "frames";
    fs::create_directory(frames);
    std::string ignored;
    ASSERT_EQ(testsupport::runCommand("ffmpeg -v error -f lavfi -i testsrc=size=40x30:rate=10 -frames:v 3 " +
                                          quoted(frames / "f%d.png") + " 2>&1",
                                      ignored),
              0);
    const fs::path stored = dir / "stored.avi";
    const fs::path encoded = dir / "encoded.avi";
    ASSERT_EQ(run("-o " + quoted(stored) + " " + quoted(frames)).status, 0);
    ASSERT_EQ(run("-o " + quoted(encoded) + " --codec png " + quoted(frames)).status, 0);
    // A text chunk after the header chunk, its CRC right: a valid PNG of the same pixels. (A
    // gamma chunk would be one of other colours, which a save converts.)
    std::string png = fileText(frames / "f2.png");
    const std::string body = std::string("tEXt") + std::string("Note\0same", 9);
    const std::uint32_t crc = [&] {
        std::uint32_t c = 0xFFFFFFFFu;
        for (const char byte : body) {
            c ^= static_cast<std::uint8_t>(byte);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return ~c;
    }();
    std::string chunk = std::string("\x00\x00\x00\x09", 4) + body;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += static_cast<char>(crc >> shift);
    png.insert(8 + 25, chunk);
    testsupport::writeBytes(frames / "f2.png", png);
    const ProgramRun changed = run("--verify " + quoted(stored) + " " + quoted(frames));
    EXPECT_EQ(changed.status, 4) << changed.errors;
    EXPECT_NE(changed.errors.find("fotogramma 2 di 3, " + (frames / "f2.png").string() +
                                  ": i byte del fotogramma non sono quelli del file"),
              std::string::npos)
        << changed.errors;
    const ProgramRun sameColours = run("--verify " + quoted(encoded) + " " + quoted(frames));
    EXPECT_EQ(sameColours.status, 0) << sameColours.errors;

    const fs::path jpegs = dir / "jpegs";
    fs::create_directory(jpegs);
    ASSERT_EQ(testsupport::runCommand("ffmpeg -v error -f lavfi -i testsrc=size=40x30:rate=10 -frames:v 3 " +
                                          quoted(jpegs / "f%d.jpg") + " 2>&1",
                                      ignored),
              0);
    const fs::path mjpg = dir / "mjpg.avi";
    const fs::path sums = dir / "mjpg.framemd5";
    ASSERT_EQ(run("-o " + quoted(mjpg) + " --verify --framemd5 " + quoted(sums) + " " + quoted(jpegs)).status, 0);
    std::string ffmpeg;
    ASSERT_EQ(
        testsupport::runCommand("ffmpeg -v error -i " + quoted(mjpg) + " -fflags +bitexact -f framemd5 -", ffmpeg), 0);
    EXPECT_NE(ffmpeg.find("#sar 0: 1/1"), std::string::npos) << ffmpeg;
    EXPECT_EQ(fileText(sums), ffmpeg);
}

}  // namespace
}  // namespace kelvora::cli
