#pragma once

// Where a save's frames go: a video file of one container. The save's frame loop hands a sink
// the stream's description once and then the frames in order (as the codec made them, or as
// their files store them); the sink alone knows the file's layout. Our AVI library is one
// sink (AviSink), libavformat's Matroska and MP4 writers another (mux/AvFormatSink); the save
// gets its sink from a factory its caller hands it (mux/SinkFactory), so it needs no muxer.

#include "audio/AudioPlan.h"
#include "codec/Codec.h"
#include "platform/filesystem/File.h"
#include "video/SinkResult.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora::video {

class mAVIDecs;  // the AVI library, which only the AVI sink calls

enum class Container {
    Avi,       // our AVI library: raw, FFV1 or PNG
    Matroska,  // FFV1 for the archive
    Mp4,       // H.264 to share
};

// The container an output's name asks for: ".mkv" Matroska, ".mp4" MP4, anything else AVI.
[[nodiscard]] Container containerForPath(std::string_view path);
// The codec a container stores when the user names none: FFV1 in Matroska, H.264 in MP4.
[[nodiscard]] codec::Codec defaultCodecFor(Container container, codec::Codec asked);
// Whether `container` can hold `codec`.
[[nodiscard]] bool containerHolds(Container container, codec::Codec codec);

// The stream as the first frame and the codec define it.
struct SinkStream {
    codec::Codec codec = codec::Codec::Raw;
    std::int32_t width = 0;
    std::int32_t height = 0;  // as the first frame's bitmap gives it (negative: top-down)
    std::uint32_t rate = 25;  // rate / scale frames a second
    std::uint32_t scale = 1;
    // AVI: the stream's format block ('strf') and, for raw frames, the size of each.
    std::span<const std::uint8_t> aviFormat;
    // The stream header's handler when the frames are no codec's of ours (picture files stored
    // as they are: 'MJPG', 'MPNG'); 0: the codec's.
    std::uint32_t handler = 0;
    std::uint32_t suggestedBufferSize = 0;
    // Others: the codec's configuration record (FFV1's, H.264's SPS and PPS) and the
    // frames the codec holds back before the first comes out (reordering).
    std::span<const std::uint8_t> configuration;
    int reorderDepth = 0;
    // The frames are a JPEG's own Y'CbCr planes, full range (0 to 255), which a container that
    // can say so says, for players to show their colours.
    bool fullRange = false;
    // A soundtrack's stream is added next (addAudio): the file's header waits for it.
    bool audioFollows = false;
};

// A frame's bytes left in its open file, copied from there into the video without passing
// through memory: `stored` bytes from `offset` on, then zeros up to `size`.
struct FileBytes {
    platform::File* file = nullptr;
    std::int64_t offset = 0;
    std::size_t stored = 0;
    std::size_t size = 0;
};

// One frame as the save hands it, the frames of a call numbered on from its first: its bytes,
// or bytes left in its file (AVI only), and whether it stands alone. A frame without bytes
// (null) is empty: AVI's readers show the frame before it on.
struct SinkFrame {
    std::span<const std::uint8_t> bytes;
    FileBytes copied;
    bool key = false;

    [[nodiscard]] bool inFile() const { return copied.file != nullptr; }
    // Its bytes in the video.
    [[nodiscard]] std::size_t size() const { return inFile() ? copied.size : bytes.size(); }
};

// One encoded frame of a codec that reorders frames: its presentation and decoding times in
// frames (dts may start below zero), and how many frames it is shown for.
struct SinkPacket {
    std::span<const std::uint8_t> data;
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    bool key = false;
    std::int64_t duration = 1;
};

class VideoSink {
public:
    virtual ~VideoSink() = default;

    // Opens `path` (it exists, empty: the hidden file of the save).
    virtual SinkResult open(const std::string& path) = 0;
    // The video stream, before any frame; the file's headers go out.
    virtual SinkResult addStream(const SinkStream& stream) = 0;
    // A frame's own colours from frame `frame` on (palette frames, raw AVI only).
    virtual SinkResult changeFormat(std::int64_t frame, std::span<const std::uint8_t> format) = 0;
    // Frames `first`... in order (every frame stands alone); the result counts those in the file.
    virtual SinkResult writeFrames(std::int64_t first, std::span<const SinkFrame> frames) = 0;
    // One frame of a codec that reorders frames.
    virtual SinkResult writePacket(const SinkPacket& packet) = 0;
    // Frame `start`, shown for `frames` frames (a slideshow's picture held): by default the
    // frame and then `frames` - 1 empty frames, which AVI's readers take as the frame shown on.
    virtual SinkResult writeHeld(std::int64_t start, const SinkFrame& frame, std::int64_t frames);
    // The soundtrack's stream, after the video's and before any frame.
    virtual SinkResult addAudio(const audio::AudioStream& stream)
    {
        (void)stream;
        return {SinkFailure::Unsupported};
    }
    // Audio packets in order, each where its time falls among the frames: the caller
    // interleaves them (AVI: one chunk each, of whole samples).
    virtual SinkResult writeAudio(std::span<const audio::AudioPacket> packets)
    {
        (void)packets;
        return {SinkFailure::Unsupported};
    }
    // Finishes the file (indexes, headers) and closes it: ok when the file is complete. Also
    // run when the sink goes without it.
    virtual SinkResult finish() = 0;
    // The file finish put at the path, in one step, in place of the one written, a finished
    // copy of it (another file by the system's count: whoever checks the file by its identity
    // must know); unknown when it did not.
    [[nodiscard]] virtual platform::FileIdentity renewedFile() const { return {}; }
    // The frames the finished file holds when fewer than were written: a write that failed cut
    // it back to its last whole part. None: every frame written is in it.
    [[nodiscard]] virtual std::optional<std::size_t> framesInFile() const { return std::nullopt; }
};

// Makes the sink for `container` (through `avi` for AVI); `stop` is the save's cancel, which a
// sink may heed in its last step. mux::sinkFor knows every container.
using SinkFactory =
    std::function<std::unique_ptr<VideoSink>(Container container, mAVIDecs& avi, const std::atomic<bool>& stop)>;

}  // namespace kelvora::video
