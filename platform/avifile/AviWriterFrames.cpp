// The frame-by-frame half of AviWriter: frames, RIFF continuations, indexes, finishing.
#include "platform/avifile/AviWriter.h"

#include "platform/avifile/PaletteChange.h"

#include <algorithm>

namespace kelvora::avifile {

namespace {
constexpr std::uint64_t kPatchEveryBytes = 64ull << 20;
constexpr std::size_t kReserveFrames = 64 * 1024;
constexpr std::size_t kStdIndexOverhead = 8 + kStdIndexHeaderSize;
}  // namespace

bool AviWriter::needsNewRiff(std::uint64_t position, std::size_t videoCount, std::size_t audioCount,
                             std::size_t dataSize) const
{
    if (videoCount + audioCount == 0)
        return false;
    if (videoCount >= m_limits.framesPerRiff || audioCount >= m_limits.framesPerRiff)
        return true;
    // Room is kept for this RIFF's own indexes, which follow its last chunk.
    std::uint64_t indexes = kStdIndexOverhead + kStdIndexEntrySize * (videoCount + 1);
    if (m_audio)
        indexes += kStdIndexOverhead + kStdIndexEntrySize * (audioCount + 1);
    if (m_riffNumber == 0)
        indexes += 8 + kIdx1EntrySize * (videoCount + audioCount + 1);
    const std::uint64_t end = position + RiffFile::chunkBytes(dataSize) + indexes;
    return end - m_riffStart > m_limits.riffBytes;
}

// The header goes out before the first chunk of either stream.
bool AviWriter::writeFirstHeaderOnce()
{
    if (m_headerWritten)
        return true;
    if (!writeFirstHeader()) {
        m_failed = true;
        return false;
    }
    return true;
}

HRESULT AviWriter::writeFrame(std::span<const std::uint8_t> data, bool keyFrame)
{
    const FrameSample sample{data, keyFrame};
    std::size_t written = 0;
    return writeFrames({&sample, 1}, written);
}

HRESULT AviWriter::writeFrames(std::span<const FrameSample> frames, std::size_t& written)
{
    written = 0;
    if (m_failed)
        return AVIERR_FILEWRITE;
    if (frames.empty())
        return AVIERR_OK;
    if (!m_headerWritten) {
        if (!writeFirstHeaderOnce())
            return AVIERR_FILEWRITE;
        const std::uint64_t perRiff = m_limits.riffBytes / (8 + frames.front().size() + 1) + 1;
        m_index.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(perRiff, kReserveFrames)));
    }
    while (written < frames.size()) {
        // A palette change waits for the frame it applies to, the first of this run.
        const std::vector<std::uint8_t> change = paletteChange(m_shownPalette, m_nextPalette);
        const std::size_t changeBytes = change.empty() ? 0 : RiffFile::chunkBytes(change.size());
        const std::size_t run = framesFitting(frames.subspan(written), changeBytes);
        if (run == 0) {
            if (HRESULT hr = startNextRiff(); hr != AVIERR_OK)
                return hr;
            continue;
        }
        if (!change.empty()) {
            if (!m_file.appendChunk(kPaletteChangeChunk, change)) {
                m_failed = true;
                return AVIERR_FILEWRITE;
            }
            m_shownPalette = m_nextPalette;
            m_paletteChanged = true;
        }
        const HRESULT hr = writeRun(frames.subspan(written, run));
        written += hr == AVIERR_OK ? run : m_runWritten;
        if (hr != AVIERR_OK)
            return hr;
    }
    // Counts on disk follow the frames every few frames; a failure here is not these frames',
    // and finishing the file tries again and reports it.
    if (m_framesSincePatch >= kPatchEveryFrames || m_bytesSincePatch >= kPatchEveryBytes) {
        m_framesSincePatch = 0;
        m_bytesSincePatch = 0;
        (void)patchHeader();
    }
    return AVIERR_OK;
}

// How many of `frames`, from the first, fit in the RIFF being written after `leadBytes` more
// bytes (a palette change); 0 when the first needs a new RIFF.
std::size_t AviWriter::framesFitting(std::span<const FrameSample> frames, std::size_t leadBytes) const
{
    std::uint64_t position = m_file.position();
    std::size_t count = m_index.count();
    const std::size_t audioCount = m_audio ? m_audio->index.count() : 0;
    std::size_t fitting = 0;
    for (const FrameSample& frame : frames) {
        const std::size_t lead = fitting == 0 ? leadBytes : 0;
        if (needsNewRiff(position, count, audioCount, frame.size() + lead))
            break;
        position += RiffFile::chunkBytes(frame.size()) + lead;
        ++count;
        ++fitting;
    }
    return fitting;
}

