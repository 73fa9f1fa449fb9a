#include "platform/avifile/AviWriter.h"

#include "platform/avifile/PaletteChange.h"

#include <algorithm>
#include <cstring>

namespace kelvora::avifile {

namespace {

constexpr std::uint32_t kFramesPerRiff = 1u << 20;  // bounds one RIFF's 'ix00'/'idx1'
constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::uint64_t kFirstFrameAlignment = 2048;

constexpr std::size_t padded(std::size_t n) { return n + (n & 1); }

std::uint32_t clamp32(std::uint64_t v) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFFu)); }

}  // namespace

AviWriter::AviWriter(const AviFileLimits& limits)
    // A RIFF's sizes are 32-bit: with frames below 2 GiB a 1 GiB limit keeps every offset in range.
    : m_limits{std::min(limits.riffBytes, AviFileLimits::kMaxRiffBytes),
               std::max<std::uint32_t>(limits.superIndexEntries, 1), kFramesPerRiff}
{
}

bool AviWriter::open(const char* path)
{
    if (!m_file.create(path))
        return false;
    m_block.resize(kBlockSize);
    return true;
}

void AviWriter::setStream(const AVISTREAMINFOA& info, const FrameRect& frame)
{
    m_hasStream = true;
    m_info = info;
    m_frame = frame;
    m_name.assign(info.szName, strnlen(info.szName, sizeof info.szName));
}

HRESULT AviWriter::setFormat(std::span<const std::uint8_t> format)
{
    if (m_headerWritten)
        return AVIERR_UNSUPPORTED;  // the layout is on disk: the format can no longer change
    m_format.assign(format.begin(), format.end());
    m_formatSet = true;
    m_frameChunk = frameChunkFor(m_format);
    if (const auto table = colourTableOf(m_format)) {
        m_shownPalette.assign(table->begin(), table->end());
        m_nextPalette = m_shownPalette;
    }
    return AVIERR_OK;
}

HRESULT AviWriter::changePalette(std::span<const std::uint8_t> format)
{
    if (!m_formatSet || !differsOnlyInPalette(m_format, format))
        return AVIERR_UNSUPPORTED;  // only the colour table can change within the stream
    const auto table = colourTableOf(format);
    m_nextPalette.assign(table->begin(), table->end());
    return AVIERR_OK;
}

std::uint32_t AviWriter::suggestedBufferSize() const { return std::max(m_info.dwSuggestedBufferSize, m_largestFrame); }

void AviWriter::setAudioStream(const AVISTREAMINFOA& info)
{
    // Built whole and moved in: clang does not yet see a nested aggregate with member
    // initialisers as default-constructible where the enclosing class declares the optional.
    AudioStream stream;
    stream.info = info;
    m_audio = std::move(stream);
}

HRESULT AviWriter::setAudioFormat(std::span<const std::uint8_t> format)
{
    if (!m_audio || m_headerWritten)
        return AVIERR_UNSUPPORTED;
    // WAVEFORMATEX: wFormatTag, nChannels, nSamplesPerSec, nAvgBytesPerSec, nBlockAlign, wBitsPerSample.
    if (format.size() < 16)
        return AVIERR_BADFORMAT;
    const auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(format[at] | format[at + 1] << 8); };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::uint32_t tag = u16(0);
    const std::uint32_t channels = u16(2);
    const std::uint32_t rate = u32(4);
    const std::uint32_t bytesPerSecond = u32(8);
    const std::uint32_t blockAlign = u16(12);
    const std::uint32_t bits = u16(14);
    // Only PCM: every block is a sample of every channel, and chunks split anywhere between blocks.
    if (tag != 1 || channels == 0 || channels > 8 || rate == 0 || (bits != 8 && bits != 16 && bits != 24) ||
        blockAlign != channels * bits / 8 || bytesPerSecond != rate * blockAlign)
        return AVIERR_BADFORMAT;
    m_audio->format.assign(format.begin(), format.end());
    m_audio->blockAlign = blockAlign;
    m_audio->bytesPerSecond = bytesPerSecond;
    return AVIERR_OK;
}

std::size_t AviWriter::superIndexBodySize() const
{
    return kSuperIndexHeaderSize + kSuperIndexEntrySize * m_limits.superIndexEntries;
}

std::size_t AviWriter::audioStreamListSize() const
{
    return m_audio ? 12 + 8 + kStreamHeaderSize + 8 + padded(m_audio->format.size()) + 8 + superIndexBodySize() : 0;
}

