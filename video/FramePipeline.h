#pragma once

// The frames of a save, loaded ahead of the one being written and, for a compressed video,
// encoded on every core at once, then handed out in list order. Loading runs on a thread of
// its own, so the disk reads the next files while the last one is written; every frame is
// encoded on its own (all are key frames), so encoders run side by side, one per core. The
// frames in flight are bounded: a slot is reused only once the writer has given it back, and
// the pixels held by the frames in flight stay within kPixelsAheadBytes (or one frame where
// one is larger): large frames of a compressed video let their pixels go once an encoder has
// read them, and the next is loaded only when the bytes allow.

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "codec/LosslessEncoder.h"
#include "codec/Yuv420.h"
#include "photo/Framing.h"
#include "platform/filesystem/File.h"
#include "platform/msgbox/MessageBox.h"
#include "video/FrameSource.h"
#include "video/PictureFrame.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvora::video {

class SaveObserver;
class FrameFitter;

// One frame as the writer receives it.
struct PreparedFrame {
    std::size_t index = 0;  // its place in the video
    std::string path;
    bool loaded = false;    // false: the file no longer loads (its bitmap object has said why)
    bool isTarget = false;  // the file is the one the video is to replace
    std::unique_ptr<bitmap::cDIB> dib;
    // A picture file (PNG, JPEG) in place of a bitmap: the picture's type is set then. Held by
    // address, as the bitmap object is, since a write may copy from its open file.
    std::unique_ptr<PictureFrame> picture = std::make_unique<PictureFrame>();
    bitmap::FramePlan plan;            // of a loaded frame
    std::vector<std::uint8_t> packet;  // the encoded frame (H.264: its Y'CbCr planes), when it fits the stream
    std::string failure;               // why the frame could not be prepared (encoding, memory); empty when it was
    std::vector<std::uint8_t> rgb;     // a fitted frame's picture, kept for a slideshow's fades (top-down RGB)

    [[nodiscard]] bool isPicture() const { return picture->isPicture(); }
    // The bytes its file stores for it: the pixel block, or the whole picture file.
    [[nodiscard]] std::int64_t storedBytes() const { return isPicture() ? picture->size : dib->SizeImage(); }
    [[nodiscard]] platform::FileIdentity identity() const
    {
        return isPicture() ? picture->identity : dib->fileIdentity();
    }
    // The bytes of its pixels (or picture file) held in memory.
    [[nodiscard]] std::size_t heldPixelBytes() const { return dib->bits().size() + picture->bytes.size(); }
    // Lets them go once they are encoded; sizes and headers stay.
    void releasePixels()
    {
        dib->ReleaseBits();
        std::vector<std::uint8_t>().swap(picture->bytes);
    }
};

// What the frames in flight may hold of pixels read ahead: the disk stays busy between
// files, and a save of large frames never holds many at once.
inline constexpr std::size_t kPixelsAheadBytes = std::size_t{64} << 20;

// How a frame's file is read: for a video of `codec` (a picture file's bytes are read whole
// when a codec decodes them), a bitmap's pixel block left in its file (copied from there as
// it is written) or read.
struct FrameReading {
    codec::Codec codec = codec::Codec::Raw;
    bool pixelsLeftInFile = false;
    // Every frame is fitted into the video's size: a picture is decoded whatever the codec.
    bool fitted = false;
};
// Loads the file at `frame.path` into the frame, a bitmap or a picture file as its first bytes
// say, and plans it; sets `frame.loaded` (false: the user has been told why).
void loadFrameFile(PreparedFrame& frame, FrameReading reading, platform::MessageBoxService& messages);

// How the frames are encoded: by `codec` into a stream of `shape`, by `plan.encoders`
// encoders side by side. The first encoder has already given the stream its format; the
// others are opened alike.
struct PipelineEncoding {
    codec::Codec codec = codec::Codec::Raw;
    bitmap::StreamShape shape;
    codec::EncoderPlan plan;
    std::unique_ptr<codec::LosslessEncoder> first;
    // Frames that are picture files: the pixel format the first picture set for the stream,
    // and what their transparency shows over where it has no alpha.
    AVPixelFormat pictureFormat = AV_PIX_FMT_NONE;
    codec::Background background = {};
    // Every frame fitted into the video's size (photo/) before it is encoded: `shape` is then
    // the fitted pictures' (top-down RGB) and frames of any shape go in.
    std::optional<photo::Framing> fitted = std::nullopt;
    // The fitted pictures are kept beside their frames (PreparedFrame::rgb): a slideshow draws
    // its fades from them.
    bool keepPictures = false;
};

// Where the pipeline takes its frames from: the source past the entries already read, the
// admission that decides about each entry (none: every entry is a frame), and the file the
// video is to replace, which must not be one of them.
struct PipelineFrames {
    FrameSource& source;
    FrameAdmission* admission = nullptr;
    std::size_t nextEntry = 0;  // the entry number source.next() gives next
    platform::FileIdentity target = {};
};

// Starts one of the pipeline's threads; throws (std::system_error) when the system cannot.
using ThreadStart = std::function<std::jthread(std::function<void()>)>;
[[nodiscard]] std::jthread startThread(std::function<void()> body);

class FramePipeline;
// Ends a cancelled save's pipeline without waiting for the frames being encoded, which are
// dropped: a full-size frame can take an encoder seconds. Loading stops at once; the pipeline
// is let go on a thread of its own once its encoders have finished their frames.
void abandon(std::unique_ptr<FramePipeline> pipeline);

