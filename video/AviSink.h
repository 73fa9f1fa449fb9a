#pragma once

// The AVI sink: our AVI library, through the declarations the application calls (mAVIDecs),
// so tests can record every call.

#include "video/VideoSink.h"

namespace kelvora::video {

class AviSink final : public VideoSink {
public:
    explicit AviSink(mAVIDecs& avi) : m_avi(avi) {}
    ~AviSink() override { (void)finish(); }
    AviSink(const AviSink&) = delete;
    AviSink& operator=(const AviSink&) = delete;

    [[nodiscard]] HRESULT open(const std::string& path) override;
    [[nodiscard]] HRESULT addStream(const SinkStream& stream) override;
    [[nodiscard]] HRESULT changeFormat(LONG frame, std::span<const std::uint8_t> format) override;
    [[nodiscard]] HRESULT writeFrames(LONG start, std::span<const AVISAMPLE> samples, LONG* written) override;
    [[nodiscard]] HRESULT writePacket(const SinkPacket& packet) override;
    // 16-bit PCM, as a second stream.
    [[nodiscard]] HRESULT addAudio(const audio::AudioStream& stream) override;
    [[nodiscard]] HRESULT writeAudio(std::span<const audio::AudioPacket> packets) override;
    // Releases the handles in the fixed order.
    [[nodiscard]] HRESULT finish() override;

private:
    mAVIDecs& m_avi;
    PAVIFILE m_file = nullptr;
    PAVISTREAM m_stream = nullptr;
    PAVISTREAM m_compressed = nullptr;
    PAVISTREAM m_audio = nullptr;
    LONG m_audioBlocks = 0;
    LONG m_blockAlign = 0;
};

}  // namespace kelvora::video
