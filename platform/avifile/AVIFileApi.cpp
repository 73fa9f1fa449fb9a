// The library's published functions: argument and handle checks, then the objects.
#include <optional>
#include <vector>

#include "platform/avifile/AVIFile.h"
#include "platform/avifile/AviHandles.h"
#include "platform/avifile/FrameGeometry.h"
#include "platform/types/FourCC.h"

namespace kelvora::avifile {

using platform::FourCC;

namespace {

constexpr LONG kMaxFormatSize = 1 << 20;

}  // namespace

HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID*, const AviFileLimits& limits)
{
    if (!ppfile)
        return AVIERR_BADPARAM;
    *ppfile = nullptr;
    if (!szFile)
        return AVIERR_BADPARAM;
    if ((uMode & (OF_WRITE | OF_CREATE)) != (OF_WRITE | OF_CREATE))
        return AVIERR_READONLY;  // this library only creates files
    auto file = std::make_unique<AVIFileObject>(limits);
    if (!file->writer.open(szFile))
        return AVIERR_FILEOPEN;
    *ppfile = AviHandles::lock()->add(std::move(file));
    return AVIERR_OK;
}

HRESULT AVIFileCreateStreamA(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi)
{
    if (!ppavi)
        return AVIERR_BADPARAM;
    *ppavi = nullptr;
    const auto handles = AviHandles::lock();
    if (!handles->isLive(pfile))
        return AVIERR_BADHANDLE;
    if (!psi)
        return AVIERR_BADPARAM;
    if (psi->dwScale == 0 || psi->dwRate == 0)
        return AVIERR_BADPARAM;
    if (FourCC::fromValue(psi->fccType) == FourCC("auds")) {
        // One PCM audio stream beside the video, made after it and before anything is written.
        if (!pfile->hasStream || pfile->hasAudio || pfile->writer.started())
            return AVIERR_UNSUPPORTED;
        pfile->hasAudio = true;
        pfile->writer.setAudioStream(*psi);
        auto stream = std::make_unique<AVIStreamObject>();
        stream->file = pfile;
        stream->number = 1;
        ++pfile->refs;
        *ppavi = handles->add(std::move(stream));
        return AVIERR_OK;
    }
    if (FourCC::fromValue(psi->fccType) != FourCC("vids"))
        return AVIERR_UNSUPPORTED;
    if (pfile->hasStream || pfile->writer.started())
        return AVIERR_UNSUPPORTED;  // one video stream per file
    const std::optional<FrameRect> frame = frameRectFor(psi->rcFrame);
    if (!frame)
        return AVIERR_BADSIZE;
    pfile->hasStream = true;
    pfile->writer.setStream(*psi, *frame);
    auto stream = std::make_unique<AVIStreamObject>();
    stream->file = pfile;
    ++pfile->refs;
    *ppavi = handles->add(std::move(stream));
    return AVIERR_OK;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM psSource, const AVICOMPRESSOPTIONS* lpOptions,
                                const CLSID*)
{
    if (!ppsCompressed)
        return AVIERR_BADPARAM;
    *ppsCompressed = nullptr;
    const auto handles = AviHandles::lock();
    if (!handles->isLive(psSource))
        return AVIERR_BADHANDLE;
    if (!lpOptions)
        return AVIERR_BADPARAM;
    // No codec here: only "no compressor" (or the uncompressed DIB handler) passes samples through.
    if (lpOptions->fccHandler != 0 && FourCC::fromValue(lpOptions->fccHandler) != FourCC("DIB "))
        return AVIERR_NOCOMPRESSOR;
    auto stream = std::make_unique<AVIStreamObject>();
    stream->source = psSource;
    ++psSource->refs;
    *ppsCompressed = handles->add(std::move(stream));
    return AVIERR_OK;
}

namespace {

// The stream made in the file that a stream writes into, through any pass-through streams over it.
PAVISTREAM rootOf(PAVISTREAM stream)
{
    while (stream->source)
        stream = stream->source;
    return stream;
}

PAVIFILE fileOf(PAVISTREAM stream) { return rootOf(stream)->file; }

bool isAudio(PAVISTREAM stream) { return rootOf(stream)->number == 1; }

// Audio samples from `lStart` on, each of `samples` one chunk of whole blocks.
HRESULT writeAudio(AviWriter& writer, LONG lStart, std::span<const AVISAMPLE> samples, LONG* plSampWritten)
{
    if (!writer.hasAudioFormat())
        return AVIERR_BADFORMAT;
    if (static_cast<std::uint64_t>(lStart) != writer.audioBlocksWritten())
        return AVIERR_UNSUPPORTED;  // samples are appended in order
    std::vector<std::span<const std::uint8_t>> chunks;
    chunks.reserve(samples.size());
    for (const AVISAMPLE& sample : samples) {
        if (sample.inFile.file || sample.cbBuffer < 0 || (!sample.lpBuffer && sample.cbBuffer > 0))
            return AVIERR_BADPARAM;
        chunks.emplace_back(static_cast<const std::uint8_t*>(sample.lpBuffer),
                            static_cast<std::size_t>(sample.cbBuffer));
    }
    std::size_t written = 0;
    const HRESULT hr = writer.writeAudio(chunks, written);
    if (plSampWritten)
        *plSampWritten = static_cast<LONG>(written);
    return hr;
}

}  // namespace

HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat)
{
    const auto handles = AviHandles::lock();
    if (!handles->isLive(pavi))
        return AVIERR_BADHANDLE;
    if (!lpFormat || cbFormat <= 0)
        return AVIERR_BADPARAM;
    if (cbFormat > kMaxFormatSize)
        return AVIERR_BADSIZE;
    const std::span format{static_cast<const std::uint8_t*>(lpFormat), static_cast<std::size_t>(cbFormat)};
    AviWriter& writer = fileOf(pavi)->writer;
    if (isAudio(pavi))
        return lPos == 0 ? writer.setAudioFormat(format) : AVIERR_UNSUPPORTED;
    if (lPos != 0) {
        // Within the stream only the colour table may change, from the next frame on.
        if (lPos < 0 || static_cast<std::uint32_t>(lPos) != writer.framesWritten())
            return AVIERR_UNSUPPORTED;
        return writer.changePalette(format);
    }
    if (const HRESULT hr = checkVideoFormat(format); hr != AVIERR_OK)
        return hr;
    return writer.setFormat(format);
}

HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer, DWORD dwFlags,
                       LONG* plSampWritten, LONG* plBytesWritten)
{
    if (plSampWritten)
        *plSampWritten = 0;
    if (plBytesWritten)
        *plBytesWritten = 0;
    {
        const auto handles = AviHandles::lock();
        if (handles->isLive(pavi) && isAudio(pavi)) {
            // Audio: lSamples blocks in one chunk.
            AviWriter& writer = fileOf(pavi)->writer;
            if (lSamples <= 0 || cbBuffer < 0 || !writer.hasAudioFormat() ||
                std::int64_t{lSamples} * writer.audioBlockAlign() != cbBuffer)
                return AVIERR_BADPARAM;
            const AVISAMPLE chunk{lpBuffer, cbBuffer, dwFlags};
            LONG chunks = 0;
            const HRESULT hr = writeAudio(writer, lStart, {&chunk, 1}, &chunks);
            if (hr == AVIERR_OK) {
                if (plSampWritten)
                    *plSampWritten = lSamples;
                if (plBytesWritten)
                    *plBytesWritten = cbBuffer;
            }
            return hr;
        }
    }
    if (lSamples != 1)  // a video sample is one frame; several go through AVIStreamWriteSamples
        return AviHandles::lock()->isLive(pavi) ? AVIERR_BADPARAM : AVIERR_BADHANDLE;
    const AVISAMPLE sample{lpBuffer, cbBuffer, dwFlags};
    LONG written = 0;
    const HRESULT hr = AVIStreamWriteSamples(pavi, lStart, {&sample, 1}, &written);
    if (hr == AVIERR_OK) {
        if (plSampWritten)
            *plSampWritten = 1;
        if (plBytesWritten)
            *plBytesWritten = cbBuffer;
    }
    return hr;
}

HRESULT AVIStreamWriteSamples(PAVISTREAM pavi, LONG lStart, std::span<const AVISAMPLE> samples, LONG* plSampWritten)
{
    if (plSampWritten)
        *plSampWritten = 0;
    const auto handles = AviHandles::lock();
    if (!handles->isLive(pavi))
        return AVIERR_BADHANDLE;
    if (lStart < 0 || samples.size() > 0x7FFFFFFF)
        return AVIERR_BADPARAM;
    if (isAudio(pavi))
        return writeAudio(fileOf(pavi)->writer, lStart, samples, plSampWritten);
    std::vector<AviWriter::FrameSample> frames;
    frames.reserve(samples.size());
    for (const AVISAMPLE& sample : samples) {
        const bool inFile = sample.inFile.file != nullptr;
        if (sample.cbBuffer < 0 || (!sample.lpBuffer && !inFile && sample.cbBuffer > 0) ||
            (inFile && (sample.lpBuffer || sample.inFile.offset < 0)))
            return AVIERR_BADPARAM;
        const auto size = static_cast<std::size_t>(sample.cbBuffer);
        AviWriter::FrameSample frame{{}, (sample.dwFlags & AVIIF_KEYFRAME) != 0};
        if (inFile)
            frame.inFile = {sample.inFile.file, sample.inFile.offset, std::min(sample.inFile.stored, size), size};
        else
            frame.data = {static_cast<const std::uint8_t*>(sample.lpBuffer), size};
        frames.push_back(frame);
    }
    AviWriter& writer = fileOf(pavi)->writer;
    if (!writer.hasFormat())
        return AVIERR_BADFORMAT;
    if (static_cast<std::uint32_t>(lStart) != writer.framesWritten())
        return AVIERR_UNSUPPORTED;  // samples are appended in order
    std::size_t written = 0;
    const HRESULT hr = writer.writeFrames(frames, written);
    if (plSampWritten)
        *plSampWritten = static_cast<LONG>(written);
    return hr;
}

ULONG AVIStreamRelease(PAVISTREAM pavi) { return AviHandles::lock()->release(pavi); }

ULONG AVIFileRelease(PAVIFILE pfile, HRESULT* phrFinish)
{
    const auto handles = AviHandles::lock();
    if (!handles->isLive(pfile)) {
        if (phrFinish)
            *phrFinish = AVIERR_BADHANDLE;
        return 0;
    }
    HRESULT finished = AVIERR_OK;
    const ULONG left = handles->release(pfile, &finished);
    if (phrFinish)
        *phrFinish = finished;
    return left;
}

}  // namespace kelvora::avifile
