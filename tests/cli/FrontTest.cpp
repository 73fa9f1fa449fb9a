// The program's front: --help and --version answered with no library of the program loaded
// (the dynamic loader's own account), everything else handed to the program proper with the
// same arguments, a missing program named; and the guess that decides the huge pages.
#include "cli/EncodeGuess.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/fs/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kelvora::cli {
namespace {

TEST(FrontTest, HelpAndVersionLoadNoLibraryOfTheProgramAndTheRestReachesIt)
{
    for (const char* only : {"--version", "--help"}) {
        std::string loaded;
        ASSERT_EQ(testsupport::runCommand(
                      std::string("LD_DEBUG=libs '" KELVORA_MAKER_EXE "' ") + only + " 2>&1 >/dev/null", loaded),
                  0);
        for (const char* library : {"libQt6Core", "libavcodec", "libavformat", "libx264", "libturbojpeg"})
            EXPECT_EQ(loaded.find(library), std::string::npos) << only << " loads " << library;
    }
    std::string version;
    ASSERT_EQ(testsupport::runCommand("'" KELVORA_MAKER_EXE "' --version", version), 0);
    EXPECT_EQ(version, "kelvora-maker " KELVORA_VERSION "\n");
    // Any other words are the program's: a usage error is its, with its status.
    std::string usage;
    EXPECT_EQ(testsupport::runCommand("'" KELVORA_MAKER_EXE "' --fps 0 -o x.avi 2>&1", usage), 2);
    EXPECT_NE(usage.find("--fps"), std::string::npos) << usage;

    // The program without a window hands a line that asks for the window to the program proper.
    std::string window;
    EXPECT_EQ(testsupport::runCommand(
                  "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" KELVORA_BATCH_EXE "' 2>&1", window),
              2);
    EXPECT_NE(window.find("nessuno schermo per la finestra"), std::string::npos) << window;

    // A front with no program beside it says so and ends as a shell does for a missing command.
    const testsupport::TempDir dir;
    const std::filesystem::path alone = dir.path() / "bin" / "kelvora-maker";
    std::filesystem::create_directories(alone.parent_path());
    std::filesystem::copy_file(KELVORA_MAKER_EXE, alone);
    std::string missing;
    EXPECT_EQ(testsupport::runCommand("'" + alone.string() + "' -o x.avi a.bmp 2>&1", missing), 127);
    EXPECT_NE(missing.find("non si avvia"), std::string::npos) << missing;
}

// The program loads the codec libraries at the first call of one of their functions, and a run
// that makes a video is started without the window's libraries: a save that stores its files as
// they are starts without either, one that encodes loads the codecs and still makes a video a
// real reader plays.
TEST(FrontTest, AStoredSaveLoadsNoCodecLibraryAndAnEncodingSaveLoadsThem)
{
    const testsupport::TempDir dir;
    std::string frames;
    for (int i = 0; i < 3; ++i) {
        const std::filesystem::path frame = dir.path() / ("f" + std::to_string(i) + ".bmp");
        testsupport::writeBmp(frame, testsupport::frameLayout({.width = 64, .height = 48, .seed = 7u + i}));
        frames += " '" + frame.string() + "'";
    }
    // Nor, with no window, Qt's GUI libraries.
    const char* codecLibraries[] = {"libavcodec",   "libavformat", "libavutil", "libswscale",
                                    "libturbojpeg", "liblcms2",    "libQt6Gui", "libQt6Widgets"};
    struct Save {
        const char* video;
        bool encodes;
    };
    for (const Save save : {Save{"stored.avi", false}, Save{"archive.mkv", true}, Save{"share.mp4", true}}) {
        const std::filesystem::path video = dir.path() / save.video;
        std::string loaded;
        ASSERT_EQ(testsupport::runCommand("LD_DEBUG=files '" KELVORA_MAKER_EXE "' -o '" + video.string() + "'" +
                                              frames + " 2>&1 >/dev/null",
                                          loaded),
                  0)
            << loaded;
        EXPECT_EQ(loaded.find("libavcodec.so") != std::string::npos, save.encodes) << save.video;
        if (!save.encodes) {
            for (const char* library : codecLibraries)
                EXPECT_EQ(loaded.find(library), std::string::npos) << save.video << " loads " << library;
        }
        const testsupport::ProbeResult probe = testsupport::probeVideo(video);
        EXPECT_TRUE(probe.ok) << probe.output;
        EXPECT_EQ(probe.framesRead, 3) << save.video << ": " << probe.output;
    }
}

TEST(FrontTest, TheGuessTakesEveryRunThatMayEncodeAndLeavesStoredSavesAlone)
{
    struct Case {
        std::vector<std::string> words;
        bool encodes;
    };
    const Case cases[] = {
        {{}, true},                       // the window
        {{"a.bmp", "b.bmp"}, true},       // the window, with frames
        {{"-o", "v.avi", "dir"}, false},  // files stored as they are
        {{"--output=v.avi", "dir"}, false},
        {{"-o", "v.MP4", "dir"}, true},
        {{"--output=v.mkv", "dir"}, true},
        {{"-o", "v.avi", "--codec", "ffv1", "dir"}, true},
        {{"-o", "v.avi", "--codec=raw", "dir"}, false},
        {{"-o", "v.avi", "--size", "1080p", "dir"}, true},
        {{"-o", "v.avi", "--size", "original", "dir"}, false},
        {{"-o", "v.avi", "--audio", "m.wav", "dir"}, true},
        {{"--verify", "v.avi", "dir"}, false},              // a check decodes, it encodes nothing
        {{"-o", "v.avi", "--", "--codec", "ffv1"}, false},  // files, after --
    };
    for (const Case& c : cases) {
        std::vector<char*> words;
        std::vector<std::string> copies = c.words;
        for (std::string& word : copies)
            words.push_back(word.data());
        EXPECT_EQ(mayEncodeByWords(words), c.encodes) << ::testing::PrintToString(c.words);
    }
}

}  // namespace
}  // namespace kelvora::cli