void AviWriter::layOutHeader()
{
    std::size_t size = 12 + 12 + 8 + kMainHeaderSize;  // RIFF, LIST hdrl, avih
    if (m_hasStream) {
        size += 12 + 8 + kStreamHeaderSize + 8 + padded(m_format.size());
        size += 8 + superIndexBodySize();
        if (!m_name.empty())
            size += 8 + padded(m_name.size() + 1);
    }
    size += audioStreamListSize();
    size += kOdmlListSize;
    const std::uint64_t firstData = size + 12 + 8;
    std::uint64_t junk = (kFirstFrameAlignment - firstData % kFirstFrameAlignment) % kFirstFrameAlignment;
    if (junk != 0 && junk < 8)
        junk += kFirstFrameAlignment;
    m_alignJunkSize = static_cast<std::size_t>(junk);
    m_moviList = size + junk;
    m_headerSize = static_cast<std::size_t>(m_moviList + 12);
}

bool AviWriter::writeFirstHeader()
{
    layOutHeader();
    m_block.assign(std::max(kBlockSize, m_headerSize), 0);
    m_riffOpen = true;
    ByteWriter out(m_block);
    renderHeader(out);
    if (!m_file.append(out.written())) {
        (void)m_file.truncate(0);
        m_riffOpen = false;
        return false;
    }
    m_headerWritten = true;
    m_riffStart = 0;
    m_moviFourCC = m_moviList + 8;
    m_goodEnd = m_file.position();
    return true;
}

bool AviWriter::patchHeader()
{
    ByteWriter out(m_block);
    renderHeader(out);
    return m_file.patch(0, out.written());
}

void AviWriter::renderHeader(ByteWriter& out) const
{
    const bool firstOpen = m_riffNumber == 0 && m_riffOpen;
    writeListHeader(out, kRiff, firstOpen ? kOpenRiffSize : m_firstRiffSize, kAvi);
    writeListHeader(out, kList, static_cast<std::uint32_t>(m_moviList - 20 - m_alignJunkSize), kHdrl);
    writeChunkHeader(out, kAvih, kMainHeaderSize);
    renderMainHeader(out);
    if (m_hasStream)
        renderStreamList(out);
    if (m_audio)
        renderAudioStreamList(out);
    renderOdml(out);
    if (m_alignJunkSize != 0) {
        writeChunkHeader(out, kJunk, static_cast<std::uint32_t>(m_alignJunkSize - 8));
        out.zeros(m_alignJunkSize - 8);
    }
    writeListHeader(out, kList, firstOpen ? kOpenMoviSize : m_firstMoviSize, kMovi);
}

void AviWriter::renderMainHeader(ByteWriter& out) const
{
    AVIMAINHEADER h;
    const std::uint64_t scale = m_info.dwScale;
    const std::uint64_t rate = m_info.dwRate;
    if (rate != 0) {
        h.dwMicroSecPerFrame = clamp32((1'000'000 * scale + rate / 2) / rate);
        h.dwMaxBytesPerSec = clamp32((scale != 0 ? std::uint64_t{m_largestFrame} * rate / scale : 0) +
                                     (m_audio ? m_audio->bytesPerSecond : 0));
    }
    // AVIF_ISINTERLEAVED: audio and video chunks alternate in time, as players read them.
    h.dwFlags = AVIF_TRUSTCKTYPE | (m_hasIdx1 ? AVIF_HASINDEX : 0) | (m_audio ? AVIF_ISINTERLEAVED : 0);
    h.dwTotalFrames = m_riffNumber == 0 && m_riffOpen ? m_totalFrames : m_firstRiffFrames;
    h.dwStreams = (m_hasStream ? 1 : 0) + (m_audio ? 1 : 0);
    h.dwSuggestedBufferSize = suggestedBufferSize();
    h.dwWidth = m_frame.width();
    h.dwHeight = m_frame.rows();
    writeMainHeader(out, h);
}

void AviWriter::renderStreamList(ByteWriter& out) const
{
    std::size_t listSize = 4 + 8 + kStreamHeaderSize + 8 + padded(m_format.size()) + 8 + kSuperIndexHeaderSize +
                           kSuperIndexEntrySize * m_limits.superIndexEntries;
    if (!m_name.empty())
        listSize += 8 + padded(m_name.size() + 1);
    writeListHeader(out, kList, static_cast<std::uint32_t>(listSize), kStrl);
    writeChunkHeader(out, kStrh, kStreamHeaderSize);
    renderStreamHeader(out);
    writeChunkHeader(out, kStrf, static_cast<std::uint32_t>(m_format.size()));
    out.bytes(m_format);
    out.zeros(m_format.size() & 1);
    renderSuperIndex(out);
    if (!m_name.empty()) {
        writeChunkHeader(out, kStrn, static_cast<std::uint32_t>(m_name.size() + 1));
        out.bytes({reinterpret_cast<const std::uint8_t*>(m_name.data()), m_name.size()});
        out.zeros(padded(m_name.size() + 1) - m_name.size());
    }
}

