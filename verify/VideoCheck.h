#pragma once

// Whether a video holds exactly the frames it was made from: each frame read back from the
// video's file and compared with the frame file at its place in the list, the way the save
// put it there. Uncompressed, a frame's chunk must equal its file's pixel block byte for byte
// and, up to 8 bits, the colour table in effect must show the file's colours; compressed, the
// frame decoded by libavcodec must show the colours of the file's pixels as the encoder took
// them (the unused fourth byte of 32-bit pixels aside). A frame more or less in the video, a
// frame cut short at its end and a frame the decoder finds damaged are differences too.
// Safe on any thread and on any file: it touches no window, and a picture is only made when
// its size is plausible for the file (PictureLimits.h).

#include "codec/Codec.h"
#include "photo/Framing.h"
#include "verify/FrameMd5.h"

namespace kelvora::slideshow {
class ShowLayout;
}

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::verify {

struct CheckRequest {
    std::string video;
    std::vector<std::string> frames;  // in frame order, paths as the file system spells them
    bool compare = true;              // false: only read the video (and hash its frames)
    // A slideshow: `frames` are its pictures, each shown over its frames as this lays them out
    // (not owned); none: each file one frame.
    const slideshow::ShowLayout* show = nullptr;
    // Whether a save in the stream's codec fitted its frames (photo/), and into what: each
    // frame then is to be that fitting of its file. Asked once the codec is known; unset or
    // empty: frames kept as their files hold them.
    std::function<std::optional<photo::Framing>(codec::Codec)> fitting{};
};

// Told of the check's progress, on the thread that runs it.
class CheckObserver {
public:
    virtual ~CheckObserver() = default;
    // Place `index` (from 0) has been checked: the video's frame there, or the list's entry
    // the video lacks.
    virtual void frameChecked(int index) = 0;
};

enum class CheckResult {
    Same,       // every frame equals its file; none is missing, none extra
    Different,  // some frame differs from its file, is missing or is extra
    NotAVideo,  // the file is no AVI video at all
    Unchecked,  // the check could not run: the video cannot be read, or its frames decoded
    Cancelled,
};

struct CheckOutcome {
    CheckResult result = CheckResult::Unchecked;
    int videoFrames = 0;  // frames found in the video (so far, for a cancelled check)
    // The video's codec loses detail (MJPEG...): its frames were compared closely, not exactly.
    bool approximate = false;
    int listFrames = 0;
    // Frames the decoder found damaged (a slice or chunk failing its CRC, concealed or not
    // decoded at all), whether or not they were compared; the first of them, from 0.
    int damaged = 0;
    int firstDamaged = -1;
    std::string damageReason;
    int differing = 0;        // places where the video and the list differ
    int first = -1;           // the first of them, from 0 (a slideshow: the picture it concerns)
    bool pictures = false;    // a slideshow's check: the places are its pictures
    std::string firstReason;  // what differs there, in Italian ("i pixel sono diversi")
    std::string reason;       // for NotAVideo and Unchecked: why, in Italian
};

// Checks request.video against request.frames, stopping before the next frame once `cancel`
// is set. With `hashes`, every frame of the video is also hashed as ffmpeg's framemd5 does,
// whether it matches or not.
[[nodiscard]] CheckOutcome checkVideo(const CheckRequest& request, CheckObserver& observer,
                                      const std::atomic<bool>& cancel, FrameMd5* hashes = nullptr);

// The first difference and the count of the rest, for a Different outcome:
// "fotogramma 3 di 10, /x/f_3.bmp: i pixel sono diversi; 1 altro fotogramma diverso".
[[nodiscard]] std::string differenceText(const CheckOutcome& outcome, const std::vector<std::string>& frames);

}  // namespace kelvora::verify
