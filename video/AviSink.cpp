#include "video/AviSink.h"

#include <utility>

namespace kelvora::video {

namespace {

// Where a result code came from: the library answers AVIERR_BADSIZE both to a format it cannot
// write and to a frame its indexes have no entry left for.
enum class Call { SetFormat, Write };

SinkFailure failureOf(HRESULT result, Call call)
{
    switch (result) {
    case avifile::AVIERR_OK:
        return SinkFailure::None;
    case avifile::AVIERR_FILEOPEN:
        return SinkFailure::Open;
    case avifile::AVIERR_BADFORMAT:
        return SinkFailure::Format;
    case avifile::AVIERR_BADSIZE:
        return call == Call::SetFormat ? SinkFailure::Format : SinkFailure::IndexFull;
    case avifile::AVIERR_FILEREAD:
        return SinkFailure::SourceRead;
    case avifile::AVIERR_FILEWRITE:
        return SinkFailure::Write;
    case avifile::AVIERR_MEMORY:
        return SinkFailure::Memory;
    default:
        return SinkFailure::Unsupported;
    }
}

SinkResult resultOf(HRESULT result, Call call = Call::Write) { return {failureOf(result, call)}; }

AVISAMPLE sampleOf(const SinkFrame& frame)
{
    const DWORD flags = frame.key ? AVIIF_KEYFRAME : 0;
    if (frame.inFile())
        return {nullptr,
                static_cast<LONG>(frame.copied.size),
                flags,
                {frame.copied.file, frame.copied.offset, frame.copied.stored}};
    return {frame.bytes.data(), static_cast<LONG>(frame.bytes.size()), flags};
}

}  // namespace

SinkResult AviSink::open(const std::string& path)
{
    return resultOf(m_avi.AVIFileOpen(&m_file, path.c_str(), OF_WRITE | OF_CREATE, nullptr));
}

SinkResult AviSink::addStream(const SinkStream& stream) { return resultOf(createStream(stream), Call::SetFormat); }

HRESULT AviSink::createStream(const SinkStream& stream)
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

SinkResult AviSink::changeFormat(std::int64_t frame, std::span<const std::uint8_t> format)
{
    return resultOf(m_avi.AVIStreamSetFormat(m_compressed, static_cast<LONG>(frame), format.data(),
                                             static_cast<LONG>(format.size())),
                    Call::SetFormat);
}

SinkResult AviSink::writeFrames(std::int64_t first, std::span<const SinkFrame> frames)
{
    m_samples.clear();
    m_samples.reserve(frames.size());
    for (const SinkFrame& frame : frames)
        m_samples.push_back(sampleOf(frame));
    LONG written = 0;
    SinkResult result =
        resultOf(m_avi.AVIStreamWriteSamples(m_compressed, static_cast<LONG>(first), m_samples, &written));
    result.written = static_cast<std::size_t>(written);
    return result;
}

SinkResult AviSink::writePacket(const SinkPacket&)
{
    // Frames that come out of order need times of their own, which AVI has not.
    return {SinkFailure::Unsupported};
}

SinkResult AviSink::addAudio(const audio::AudioStream& stream)
{
    return resultOf(createAudio(stream), Call::SetFormat);
}

HRESULT AviSink::createAudio(const audio::AudioStream& stream)
{
    if (stream.codec != audio::AudioCodec::Pcm16)
        return avifile::AVIERR_UNSUPPORTED;
    m_blockAlign = 2 * stream.channels;
    const auto bytesPerSecond = static_cast<DWORD>(stream.sampleRate) * static_cast<DWORD>(m_blockAlign);
    AVISTREAMINFOA info{};
    info.fccType = m_avi.mmioStringToFOURCCA("auds", 0);
    info.dwScale = static_cast<DWORD>(m_blockAlign);
    info.dwRate = bytesPerSecond;
    info.dwSampleSize = static_cast<DWORD>(m_blockAlign);
    info.dwQuality = 0xFFFFFFFF;  // the default quality, as audio streams say
    if (const HRESULT result = m_avi.AVIFileCreateStreamA(m_file, &m_audio, &info))
        return result;
    // PCMWAVEFORMAT: the 16 bytes every reader takes for PCM.
    std::uint8_t format[16];
    const auto put = [&format](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            format[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 1, 2);                                              // wFormatTag: WAVE_FORMAT_PCM
    put(2, static_cast<std::uint32_t>(stream.channels), 2);    // nChannels
    put(4, static_cast<std::uint32_t>(stream.sampleRate), 4);  // nSamplesPerSec
    put(8, bytesPerSecond, 4);                                 // nAvgBytesPerSec
    put(12, static_cast<std::uint32_t>(m_blockAlign), 2);      // nBlockAlign
    put(14, 16, 2);                                            // wBitsPerSample
    return m_avi.AVIStreamSetFormat(m_audio, 0, format, sizeof format);
}

SinkResult AviSink::writeAudio(std::span<const audio::AudioPacket> packets)
{
    std::vector<AVISAMPLE> chunks;
    chunks.reserve(packets.size());
    for (const audio::AudioPacket& packet : packets)
        chunks.push_back({packet.data.data(), static_cast<LONG>(packet.data.size()), AVIIF_KEYFRAME});
    LONG written = 0;
    const HRESULT result = m_avi.AVIStreamWriteSamples(m_audio, m_audioBlocks, chunks, &written);
    for (LONG i = 0; i < written; ++i)
        m_audioBlocks += static_cast<LONG>(packets[static_cast<std::size_t>(i)].data.size()) / m_blockAlign;
    return resultOf(result);
}

SinkResult AviSink::finish()
{
    HRESULT finished = 0;
    if (m_audio)
        m_avi.AVIStreamRelease(std::exchange(m_audio, nullptr));
    if (m_stream)
        m_avi.AVIStreamRelease(std::exchange(m_stream, nullptr));
    if (m_compressed)
        m_avi.AVIStreamRelease(std::exchange(m_compressed, nullptr));
    if (m_file)
        m_avi.AVIFileRelease(std::exchange(m_file, nullptr), &finished);
    return resultOf(finished);
}

}  // namespace kelvora::video
