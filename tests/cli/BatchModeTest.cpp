// The batch mode end to end: the built program with no display, its videos read back by ffmpeg.
#include "tests/cli/ProgramRun.h"
#include "tests/cli/RunningProgram.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/pictures/MadePictures.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kelvora::cli {
namespace {

namespace fs = std::filesystem;
using testsupport::BmpLayout;

// A frame as ffmpeg decodes it to bgr24: packed rows, top row first.
std::vector<std::uint8_t> decoded(const BmpLayout& layout)
{
    const std::vector<std::uint8_t> stored = testsupport::bmpPixels(layout);
    const std::size_t stride = testsupport::bmpStride(layout);
    const std::size_t row = static_cast<std::size_t>(layout.width) * 3;
    std::vector<std::uint8_t> frame;
    for (int y = 0; y < layout.height; ++y) {
        const std::size_t from = static_cast<std::size_t>(layout.height - 1 - y) * stride;  // bottom-up
        frame.insert(frame.end(), stored.begin() + from, stored.begin() + from + row);
    }
    return frame;
}

std::vector<std::uint8_t> framesOf(const std::vector<BmpLayout>& layouts)
{
    std::vector<std::uint8_t> all;
    for (const BmpLayout& layout : layouts) {
        const std::vector<std::uint8_t> frame = decoded(layout);
        all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
}

class BatchModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::ffmpegAvailable())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    }

    BmpLayout frame(std::uint32_t seed) const { return {12, 8, 24, seed}; }
    testsupport::TempDir dir;
};

TEST_F(BatchModeTest, FolderBecomesAVideoInNaturalOrderAtTheGivenRate)
{
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    // Written out of order: the folder's own order must not matter.
    testsupport::writeBmp(folder / "f_10.bmp", frame(10));
    testsupport::writeBmp(folder / "f_2.bmp", frame(2));
    testsupport::writeBmp(folder / "f_1.BMP", frame(1));
    testsupport::writeBytes(folder / "notes.txt", "not a frame");
    const fs::path video = dir.path() / "out.avi";

    const ProgramRun result = run("--output " + quoted(video) + " --fps 7 --progress " + quoted(folder));
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_NE(result.errors.find("3/3"), std::string::npos) << result.errors;  // progress
    // The numbers the folder's sequence skips are named; nothing is refused for them.
    EXPECT_NE(result.errors.find(folder.string() + ": mancano 7 numeri: f_3.bmp, f_4.bmp, f_5.bmp e altri 4"),
              std::string::npos)
        << result.errors;
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 3);
    EXPECT_EQ(probe.frameRate, "7/1");
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(1), frame(2), frame(10)}));
}

TEST_F(BatchModeTest, AFolderAndNamesThatAreNotUtf8GiveTheirFramesInOrder)
{
    // Latin-1 bytes, as an old archive names them: the run opens the very bytes it listed.
    const fs::path folder = dir.path() / "fotogrammi \xE9t\xE9";
    fs::create_directory(folder);
    testsupport::writeBmp(folder / "\xE9_2.bmp", frame(2));
    testsupport::writeBmp(folder / "\xE9_10.bmp", frame(10));
    testsupport::writeBmp(folder / "\xE9_1.bmp", frame(1));
    const fs::path video = dir.path() / "out.avi";

    const ProgramRun result = run("-o " + quoted(video) + " " + quoted(folder));
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(1), frame(2), frame(10)}));
}

TEST_F(BatchModeTest, FilesKeepTheirGivenOrderAndAMismatchIsSkippedWithALine)
{
    for (std::uint32_t seed : {1u, 2u, 3u})
        testsupport::writeBmp(dir.path() / ("p" + std::to_string(seed) + ".bmp"), frame(seed));
    testsupport::writeBmp(dir.path() / "small.bmp", {6, 8, 24, 9});
    const fs::path video = dir.path() / "out.avi";

    const ProgramRun result =
        run("-o " + quoted(video) + " " + quoted(dir.path() / "p3.bmp") + " " + quoted(dir.path() / "small.bmp") + " " +
            quoted(dir.path() / "p1.bmp") + " " + quoted(dir.path() / "p2.bmp"));
    // A script checking the status learns that an entry did not become a frame.
    ASSERT_EQ(result.status, 3) << result.errors;
    EXPECT_NE(result.errors.find("escluso " + (dir.path() / "small.bmp").string()), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("video finito senza 1 file escluso per il formato"), std::string::npos)
        << result.errors;
    EXPECT_EQ(testsupport::probeVideo(video).frameRate, "25/1");
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(3), frame(1), frame(2)}));
}

