#include "video/AviSink.h"

#include <utility>

namespace kelvora::video {

HRESULT AviSink::open(const std::string& path)
{
    return m_avi.AVIFileOpen(&m_file, path.c_str(), OF_WRITE | OF_CREATE, nullptr);
}

HRESULT AviSink::addStream(const SinkStream& stream)
{
    AVISTREAMINFOA info{};
    info.fccType = m_avi.mmioStringToFOURCCA("vids", 0);
    info.fccHandler = stream.handler != 0 ? stream.handler : codecFourCC(stream.codec).value();
    info.dwScale = stream.scale;
    info.dwRate = stream.rate;
    // An uncompressed frame's size is known now; a compressed stream's largest frame is
    // taken as the frames come.
    info.dwSuggestedBufferSize = stream.suggestedBufferSize;
    m_avi.SetRect(&info.rcFrame, 0, 0, stream.width, stream.height);
    if (const HRESULT result = m_avi.AVIFileCreateStreamA(m_file, &m_stream, &info))
        return result;
    // No compressor in the library: the pixels, or the codec's frames, go in as they are.
    const AVICOMPRESSOPTIONS options{};
    if (const HRESULT result = m_avi.AVIMakeCompressedStream(&m_compressed, m_stream, &options, nullptr))
        return result;
    return m_avi.AVIStreamSetFormat(m_compressed, 0, stream.aviFormat.data(),
                                    static_cast<LONG>(stream.aviFormat.size()));
}

HRESULT AviSink::changeFormat(LONG frame, std::span<const std::uint8_t> format)
{
    return m_avi.AVIStreamSetFormat(m_compressed, frame, format.data(), static_cast<LONG>(format.size()));
}

HRESULT AviSink::writeFrames(LONG start, std::span<const AVISAMPLE> samples, LONG* written)
{
    return m_avi.AVIStreamWriteSamples(m_compressed, start, samples, written);
}

HRESULT AviSink::writePacket(const SinkPacket&)
{
    // Frames that come out of order need times of their own, which AVI has not.
    return avifile::AVIERR_UNSUPPORTED;
}

HRESULT AviSink::finish()
{
    HRESULT finished = 0;
    if (m_stream)
        m_avi.AVIStreamRelease(std::exchange(m_stream, nullptr));
    if (m_compressed)
        m_avi.AVIStreamRelease(std::exchange(m_compressed, nullptr));
    if (m_file)
        m_avi.AVIFileRelease(std::exchange(m_file, nullptr), &finished);
    return finished;
}

}  // namespace kelvora::video