// Frames that all fit the RIFF being written, in one gathered write.
HRESULT AviWriter::writeRun(std::span<const FrameSample> frames)
{
    std::uint64_t chunkStart = m_file.position();
    m_runWritten = 0;
    bool sourceChanged = false;
    // Frames in memory go out gathered; a frame left in its file is copied on its own. The
    // loop stops at the first frame that did not reach the file whole.
    for (std::size_t from = 0; from < frames.size() && m_runWritten == from;) {
        if (frames[from].inFile.source) {
            const RiffFile::CopyResult copy = m_file.appendChunkFrom(m_frameChunk, frames[from].inFile);
            m_runWritten += copy == RiffFile::CopyResult::Copied ? 1 : 0;
            sourceChanged = copy == RiffFile::CopyResult::SourceChanged;
            ++from;
            continue;
        }
        m_payloads.clear();
        for (; from < frames.size() && !frames[from].inFile.source; ++from)
            m_payloads.push_back(frames[from].data);
        m_runWritten += m_file.appendChunks(m_frameChunk, m_payloads);
    }
    for (std::size_t i = 0; i < m_runWritten; ++i) {
        const std::size_t size = frames[i].size();
        m_index.add(static_cast<std::uint32_t>(chunkStart - m_moviFourCC), static_cast<std::uint32_t>(size),
                    frames[i].keyFrame);
        chunkStart += RiffFile::chunkBytes(size);
        ++m_totalFrames;
        m_largestFrame = std::max(m_largestFrame, static_cast<std::uint32_t>(size));
        m_bytesSincePatch += size;
        ++m_framesSincePatch;
    }
    m_goodEnd = chunkStart;
    // A frame whose file changed under the copy was taken back whole: the file stays usable.
    if (sourceChanged)
        return AVIERR_FILEREAD;
    if (m_runWritten < frames.size()) {
        m_failed = true;
        return AVIERR_FILEWRITE;
    }
    return AVIERR_OK;
}

HRESULT AviWriter::startNextRiff()
{
    if (m_riffNumber + 2 > m_limits.superIndexEntries)
        return AVIERR_BADSIZE;  // the super index has no entry left for another RIFF
    m_odml = true;
    const bool closed = closeRiff();
    m_goodEnd = m_file.position();
    if (!closed || !patchHeader()) {
        m_failed = true;
        return AVIERR_FILEWRITE;
    }
    std::uint8_t header[24];
    ByteWriter out(header);
    writeListHeader(out, kRiff, kOpenRiffSize, kAvix);
    writeListHeader(out, kList, kOpenMoviSize, kMovi);
    const std::uint64_t start = m_file.position();
    if (!m_file.append(out.written())) {
        m_failed = true;
        return AVIERR_FILEWRITE;
    }
    ++m_riffNumber;
    m_riffOpen = true;
    m_riffStart = start;
    m_moviFourCC = start + 20;
    m_goodEnd = m_file.position();
    return AVIERR_OK;
}

bool AviWriter::flushBlock(ByteWriter& block)
{
    const bool ok = m_file.append(block.written());
    block = ByteWriter(m_block);
    return ok;
}

bool AviWriter::writeStdIndex(const FrameIndex& index, platform::FourCC indexId, platform::FourCC chunkId,
                              std::vector<AVISUPERINDEXENTRY>& superIndex, std::uint32_t duration)
{
    const std::uint64_t start = m_file.position();
    const std::size_t n = index.count();
    const std::uint32_t body = static_cast<std::uint32_t>(kStdIndexHeaderSize + kStdIndexEntrySize * n);
    ByteWriter out(m_block);
    writeChunkHeader(out, indexId, body);
    writeStdIndexHeader(out, {static_cast<std::uint32_t>(n), chunkId, m_moviFourCC});
    bool ok = true;
    for (std::size_t i = 0; i < n && ok; ++i) {
        if (out.size() + kStdIndexEntrySize > m_block.size())
            ok = flushBlock(out);
        const auto& e = index[i];
        writeStdIndexEntry(out, e.chunkOffset + 8, e.sizeAndFlag);
    }
    ok = ok && flushBlock(out);
    if (ok)
        superIndex.push_back({start, 8 + body, duration});
    return ok;
}