// PNG and JPEG files go in as they are: a folder's JPEGs of the first one's sampling become
// the video's frames byte for byte, one of another sampling is left out with its line, a
// progressive JPEG is stored as it is, one no save takes is refused alike by all, and no
// picture is a checksums file.
TEST_F(BatchModeTest, PictureFilesAreStoredAsTheyAreOrDecodedWhereACodecNeedsThem)
{
    const auto bytesOf = [](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    const fs::path made = testsupport::madePictures();
    const fs::path shots = dir.path() / "shots";
    fs::create_directory(shots);
    fs::copy_file(made / "rule-420.jpg", shots / "s_1.jpg");
    fs::copy_file(made / "rule-420-b.jpg", shots / "s_2.jpeg");
    fs::copy_file(made / "rule-444.jpg", shots / "s_3.jpg");
    const fs::path video = dir.path() / "stored.avi";
    const ProgramRun stored = run("-o " + quoted(video) + " " + quoted(shots));
    ASSERT_EQ(stored.status, 3) << stored.errors;
    EXPECT_NE(stored.errors.find("escluso " + (shots / "s_3.jpg").string()), std::string::npos) << stored.errors;
    const testsupport::AviInfo info = testsupport::inspectAvi(video.string());
    ASSERT_TRUE(info.error.empty()) << info.error;
    ASSERT_EQ(info.frames.size(), 2u);
    EXPECT_EQ(testsupport::readFrameBytes(video.string(), info.frames[0]), bytesOf(shots / "s_1.jpg"));
    EXPECT_EQ(testsupport::readFrameBytes(video.string(), info.frames[1]), bytesOf(shots / "s_2.jpeg"));
    EXPECT_EQ(testsupport::probeVideo(video).framesRead, 2);

    // A progressive JPEG and a motion photo are stored as they are (the photo up to its
    // picture's end), and checked against those bytes.
    const fs::path progressive = dir.path() / "p.jpg";
    fs::copy_file(made / "progressive-pillow.jpg", progressive);
    const fs::path motion = dir.path() / "m.jpg";
    fs::copy_file(made / "motion-progressive.jpg", motion);
    const ProgramRun asStored =
        run("-y -o " + quoted(video) + " --verify " + quoted(progressive) + " " + quoted(motion));
    EXPECT_EQ(asStored.status, 0) << asStored.errors;
    const testsupport::AviInfo both = testsupport::inspectAvi(video.string());
    ASSERT_EQ(both.frames.size(), 2u) << both.error;
    EXPECT_EQ(testsupport::readFrameBytes(video.string(), both.frames[1]), bytesOf(progressive));
    const ProgramRun ffv1 = run("-y -o " + quoted(video) + " --codec ffv1 --verify " + quoted(progressive));
    EXPECT_EQ(ffv1.status, 0) << ffv1.errors;
    // What one save refuses, every save refuses, for the same reason and with no advice.
    const fs::path lossless = dir.path() / "l.jpg";
    fs::copy_file(made / "lossless-ffmpeg.jpg", lossless);
    std::string reason;
    for (const char* codec : {"raw", "ffv1", "png"}) {
        const ProgramRun refused = run("-y -o " + quoted(video) + " --codec " + codec + " " + quoted(lossless));
        EXPECT_EQ(refused.status, 1) << refused.errors;
        const std::string line = refused.errors.substr(0, refused.errors.find('\n'));
        EXPECT_NE(line.find("JPEG senza perdita (lossless)"), std::string::npos) << line;
        EXPECT_TRUE(reason.empty() || line == reason) << line;
        reason = line;
    }

    const ProgramRun hashes =
        run("-y -o " + quoted(video) + " --framemd5 " + quoted(shots / "s_1.jpg") + " " + quoted(shots / "s_1.jpg"));
    EXPECT_EQ(hashes.status, 2) << hashes.errors;
    EXPECT_NE(hashes.errors.find("uno dei fotogrammi"), std::string::npos) << hashes.errors;
    EXPECT_EQ(bytesOf(shots / "s_1.jpg"), bytesOf(made / "rule-420.jpg"));

    // A Matroska master holds each JPEG's own decoded planes: equal, until the file changes.
    const fs::path master = dir.path() / "master.mkv";
    const std::string pair = quoted(shots / "s_1.jpg") + " " + quoted(shots / "s_2.jpeg");
    const ProgramRun exact = run("-o " + quoted(master) + " --verify " + pair);
    EXPECT_EQ(exact.status, 0) << exact.errors;
    EXPECT_NE(exact.errors.find("ogni fotogramma uguale al suo file"), std::string::npos) << exact.errors;
    fs::copy_file(made / "rule-420-b.jpg", shots / "s_1.jpg", fs::copy_options::overwrite_existing);
    const ProgramRun changed = run("--verify " + quoted(master) + " " + pair);
    EXPECT_EQ(changed.status, 4) << changed.errors;
    EXPECT_NE(changed.errors.find((shots / "s_1.jpg").string() + ": i pixel sono diversi"), std::string::npos)
        << changed.errors;
    // No PSNR is measured for a picture's decode, so none is quoted (it said "minimo 0,0 dB").
    EXPECT_EQ(changed.errors.find("PSNR"), std::string::npos) << changed.errors;
}

TEST_F(BatchModeTest, UnreadableInputOrAUsageErrorMakesNoVideo)
{
    testsupport::writeBmp(dir.path() / "a.bmp", frame(1));
    testsupport::writeBmp(dir.path() / "-dash.bmp", frame(1));
    testsupport::writeBytes(dir.path() / "fake.bmp", "plain text");
    fs::create_symlink("loop2.bmp", dir.path() / "loop1.bmp");
    fs::create_symlink("loop1.bmp", dir.path() / "loop2.bmp");
    const std::string video = quoted(dir.path() / "out.avi");
    const std::string good = quoted(dir.path() / "a.bmp");
    struct Case {
        std::string arguments;
        int status;
        std::string said;       // part of the message
        std::string feed = "";  // what standard input is fed from
    };
    const Case cases[] = {
        {"-o " + video + " " + good + " " + quoted(dir.path() / "missing.bmp"), 1, "missing.bmp"},
        {"-o " + video + " " + quoted(dir.path() / "fake.bmp"), 1, "fake.bmp"},
        {"-o " + video + " " + good + " " + quoted(dir.path() / "loop1.bmp"), 1, "collegamenti simbolici"},
        {"-o " + video + " " + quoted(dir.path() / "empty-folder-does-not-exist"), 1, "empty-folder-does-not-exist"},
        {"-o " + video + " --list " + quoted(dir.path() / "no-list.txt"), 1, "no-list.txt"},
        // A binary file or an endless stream given as the list stops at once, in little memory.
        {"-o " + video + " --list /dev/zero", 1, "la riga 1 contiene un carattere NUL"},
        {"-o " + video + " --list /dev/zero --null", 1, "4096 voci vuote di seguito"},
        {"-o " + video + " " + good + " --list -", 1, "la riga 1 supera la lunghezza massima di un percorso",
         "tr '\\0' a </dev/zero"},
        {"-o " + video + " --list - --null", 1, "la voce 2 supera", "{ printf 'a.bmp\\0'; tr '\\0' a </dev/zero; }"},
        {"-o " + video + " --fps 1001 " + good, 2, "--fps"},  // beyond 1000 a second
        {"-o " + video + " --fps x " + good, 2, "--fps"},
        {"-o " + video + " " + good + " --fps", 2, "--fps vuole un valore"},
        {"-o " + video, 2, "nessun file"},
        {"--fps 5 " + good, 2, "--output"},
        {"--no-such-option " + good, 2, "no-such-option"},
        {"-o " + video + " -dash.bmp", 2, "--"},
        {good, 2, "--output"},  // the window, with no display to open it on
    };
    for (const Case& c : cases) {
        const ProgramRun result = run(c.arguments, c.feed);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.errors;
        EXPECT_NE(result.errors.find(c.said), std::string::npos) << c.arguments << "\n" << result.errors;
        if (c.status == 2) {
            EXPECT_NE(result.errors.find("Prova 'kelvora-maker --help'."), std::string::npos) << c.arguments;
        }
        EXPECT_EQ(result.errors.find('\r'), std::string::npos) << c.arguments;
        EXPECT_FALSE(fs::exists(dir.path() / "out.avi")) << c.arguments;
    }
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Nothing but the given names: a run leaves no file of its own behind.
std::vector<std::string> names(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename().string());
    std::ranges::sort(found);
    return found;
}

TEST_F(BatchModeTest, AnExistingFileIsReplacedOnlyWhenAskedAndOnlyByAFinishedVideo)
{
    testsupport::writeBmp(dir.path() / "a.bmp", frame(1));
    testsupport::writeBytes(dir.path() / "fake.bmp", "plain text");
    const fs::path notes = dir.path() / "notes.txt";
    testsupport::writeBytes(notes, "important");
    fs::permissions(notes, fs::perms::owner_read | fs::perms::owner_write);
    const std::string good = quoted(dir.path() / "a.bmp");
    struct Case {
        std::string arguments;
        int status;
        bool replaced;
    };
    const Case cases[] = {
        {"-o " + quoted(notes) + " " + good, 2, false},                                             // not asked
        {"-y -o " + quoted(notes) + " " + good + " " + quoted(dir.path() / "fake.bmp"), 1, false},  // the run fails
        {"-o " + quoted(notes) + " --overwrite " + good, 0, true},
    };
    for (const Case& c : cases) {
        const ProgramRun result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.errors;
        EXPECT_EQ(contents(notes) == "important", !c.replaced) << c.arguments;
        EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"a.bmp", "fake.bmp", "notes.txt"})) << c.arguments;
    }
    EXPECT_EQ(testsupport::probeVideo(notes).framesRead, 1);
    EXPECT_EQ(fs::status(notes).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);  // a private video stays so

    // A link to nothing is a file too; with -y the video is made where it points, and the link stays.
    const fs::path link = dir.path() / "link.avi";
    fs::create_symlink("made.avi", link);
    const ProgramRun unasked = run("-o " + quoted(link) + " " + good);
    EXPECT_EQ(unasked.status, 2) << unasked.errors;
    EXPECT_NE(unasked.errors.find("collegamento simbolico"), std::string::npos) << unasked.errors;
    EXPECT_FALSE(fs::exists(dir.path() / "made.avi"));
    const ProgramRun asked = run("-y -o " + quoted(link) + " " + good);
    EXPECT_EQ(asked.status, 0) << asked.errors;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testsupport::probeVideo(dir.path() / "made.avi").framesRead, 1);
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"a.bmp", "fake.bmp", "link.avi", "made.avi", "notes.txt"}));
}