class FramePipeline {
public:
    // `first` is frame 0, already loaded. Messages of frames that do not load
    // go to `messages` from the loading thread; `observer` hears frameLoading there (with the
    // entry's number). `frameBytes` (the first frame's pixel block) sizes the frames held in
    // flight.
    // A thread that cannot be started leaves fewer encoders; with no loader or no encoder
    // left the pipeline is broken from the start, never waiting for a thread that is not there.
    FramePipeline(PipelineFrames frames, PreparedFrame first, platform::MessageBoxService& messages,
                  SaveObserver& observer, PipelineEncoding encoding, std::size_t frameBytes,
                  const std::atomic<bool>& cancel, const ThreadStart& start = startThread);
    // Stops loading and encoding and waits for the threads (a box being shown included).
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Frame `index` once it is ready, or nullptr when there is none: the source has ended, or
    // loading stopped before it (the save was cancelled). Frames are taken in order, each
    // once; several may be held at a time, and each is given back once written.
    [[nodiscard]] PreparedFrame* take(std::size_t index);
    // Appends to `batch` the frames from `from` on that are ready, up to `most` of them and
    // up to the first whose pixel block is not smaller than `smallerThan`, after waiting a
    // moment for them to be ready.
    void takeFollowing(std::size_t from, std::size_t most, std::int64_t smallerThan,
                       std::vector<PreparedFrame*>& batch);
    void giveBack(std::span<PreparedFrame* const> frames);
    // A thread of the pipeline failed (out of memory) or could not be started: take gives
    // nothing more.
    [[nodiscard]] bool broken();
    // Why it broke, in Italian, for the user.
    [[nodiscard]] std::string brokenReason();
    // Stops loading and waits for the loading thread alone (it reads the source and shows the
    // boxes); the encoders are told to stop and go on only with the frame each has in hand.
    void stopLoading();
    // The most bytes of pixels the frames in flight held at once (the frames' blocks loaded
    // and not yet let go), for tests and benchmarks.
    [[nodiscard]] std::size_t mostPixelBytesHeld();

private:
    enum class State { Free, Loading, Loaded, Encoding, Ready };
    struct Decoding;
    struct Slot {
        State state = State::Free;
        PreparedFrame frame;
        std::size_t pixelBytes = 0;  // of the frame's pixels, counted in m_heldPixelBytes
    };

    [[nodiscard]] bool startOne(const ThreadStart& start, std::function<void()> body);
    void load();
    void loadAll();
    [[nodiscard]] bool fill(PreparedFrame& frame, std::size_t index);
    [[nodiscard]] bool readEntry(PreparedFrame& frame);
    void encode(std::unique_ptr<codec::LosslessEncoder> encoder);
    void encodeAll(std::unique_ptr<codec::LosslessEncoder> encoder);
    void breakDown();
    void prepare(Slot& slot, codec::LosslessEncoder* encoder, Decoding& decoding);
    void convert(PreparedFrame& frame, codec::Yuv420Converter& converter, Decoding& decoding);
    void fit(Slot& slot, FrameFitter& fitter, codec::LosslessEncoder* encoder);
    void markReady(Slot& slot, std::unique_lock<std::mutex>& lock);
    [[nodiscard]] bool roomForPixels() const;
    void countPixels(Slot& slot);
    void releasePixels(Slot& slot);
    [[nodiscard]] bool isReady(std::size_t index);
    [[nodiscard]] Slot& slotOf(std::size_t index) { return m_slots[index % m_slots.size()]; }
    [[nodiscard]] bool stopping() const;

    PipelineFrames m_frames;
    platform::MessageBoxService& m_messages;
    SaveObserver& m_observer;
    const std::atomic<bool>& m_cancel;
    const codec::Codec m_codec;
    const bitmap::StreamShape m_shape;
    const int m_threadsEach;
    const AVPixelFormat m_pictureFormat;
    const std::optional<photo::Framing> m_fitted;
    const codec::Background m_background;
    const bool m_keepPictures;
    PreparedFrame m_first;
    const bool m_pixelsLeftInFile;  // the frames' pixels are copied from their files as they are written
    const std::size_t m_frameBytes;
    bool m_releasePixels = false;  // frames let their pixels go once encoded (large frames)

    static constexpr std::size_t kNotWaiting = static_cast<std::size_t>(-1);

    std::mutex m_mutex;
    // Each side waits on its own condition, woken only when what it waits for may be there:
    // small frames then cost no wake-up each.
    std::condition_variable m_slotFreed;  // the loader's
    std::condition_variable m_loaded;     // the encoders'
    std::condition_variable m_ready;      // the writer's
    std::size_t m_writerWaitsFor = kNotWaiting;
    std::vector<Slot> m_slots;
    std::deque<std::size_t> m_toEncode;  // loaded frames waiting for an encoder, in order
    std::size_t m_heldPixelBytes = 0;    // of the frames in flight
    std::size_t m_mostPixelBytes = 0;
    bool m_loadingEnded = false;
    bool m_broken = false;
    bool m_threadsMissing = false;  // broken since a thread could not be started
    bool m_stop = false;
    std::size_t m_loader = static_cast<std::size_t>(-1);  // the loading thread's place in m_threads
    std::vector<std::jthread> m_threads;                  // last: they start once the rest is ready
};

}  // namespace kelvora::video
