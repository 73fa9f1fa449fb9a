#pragma once

// The command line: files and folders for the frame list, and the batch mode that makes the
// video with no window:  kelvora-maker [--output OUT.avi [--fps N] [-y] [--list FILE]] [FILE|FOLDER]...
// and the check of a video against its frames: kelvora-maker --verify VIDEO.avi FILE|FOLDER...
// Read from the raw arguments before any application object exists, so that help, usage
// errors and the batch mode never need a display.

#include "cli/HelpText.h"
#include "codec/Codec.h"
#include "photo/Framing.h"
#include "slideshow/Timeline.h"
#include "video/StreamRate.h"

#include <span>
#include <string>
#include <vector>

namespace kelvora::cli {

// Exit statuses; a signal that stops the save gives 128 + its number (129, 130, 143).
inline constexpr int kExitMade = 0;         // the video is finished, one frame per entry
inline constexpr int kExitFailed = 1;       // unreadable input, nothing to save, or the save failed
inline constexpr int kExitUsage = 2;        // the command line cannot be run as given
inline constexpr int kExitSubstituted = 3;  // finished, some frames are the one before them
inline constexpr int kExitDiffers = 4;      // the video does not hold exactly the frames checked

struct Invocation {
    std::vector<std::string> items;          // files and folders, in the order given, as the shell passed them
    std::string output;                      // the video to make without a window; empty: open the window
    video::StreamRate rate;                  // the window's own rate at start, 25 a second
    codec::Codec codec = codec::Codec::Raw;  // how the frames are stored (FFV1 in .mkv, H.264 in .mp4)
    int crf = codec::kDefaultCrf;            // H.264's quality, 1 (best) to 51
    // The video's size (none: each save's own), how each picture fits it and the bars' colour.
    photo::Framing framing;
    double minPsnr = 0;          // --verify of an MP4: the lowest PSNR a frame may have; 0 none
    bool overwrite = false;      // an existing output may be replaced
    std::string list;            // a file of further paths, "-" for standard input
    bool nullSeparated = false;  // the list's paths end with NUL, not a new line
    bool progress = false;       // progress even when standard error is no terminal
    // Check the video against its frames: with --output the one written, else the first item.
    bool verify = false;
    std::string framemd5;    // where the video's frame checksums go, "-" standard output
    std::string qtPlatform;  // Qt's own -platform value, when given
    // A slideshow: the pictures and their durations from a concat file, the music, the fades.
    std::string concat;
    std::string audio;
    bool rateGiven = false;  // --fps was given (with --verify alone: the rate the video was made at)
    bool fitToAudio = false;
    slideshow::Fades fades;
    [[nodiscard]] bool slideshow() const { return !concat.empty() || !audio.empty() || fades.any(); }
};

enum class Action { Window, Batch, Verify, Help, Version, UsageError };

struct CommandLine {
    Action action = Action::Window;
    Invocation invocation;
    std::string error;  // for UsageError: what is wrong, in Italian
};

// Reads the arguments after the program's name. Qt's own window options (-platform xcb,
// --style Fusion, ...) are recognised and skipped: the window's application object takes
// them from the same arguments.
[[nodiscard]] CommandLine parseCommandLine(std::span<char* const> arguments);

// "kelvora-maker: <error>" and the hint to --help, on standard error.
void printUsageError(const std::string& error);

// Why a window cannot open here (no display to open it on); empty when one can.
[[nodiscard]] std::string windowUnavailableReason(const Invocation& invocation);

}  // namespace kelvora::cli