// Two runs write the same video: the first is held at the end of its list while the second
// starts. A new video has its name from the start, so the later run finds it taken and, without
// -y, ends with 2 leaving the first's video alone; with -y it replaces it once finished, and
// the first, finding its file gone from the name, says so, ends with 2 and leaves the second's
// video byte for byte as it was (an MP4's last step, the copy with its index first, reads the
// file the run wrote, never what has the name by then). Alike in every container.
TEST_F(BatchModeTest, OfTwoRunsWritingTheSameVideoTheLaterEndsWith2OrReplacesItWithY)
{
    testsupport::writeBmp(dir.path() / "first.bmp", frame(1));
    testsupport::writeBmp(dir.path() / "second.bmp", frame(2));
    for (const std::string name : {"out.avi", "out.mkv", "out.mp4"}) {
        const fs::path video = dir.path() / name;
        const bool exact = !name.ends_with(".mp4");
        for (const bool overwrite : {false, true}) {
            SCOPED_TRACE(name + (overwrite ? " with -y" : " without -y"));
            fs::remove(video);
            const std::string list = (dir.path() / "first.bmp").string() + '\0';
            Pipe input;
            Pipe errors;
            RunningProgram held({"-o", video.string(), "--list", "-", "--null"}, {input.read, errors.write});
            input.closeRead();
            errors.closeWrite();
            ASSERT_EQ(::write(input.write, list.data(), list.size()), static_cast<ssize_t>(list.size()));
            ASSERT_TRUE(held.waitUntilBlockedIn(SYS_read, STDIN_FILENO));
            const ProgramRun other =
                run((overwrite ? "-y -o " : "-o ") + quoted(video) + " " + quoted(dir.path() / "second.bmp"));
            const std::string others = contents(video);
            input.closeWrite();
            std::string said;
            char buffer[4096];
            for (ssize_t got; (got = ::read(errors.read, buffer, sizeof buffer)) > 0;)
                said.append(buffer, static_cast<std::size_t>(got));
            const int first = held.wait();
            EXPECT_EQ(testsupport::probeVideo(video).framesRead, 1);
            if (!overwrite) {
                EXPECT_EQ(other.status, 2) << other.errors;
                EXPECT_NE(other.errors.find("esiste già"), std::string::npos) << other.errors;
                EXPECT_EQ(first, 0) << said;
                EXPECT_TRUE(!exact || testsupport::decodeFrames(video, "bgr24") == framesOf({frame(1)}));
            } else {
                EXPECT_EQ(other.status, 0) << other.errors;
                EXPECT_EQ(first, 2) << said;
                EXPECT_NE(said.find("è stato sostituito da un altro file"), std::string::npos) << said;
                EXPECT_EQ(said.find("creato " + video.string()), std::string::npos) << said;
                EXPECT_TRUE(contents(video) == others);
                EXPECT_TRUE(!exact || testsupport::decodeFrames(video, "bgr24") == framesOf({frame(2)}));
            }
            EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"first.bmp", name, "second.bmp"}));
        }
        fs::remove(video);
    }
}

