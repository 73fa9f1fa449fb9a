#pragma once

// The AVI sink: our AVI library, through the declarations the application calls (mAVIDecs),
// so tests can record every call. It speaks the library's tongue (result codes, LONG frame
// numbers, AVISAMPLE) to the library and the save's to the save.

#include "video/VideoSink.h"
#include "video/mAVIDecs.h"

namespace kelvora::video {

class AviSink final : public VideoSink {
public:
    explicit AviSink(mAVIDecs& avi) : m_avi(avi) {}
    ~AviSink() override { (void)finish(); }
    AviSink(const AviSink&) = delete;
    AviSink& operator=(const AviSink&) = delete;

    SinkResult open(const std::string& path) override;
    SinkResult addStream(const SinkStream& stream) override;
    SinkResult changeFormat(std::int64_t frame, std::span<const std::uint8_t> format) override;
    SinkResult writeFrames(std::int64_t first, std::span<const SinkFrame> frames) override;
    SinkResult writePacket(const SinkPacket& packet) override;
    // 16-bit PCM, as a second stream.
    SinkResult addAudio(const audio::AudioStream& stream) override;
    SinkResult writeAudio(std::span<const audio::AudioPacket> packets) override;
    // Releases the handles in the fixed order.
    SinkResult finish() override;

private:
    [[nodiscard]] HRESULT createStream(const SinkStream& stream);
    [[nodiscard]] HRESULT createAudio(const audio::AudioStream& stream);

    mAVIDecs& m_avi;
    PAVIFILE m_file = nullptr;
    PAVISTREAM m_stream = nullptr;
    PAVISTREAM m_compressed = nullptr;
    PAVISTREAM m_audio = nullptr;
    LONG m_audioBlocks = 0;
    LONG m_blockAlign = 0;
    std::vector<AVISAMPLE> m_samples;  // the frames of a write in the library's records, reused
};

}  // namespace kelvora::video
