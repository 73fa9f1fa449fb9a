#pragma once

// The sink for Matroska and MP4: libavformat's writers. Matroska holds FFV1 for the archive
// (every frame a key frame), MP4 H.264 to share; the frames' times are whole frames of the
// stream's rate. An MP4 is written fragmented, its index first and a fragment at least every
// second, so that a save cut short leaves a file that plays up to the last fragment written
// and a browser starts playing before the file has arrived. The file is written through the
// descriptor opened for it, and a write that fails (a full disk) cuts it back to its last whole
// fragment or cluster: what a reader reads, and what the save counts.

#include "video/VideoSink.h"

#include <atomic>
#include <memory>

namespace kelvora::mux {

class AvFormatSink final : public video::VideoSink {
public:
    // `container` is Matroska or Mp4; `stop` (the save's cancel) stops giving a finished MP4 its
    // index first, which leaves the fragmented file.
    AvFormatSink(video::Container container, const std::atomic<bool>& stop);
    ~AvFormatSink() override;
    AvFormatSink(const AvFormatSink&) = delete;
    AvFormatSink& operator=(const AvFormatSink&) = delete;

    video::SinkResult open(const std::string& path) override;
    video::SinkResult addStream(const video::SinkStream& stream) override;
    video::SinkResult changeFormat(std::int64_t frame, std::span<const std::uint8_t> format) override;
    video::SinkResult writeFrames(std::int64_t first, std::span<const video::SinkFrame> frames) override;
    video::SinkResult writePacket(const video::SinkPacket& packet) override;
    // One frame, one packet of `frames` frames' duration.
    video::SinkResult writeHeld(std::int64_t start, const video::SinkFrame& frame, std::int64_t frames) override;
    // AAC in MP4, FLAC in Matroska.
    video::SinkResult addAudio(const audio::AudioStream& stream) override;
    video::SinkResult writeAudio(std::span<const audio::AudioPacket> packets) override;
    video::SinkResult finish() override;
    [[nodiscard]] platform::FileIdentity renewedFile() const override { return m_renewed; }
    [[nodiscard]] std::optional<std::size_t> framesInFile() const override { return m_kept; }

private:
    struct Muxer;
    video::Container m_container;
    const std::atomic<bool>& m_stop;
    platform::FileIdentity m_renewed;  // the MP4 rewritten with its index first
    std::optional<std::size_t> m_kept;
    std::unique_ptr<Muxer> m_muxer;
};

}  // namespace kelvora::mux