// A run killed outright (SIGKILL: nothing of it runs afterwards) while it writes a new video
// leaves the frames written so far at the video's name, readable; replacing a file, it
// leaves that file as it was.
TEST_F(BatchModeTest, AKilledRunLeavesItsFramesAtTheNameOrTheOldFileAsItWas)
{
    std::vector<BmpLayout> frames;
    std::string list;
    for (std::uint32_t i = 1; i <= 3; ++i) {
        frames.push_back({128, 96, 24, i});  // 36 KiB: each written on its own as soon as read
        const fs::path path = dir.path() / ("f" + std::to_string(i) + ".bmp");
        testsupport::writeBmp(path, frames.back());
        list += path.string() + '\0';
    }
    const fs::path video = dir.path() / "new.avi";
    const fs::path old = dir.path() / "old.avi";
    testsupport::writeBytes(old, "an older video");
    for (const fs::path& output : {video, old}) {
        SCOPED_TRACE(output.filename().string());
        Pipe input;
        RunningProgram program({"-y", "-o", output.string(), "--list", "-", "--null"}, {input.read, -1});
        input.closeRead();
        ASSERT_EQ(::write(input.write, list.data(), list.size()), static_cast<ssize_t>(list.size()));
        // Held reading the rest of its list once the three frames are in the file.
        ASSERT_TRUE(program.waitUntilBlockedIn(SYS_read, STDIN_FILENO));
        if (output == video) {
            // The frames follow the 'movi' list's type; the third is whole once the file reaches its end.
            const std::size_t threeFrames = 3 * (8 + testsupport::bmpPixels(frames[0]).size());
            const auto written = [&] {
                const std::string bytes = contents(video);
                const std::size_t movi = bytes.find("movi");
                return movi != std::string::npos && bytes.size() >= movi + 4 + threeFrames;
            };
            for (int tries = 0; tries < 2000 && !written(); ++tries)
                ::usleep(10'000);
        }
        ASSERT_EQ(::kill(program.pid(), SIGKILL), 0);
        EXPECT_EQ(program.wait(), 128 + SIGKILL);
    }
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 3);
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf(frames));
    EXPECT_EQ(contents(old), "an older video");
}

