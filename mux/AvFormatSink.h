#pragma once

// The sink for Matroska and MP4: libavformat's writers. Matroska holds FFV1 for the archive
// (every frame a key frame), MP4 H.264 to share; the frames' times are whole frames of the
// stream's rate. An MP4 is written fragmented, its index first and a fragment at least every
// second, so that a save cut short leaves a file that plays up to the last fragment written
// and a browser starts playing before the file has arrived.

#include "video/VideoSink.h"

#include <memory>

namespace kelvora::mux {

class AvFormatSink final : public video::VideoSink {
public:
    // `container` is Matroska or Mp4.
    explicit AvFormatSink(video::Container container);
    ~AvFormatSink() override;
    AvFormatSink(const AvFormatSink&) = delete;
    AvFormatSink& operator=(const AvFormatSink&) = delete;

    [[nodiscard]] video::HRESULT open(const std::string& path) override;
    [[nodiscard]] video::HRESULT addStream(const video::SinkStream& stream) override;
    [[nodiscard]] video::HRESULT changeFormat(video::LONG frame, std::span<const std::uint8_t> format) override;
    [[nodiscard]] video::HRESULT writeFrames(video::LONG start, std::span<const video::AVISAMPLE> samples,
                                             video::LONG* written) override;
    [[nodiscard]] video::HRESULT writePacket(const video::SinkPacket& packet) override;
    [[nodiscard]] video::HRESULT finish() override;
    [[nodiscard]] bool renewedFile() const override { return m_renewed; }

private:
    struct Muxer;
    video::Container m_container;
    bool m_renewed = false;  // the MP4 was rewritten with its index first
    std::unique_ptr<Muxer> m_muxer;
};

}  // namespace kelvora::mux
