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
    // Releases the handles in the fixed order.
    [[nodiscard]] HRESULT finish() override;

private:
    mAVIDecs& m_avi;
    PAVIFILE m_file = nullptr;
    PAVISTREAM m_stream = nullptr;
    PAVISTREAM m_compressed = nullptr;
};

}  // namespace kelvora::video