// --framemd5's file follows -o's rules, all decided before anything is written: an existing
// file is replaced only with -y, never a FIFO or a device, and never one of the run's inputs
// (the video, the --list file, a frame named or found in a folder). Each refusal ends with 2
// (a folder that is not there with 1, as for -o) and leaves the folder as it was.
TEST_F(BatchModeTest, TheChecksumsFileReplacesNothingUnaskedAndNoInput)
{
    const fs::path shots = dir.path() / "shots";
    fs::create_directory(shots);
    testsupport::writeBmp(shots / "a.bmp", frame(1));
    testsupport::writeBmp(shots / "b.bmp", frame(2));
    const fs::path video = dir.path() / "v.avi";
    const fs::path sums = dir.path() / "sums.txt";
    const fs::path list = dir.path() / "list.txt";
    const fs::path fifo = dir.path() / "fifo";
    const fs::path device = dir.path() / "null";
    testsupport::writeBytes(list, (shots / "b.bmp").string() + "\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
    const std::string a = quoted(shots / "a.bmp");
    const std::string aBytes = contents(shots / "a.bmp");
    const std::string bBytes = contents(shots / "b.bmp");
    struct Case {
        std::string arguments;
        int status;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"-o " + quoted(video) + " --framemd5 " + quoted(sums) + " " + a, 2, "esiste già"},
        {"-y -o " + quoted(video) + " --framemd5 " + quoted(fifo) + " " + a, 2, "non è un file normale"},
        {"-y -o " + quoted(video) + " --framemd5 " + quoted(device) + " " + a, 2, "non è un file normale"},
        {"-y -o " + quoted(video) + " --list " + quoted(list) + " --framemd5 " + quoted(list) + " " + a, 2,
         "l'elenco dei percorsi"},
        {"-y -o " + quoted(video) + " --framemd5 " + a + " " + a, 2, "uno dei fotogrammi"},
        {"-y -o " + quoted(video) + " --framemd5 " + quoted(shots / "b.bmp") + " " + quoted(shots), 2,
         "uno dei fotogrammi"},
        {"-y -o " + quoted(video) + " --framemd5 " + quoted(video) + " " + a, 2, "che è il video"},
        {"-o " + quoted(video) + " --framemd5 " + quoted(dir.path() / "nowhere" / "sums") + " " + a, 1, "non esiste"},
    };
    for (const Case& c : cases) {
        if (c.arguments.find(quoted(device)) != std::string::npos && !haveDevice)
            continue;  // no device of our own to offer (not root)
        testsupport::writeBytes(sums, "kept");
        const std::vector<std::string> before = names(dir.path());
        const ProgramRun result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.errors;
        EXPECT_NE(result.errors.find(c.said), std::string::npos) << result.errors;
        EXPECT_EQ(names(dir.path()), before) << c.arguments;
        EXPECT_EQ(contents(sums), "kept");
        EXPECT_EQ(contents(list), (shots / "b.bmp").string() + "\n");
        EXPECT_TRUE(fs::is_fifo(fifo));
        EXPECT_TRUE(!haveDevice || fs::is_character_file(device));
        EXPECT_EQ(contents(shots / "a.bmp"), aBytes);
        EXPECT_EQ(contents(shots / "b.bmp"), bBytes);
    }
    // Asked with -y, a checksums file is replaced; so it is when a video is only checked.
    const ProgramRun made = run("-o " + quoted(video) + " -y --framemd5 " + quoted(sums) + " " + a);
    EXPECT_EQ(made.status, 0) << made.errors;
    EXPECT_TRUE(contents(sums).starts_with("#format: frame checksums")) << contents(sums);
    testsupport::writeBytes(sums, "kept");
    const ProgramRun unasked = run("--verify " + quoted(video) + " --framemd5 " + quoted(sums) + " " + a);
    EXPECT_EQ(unasked.status, 2) << unasked.errors;
    EXPECT_EQ(contents(sums), "kept");
    const ProgramRun asked = run("--verify -y " + quoted(video) + " --framemd5 " + quoted(sums) + " " + a);
    EXPECT_EQ(asked.status, 0) << asked.errors;
    EXPECT_TRUE(contents(sums).starts_with("#format: frame checksums"));
}