// Both streams' chunks in file order, as readers of 'idx1' expect them.
bool AviWriter::writeIdx1()
{
    const std::size_t videos = m_index.count();
    const std::size_t audios = m_audio ? m_audio->index.count() : 0;
    ByteWriter out(m_block);
    writeChunkHeader(out, kIdx1, static_cast<std::uint32_t>(kIdx1EntrySize * (videos + audios)));
    bool ok = true;
    for (std::size_t v = 0, a = 0; (v < videos || a < audios) && ok;) {
        if (out.size() + kIdx1EntrySize > m_block.size())
            ok = flushBlock(out);
        const bool audioNext = a < audios && (v == videos || m_audio->index[a].chunkOffset < m_index[v].chunkOffset);
        if (audioNext) {
            const auto& e = m_audio->index[a++];
            writeIdx1Entry(out, kAudioChunk, kIdx1KeyFrame, e.chunkOffset, FrameIndex::sizeOf(e));
        } else {
            const auto& e = m_index[v++];
            writeIdx1Entry(out, m_frameChunk, FrameIndex::isKey(e) ? kIdx1KeyFrame : 0, e.chunkOffset,
                           FrameIndex::sizeOf(e));
        }
    }
    return ok && flushBlock(out);
}

// Ends the current RIFF after its last frame: its standard index (OpenDML only), then
// for the first RIFF the 'idx1', then its true sizes. An index that does not fit on the
// disk is cut off again so the RIFF stays well formed without it.
bool AviWriter::closeRiff()
{
    bool ok = true;
    if (m_odml) {
        const std::uint64_t indexStart = m_file.position();
        bool indexed =
            writeStdIndex(m_index, kIx00, m_frameChunk, m_superIndex, static_cast<std::uint32_t>(m_index.count()));
        if (indexed && m_audio)
            indexed = writeStdIndex(m_audio->index, kIx01, kAudioChunk, m_audio->superIndex,
                                    static_cast<std::uint32_t>(m_audio->riffBlocks));
        if (!indexed) {
            ok = false;
            (void)m_file.truncate(indexStart);
        }
    }
    const std::uint64_t moviEnd = m_file.position();
    const auto moviSize = static_cast<std::uint32_t>(moviEnd - m_moviFourCC);
    if (m_riffNumber == 0) {
        m_hasIdx1 = ok && writeIdx1();
        if (!m_hasIdx1) {
            ok = false;
            (void)m_file.truncate(moviEnd);
        }
    }
    const auto riffSize = static_cast<std::uint32_t>(m_file.position() - m_riffStart - 8);
    if (m_riffNumber == 0) {
        m_firstRiffSize = riffSize;
        m_firstMoviSize = moviSize;
        m_firstRiffFrames = static_cast<std::uint32_t>(m_index.count());
    } else {
        std::uint8_t size[4];
        ByteWriter out(size);
        out.u32(riffSize);
        ok = m_file.patch(m_riffStart + 4, size) && ok;
        ByteWriter movi(size);
        movi.u32(moviSize);
        ok = m_file.patch(m_riffStart + 16, size) && ok;
    }
    m_index.clear();
    if (m_audio) {
        m_audio->index.clear();
        m_audio->riffBlocks = 0;
    }
    m_riffOpen = false;
    return ok;
}

HRESULT AviWriter::finish()
{
    bool ok = true;
    if (!m_headerWritten) {
        ok = writeFirstHeader();
    } else if (m_failed) {
        // Drop a partly written chunk; on a full disk this also frees room for the indexes.
        ok = m_file.truncate(m_goodEnd);
    }
    if (m_headerWritten) {
        if (m_riffOpen && m_riffNumber > 0 && m_index.count() == 0 && (!m_audio || m_audio->index.count() == 0)) {
            ok = m_file.truncate(m_riffStart) && ok;  // an 'AVIX' begun for a frame that failed
            m_riffOpen = false;
        }
        if (m_riffOpen)
            ok = closeRiff() && ok;
        ok = patchHeader() && ok;
    }
    ok = m_file.close() && ok;
    return ok ? AVIERR_OK : AVIERR_FILEWRITE;
}

}  // namespace kelvora::avifile