void AviWriter::renderStreamHeader(ByteWriter& out) const
{
    AVISTREAMHEADER h;
    h.fccType = FourCC::fromValue(m_info.fccType);
    h.fccHandler = FourCC::fromValue(m_info.fccHandler);
    h.dwFlags = m_info.dwFlags | (m_paletteChanged ? AVISF_VIDEO_PALCHANGES : 0);
    h.wPriority = m_info.wPriority;
    h.wLanguage = m_info.wLanguage;
    h.dwInitialFrames = m_info.dwInitialFrames;
    h.dwScale = m_info.dwScale;
    h.dwRate = m_info.dwRate;
    h.dwStart = m_info.dwStart;
    h.dwLength = m_totalFrames;
    h.dwSuggestedBufferSize = suggestedBufferSize();
    h.dwQuality = m_info.dwQuality;
    h.dwSampleSize = m_info.dwSampleSize;
    h.left = m_frame.left;
    h.top = m_frame.top;
    h.right = m_frame.right;
    h.bottom = m_frame.bottom;
    writeStreamHeader(out, h);
}

void AviWriter::renderAudioStreamList(ByteWriter& out) const
{
    const AudioStream& audio = *m_audio;
    writeListHeader(out, kList, static_cast<std::uint32_t>(audioStreamListSize() - 8), kStrl);
    writeChunkHeader(out, kStrh, kStreamHeaderSize);
    AVISTREAMHEADER h;
    h.fccType = kAuds;
    h.fccHandler = FourCC::fromValue(audio.info.fccHandler);
    h.wPriority = audio.info.wPriority;
    h.wLanguage = audio.info.wLanguage;
    // Time in blocks: a block is a sample of every channel, blockAlign bytes.
    h.dwScale = audio.blockAlign;
    h.dwRate = audio.bytesPerSecond;
    h.dwLength = clamp32(audio.blocks);
    h.dwSuggestedBufferSize = std::max(audio.info.dwSuggestedBufferSize, audio.largestChunk);
    h.dwQuality = audio.info.dwQuality;
    h.dwSampleSize = audio.blockAlign;
    writeStreamHeader(out, h);
    writeChunkHeader(out, kStrf, static_cast<std::uint32_t>(audio.format.size()));
    out.bytes(audio.format);
    out.zeros(audio.format.size() & 1);
    const std::size_t body = superIndexBodySize();
    if (!m_odml) {
        writeChunkHeader(out, kJunk, static_cast<std::uint32_t>(body));
        out.zeros(body);
        return;
    }
    writeChunkHeader(out, kIndx, static_cast<std::uint32_t>(body));
    writeSuperIndexHeader(out, static_cast<std::uint32_t>(audio.superIndex.size()), kAudioChunk);
    for (const auto& entry : audio.superIndex)
        writeSuperIndexEntry(out, entry);
    out.zeros(kSuperIndexEntrySize * (m_limits.superIndexEntries - audio.superIndex.size()));
}

void AviWriter::renderSuperIndex(ByteWriter& out) const
{
    const std::size_t body = superIndexBodySize();
    if (!m_odml) {
        writeChunkHeader(out, kJunk, static_cast<std::uint32_t>(body));
        out.zeros(body);
        return;
    }
    writeChunkHeader(out, kIndx, static_cast<std::uint32_t>(body));
    writeSuperIndexHeader(out, static_cast<std::uint32_t>(m_superIndex.size()), m_frameChunk);
    for (const auto& entry : m_superIndex)
        writeSuperIndexEntry(out, entry);
    out.zeros(kSuperIndexEntrySize * (m_limits.superIndexEntries - m_superIndex.size()));
}

void AviWriter::renderOdml(ByteWriter& out) const
{
    if (!m_odml) {
        writeChunkHeader(out, kJunk, kOdmlListSize - 8);
        out.zeros(kOdmlListSize - 8);
        return;
    }
    writeListHeader(out, kList, kOdmlListSize - 8, kOdml);
    writeChunkHeader(out, kDmlh, kExtHeaderSize);
    out.u32(m_totalFrames);  // dwTotalFrames: every frame of the file
    out.zeros(kExtHeaderSize - 4);
}

}  // namespace kelvora::avifile