// Names with spaces and new lines, from a pipe, in the order given: one per line, or NUL-ended.
TEST_F(BatchModeTest, AListFromAPipeKeepsItsOrderWhateverTheNames)
{
    const std::vector<std::string> files{"with space.bmp", "new\nline.bmp", "plain.bmp"};
    for (std::size_t i = 0; i < files.size(); ++i)
        testsupport::writeBmp(dir.path() / files[i], frame(static_cast<std::uint32_t>(i + 1)));
    const fs::path video = dir.path() / "out.avi";

    const ProgramRun nul =
        run("-o " + quoted(video) + " --list - --null",
            "cd " + quoted(dir.path()) + " && printf '%s\\0' 'plain.bmp' 'new\nline.bmp' 'with space.bmp'");
    ASSERT_EQ(nul.status, 0) << nul.errors;
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(3), frame(2), frame(1)}));

    testsupport::writeBytes(dir.path() / "list.txt", (dir.path() / "with space.bmp").string() + "\n\n" +
                                                         (dir.path() / "plain.bmp").string() + "\n");
    const ProgramRun lines = run("-y -o " + quoted(video) + " " + quoted(dir.path() / "plain.bmp") + " --list -",
                                 "cat " + quoted(dir.path() / "list.txt"));
    ASSERT_EQ(lines.status, 0) << lines.errors;
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(3), frame(1), frame(3)}));
}

// Each file is read once, as the save reaches it: one that is gone by then makes no video, and
// the frames already written leave nothing behind. The program is held at the end of the first
// part of its list while a file of the second part is removed.
TEST_F(BatchModeTest, AFileGoneBeforeItIsReadMakesNoVideoAndLeavesNothing)
{
    std::string first;
    std::string second;
    for (std::uint32_t i = 1; i <= 5; ++i) {
        testsupport::writeBmp(dir.path() / ("f" + std::to_string(i) + ".bmp"), frame(i));
        (i <= 3 ? first : second) += (dir.path() / ("f" + std::to_string(i) + ".bmp")).string() + '\0';
    }
    const fs::path video = dir.path() / "out.avi";
    Pipe input;
    Pipe errors;
    RunningProgram program({"-o", video.string(), "--list", "-", "--null"}, {input.read, errors.write});
    input.closeRead();
    errors.closeWrite();
    ASSERT_EQ(::write(input.write, first.data(), first.size()), static_cast<ssize_t>(first.size()));
    ASSERT_TRUE(program.waitUntilBlockedIn(SYS_read, STDIN_FILENO));
    fs::remove(dir.path() / "f4.bmp");
    ASSERT_EQ(::write(input.write, second.data(), second.size()), static_cast<ssize_t>(second.size()));
    input.closeWrite();
    std::string said;
    char buffer[4096];
    for (ssize_t got; (got = ::read(errors.read, buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(got));

    EXPECT_EQ(program.wait(), 1) << said;
    EXPECT_NE(said.find((dir.path() / "f4.bmp").string()), std::string::npos) << said;
    EXPECT_NE(said.find("nessun video creato: 1 file non si legge come bitmap"), std::string::npos) << said;
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"f1.bmp", "f2.bmp", "f3.bmp", "f5.bmp"}));
}

// A lost terminal stops the save after the frame in hand and the file is finished; a closed
// standard error stops nothing. The program is held writing its first progress line into a
// full pipe when the signal comes.
TEST_F(BatchModeTest, AHangUpFinishesTheFileAndAClosedStandardErrorStopsNothing)
{
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    std::vector<BmpLayout> frames;
    for (std::uint32_t i = 1; i <= 10; ++i) {
        frames.push_back({128, 96, 24, i});  // large enough to be written one at a time
        testsupport::writeBmp(folder / ("f" + std::to_string(i) + ".bmp"), frames.back());
    }
    const fs::path video = dir.path() / "hup.avi";
    {
        Pipe errors;
        ::fcntl(errors.write, F_SETFL, O_NONBLOCK);
        const std::string filler(4096, 'x');
        while (::write(errors.write, filler.data(), filler.size()) > 0) {}
        ::fcntl(errors.write, F_SETFL, 0);
        RunningProgram program({"-o", video.string(), "--progress", folder.string()}, {-1, errors.write});
        errors.closeWrite();
        ASSERT_TRUE(program.waitUntilBlockedIn(SYS_write, STDERR_FILENO));
        ASSERT_EQ(::kill(program.pid(), SIGHUP), 0);
        char buffer[4096];
        while (::read(errors.read, buffer, sizeof buffer) > 0) {}
        EXPECT_EQ(program.wait(), 128 + SIGHUP);
    }
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 1);
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frames[0]}));

    const fs::path whole = dir.path() / "closed.avi";
    Pipe closed;
    closed.closeRead();
    RunningProgram program({"-o", whole.string(), "--progress", folder.string()}, {-1, closed.write});
    closed.closeWrite();
    EXPECT_EQ(program.wait(), 0);
    EXPECT_TRUE(testsupport::decodeFrames(whole, "bgr24") == framesOf(frames));
}

TEST_F(BatchModeTest, HelpAndVersionNeedNoDisplay)
{
    std::string help;
    ASSERT_EQ(testsupport::runCommand("env -u DISPLAY -u QT_QPA_PLATFORM '" KELVORA_MAKER_EXE "' --help", help), 0);
    EXPECT_NE(help.find("--output"), std::string::npos) << help;
    EXPECT_NE(help.find("--fps"), std::string::npos) << help;
    std::string version;
    ASSERT_EQ(testsupport::runCommand("env -u DISPLAY -u QT_QPA_PLATFORM '" KELVORA_MAKER_EXE "' --version", version),
              0);
    EXPECT_EQ(version, "kelvora-maker " KELVORA_VERSION "\n");
}

// A small file system of its own, unmounted with the test.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& at) : m_at(at)
    {
        fs::create_directory(at);
        m_mounted = geteuid() == 0 &&
                    std::system(("mount -t tmpfs -o size=256k tmpfs " + quoted(at) + " 2>/dev/null").c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            (void)std::system(("umount " + quoted(m_at)).c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    [[nodiscard]] bool mounted() const { return m_mounted; }

private:
    fs::path m_at;
    bool m_mounted = false;
};

TEST_F(BatchModeTest, AFullDiskLeavesAReadablePartialVideoOrTheOldFileAsItWas)
{
    SmallDisk disk(dir.path() / "disk");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs (needs root and mount rights): full-disk case not run";
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    const BmpLayout big{128, 96, 24, 0};  // 36 KiB a frame: 20 of them do not fit in 256 KiB
    std::vector<BmpLayout> frames;
    for (std::uint32_t i = 0; i < 20; ++i) {
        frames.push_back({big.width, big.height, big.bitCount, i + 1});
        testsupport::writeBmp(folder / ("f" + std::to_string(i + 1) + ".bmp"), frames.back());
    }
    const fs::path video = dir.path() / "disk" / "out.avi";

    const ProgramRun result = run("-o " + quoted(video) + " " + quoted(folder));
    EXPECT_NE(result.status, 0) << result.errors;
    EXPECT_NE(result.errors.find("parziale"), std::string::npos) << result.errors;
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    ASSERT_GT(probe.framesRead, 0);
    ASSERT_LT(probe.framesRead, 20);
    frames.resize(static_cast<std::size_t>(probe.framesRead));
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf(frames));

    // Replacing a file, the same failure keeps the old file and leaves nothing else behind.
    SmallDisk other(dir.path() / "other");
    ASSERT_TRUE(other.mounted());
    const fs::path old = dir.path() / "other" / "old.avi";
    testsupport::writeBytes(old, "important");
    const ProgramRun replacing = run("-y -o " + quoted(old) + " " + quoted(folder));
    EXPECT_EQ(replacing.status, 1) << replacing.errors;
    EXPECT_EQ(contents(old), "important");
    EXPECT_EQ(names(dir.path() / "other"), std::vector<std::string>{"old.avi"});
}

// A run that says no video was made leaves none at the name, whatever the container: an input
// that does not read, a FIFO among the inputs (never waited on), the checksums aimed at a frame
// found in a folder. A finished MP4 given its index first is a file of its own: it goes too.
TEST_F(BatchModeTest, ARunThatSaysNoVideoWasMadeLeavesNoneInAnyContainer)
{
    const fs::path shots = dir.path() / "shots";
    fs::create_directory(shots);
    testsupport::writeBmp(shots / "a.bmp", frame(1));
    testsupport::writeBmp(shots / "b.bmp", frame(2));
    const fs::path fifo = dir.path() / "fifo.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string a = quoted(shots / "a.bmp");
    const std::vector<std::string> before = names(dir.path());
    for (const char* name : {"out.avi", "out.mkv", "out.mp4"}) {
        const std::string video = quoted(dir.path() / name);
        struct Case {
            std::string arguments;
            int status;
        };
        const Case cases[] = {
            {"-o " + video + " " + a + " " + quoted(dir.path() / "missing.bmp"), 1},
            {"-o " + video + " " + a + " " + quoted(fifo), 1},
            {"-y -o " + video + " --framemd5 " + quoted(shots / "b.bmp") + " " + quoted(shots), 2},
        };
        for (const Case& c : cases) {
            const ProgramRun result = run(c.arguments);
            EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.errors;
            EXPECT_NE(result.errors.find("nessun video creato"), std::string::npos) << result.errors;
            EXPECT_EQ(names(dir.path()), before) << c.arguments;
        }
    }
}

// The frames a partial line counts, "contiene N fotogrammi su M": N and M; -1 without the line.
std::pair<int, int> partialCount(const std::string& said)
{
    std::smatch found;
    if (!std::regex_search(said, found, std::regex("contiene ([0-9]+) fotogramm[ai] su ([0-9]+)")))
        return {-1, -1};
    return {std::stoi(found[1]), std::stoi(found[2])};
}

// What ffmpeg says reading the whole video, beyond its errors: empty for a file that ends where
// a part of it ends ("File ended prematurely" for one cut inside a cluster).
std::string readerWarnings(const fs::path& video)
{
    std::string said;
    (void)testsupport::runCommand("ffmpeg -v warning -i " + quoted(video) + " -f null - 2>&1", said);
    return said;
}

// A disk that fills mid-save (a limit on the file's size here, which fails writes as a full
// disk does, with no file system to mount): the video is cut back to its last whole part (an
// MP4 fragment, a Matroska cluster, an AVI frame), a reader reads every frame the partial line
// counts and no more, and finds the file ending where it should. Alike in every container.
TEST_F(BatchModeTest, AFullDiskKeepsTheWholePartsAndCountsWhatAReaderReads)
{
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    std::vector<BmpLayout> frames;
    for (std::uint32_t i = 1; i <= 600; ++i) {
        frames.push_back({32, 32, 24, i});  // noise: 3 kB raw, some 4.5 kB in FFV1, 0.8 kB in H.264
        testsupport::writeBmp(folder / ("f" + std::to_string(i) + ".bmp"), frames.back());
    }
    // 200 blocks of 512 bytes; the limit's signal ignored, so a write past it fails (EFBIG).
    const std::string limited = "sh -c 'trap \"\" XFSZ; ulimit -f 200; exec \"$@\"' sh";
    for (const std::string name : {"full.avi", "full.mkv", "full.mp4"}) {
        SCOPED_TRACE(name);
        const fs::path video = dir.path() / name;
        const ProgramRun result = run("-o " + quoted(video) + " " + quoted(folder), "", limited);
        EXPECT_EQ(result.status, 1) << result.errors;
        EXPECT_NE(result.errors.find(name + " è parziale"), std::string::npos) << result.errors;
        const auto [kept, listed] = partialCount(result.errors);
        EXPECT_EQ(listed, 600) << result.errors;
        ASSERT_GT(kept, 0) << result.errors;
        ASSERT_LT(kept, 600) << result.errors;
        const testsupport::ProbeResult probe = testsupport::probeVideo(video);
        ASSERT_TRUE(probe.ok) << probe.output;
        EXPECT_EQ(probe.framesRead, kept);
        EXPECT_EQ(readerWarnings(video), "");
        if (!name.ends_with(".mp4")) {
            EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frames.begin(), frames.begin() + kept}));
        }
    }
}

// A frame that fails to decode after 30 good ones (a JPEG whose scan ends at once, its headers
// sound, so that only its decoder finds it): the video keeps the 30, in MP4 those libx264 still held too, and so in every
// container. The run stopped reading its list (standard input) there; "su" counts every entry
// listed all the same.
TEST_F(BatchModeTest, AFrameThatFailsLateKeepsEveryFrameBeforeItInEveryContainer)
{
    const fs::path made = testsupport::madePictures();
    std::string list;
    for (int i = 0; i < 40; ++i) {
        const fs::path frame = dir.path() / ("p" + std::to_string(i) + ".jpg");
        fs::copy_file(made / (i == 30 ? "damaged-scan.jpg" : "s420-pillow.jpg"), frame);
        list += frame.string() + "\n";
    }
    testsupport::writeBytes(dir.path() / "list.txt", list);
    for (const auto& [name, codec] : {std::pair{"late.avi", " --codec ffv1"}, {"late.mkv", ""}, {"late.mp4", ""}}) {
        SCOPED_TRACE(name);
        const fs::path video = dir.path() / name;
        const ProgramRun result =
            run("-o " + quoted(video) + codec + " --list -", "cat " + quoted(dir.path() / "list.txt"));
        EXPECT_EQ(result.status, 1) << result.errors;
        EXPECT_NE(result.errors.find("p30.jpg"), std::string::npos) << result.errors;
        EXPECT_EQ(partialCount(result.errors), std::pair(30, 40)) << result.errors;
        EXPECT_EQ(testsupport::probeVideo(video).framesRead, 30);
    }
}

// A stop signal while a finished MP4 is copied with its index first (a preloaded helper raises
// it as the copy's unnamed file is made): the run ends as stopped, with 128 + the signal, and
// the video is the fragmented file, whole, every frame in it; nothing else is left. Without a
// signal the same run ends with the copy.
TEST_F(BatchModeTest, AStopSignalDuringAnMp4sLastCopyEndsAsStoppedWithTheWholeVideo)
{
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    for (std::uint32_t i = 1; i <= 10; ++i)
        testsupport::writeBmp(folder / ("f" + std::to_string(i) + ".bmp"), frame(i));
    const fs::path video = dir.path() / "stop.mp4";
    const std::string preload = "env LD_PRELOAD='" KELVORA_RAISE_PRELOAD "' "
                                "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\"";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, 0}) {
        SCOPED_TRACE(signal);
        fs::remove(video);
        const ProgramRun result = run("-o " + quoted(video) + " " + quoted(folder), "",
                                      preload + " KELVORA_RAISE_ON_UNNAMED=" + std::to_string(signal));
        const bool fragmented = contents(video).find("moof") != std::string::npos;
        if (signal != 0) {
            EXPECT_EQ(result.status, 128 + signal) << result.errors;
            EXPECT_NE(result.errors.find("interrotto: " + video.string() + " è finito con 10 fotogrammi su 10"),
                      std::string::npos)
                << result.errors;
            EXPECT_TRUE(fragmented);
        } else {
            EXPECT_EQ(result.status, 0) << result.errors;
            EXPECT_FALSE(fragmented);
        }
        EXPECT_EQ(testsupport::probeVideo(video).framesRead, 10);
        EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"frames", "stop.mp4"}));
    }
}

}  // namespace
}  // namespace kelvora::cli
