// The audio half of AviWriter: PCM chunks of stream 1, between the frames.
#include "platform/avifile/AviWriter.h"

#include <algorithm>

namespace kelvora::avifile {

HRESULT AviWriter::writeAudio(std::span<const std::span<const std::uint8_t>> chunks, std::size_t& written)
{
    written = 0;
    if (m_failed)
        return AVIERR_FILEWRITE;
    if (!m_audio || m_audio->format.empty() || !m_formatSet)
        return AVIERR_BADFORMAT;
    AudioStream& audio = *m_audio;
    for (const auto& chunk : chunks)
        if (chunk.size() % audio.blockAlign != 0 || chunk.size() > 0x7FFFFFFF)
            return AVIERR_BADSIZE;  // a chunk holds whole blocks: a sample of every channel
    if (!writeFirstHeaderOnce())
        return AVIERR_FILEWRITE;
    while (written < chunks.size()) {
        std::uint64_t position = m_file.position();
        std::size_t count = audio.index.count();
        std::size_t run = 0;
        for (std::size_t i = written; i < chunks.size(); ++i) {
            if (needsNewRiff(position, m_index.count(), count, chunks[i].size()))
                break;
            position += RiffFile::chunkBytes(chunks[i].size());
            ++count;
            ++run;
        }
        if (run == 0) {
            if (const HRESULT hr = startNextRiff(); hr != AVIERR_OK)
                return hr;
            continue;
        }
        std::uint64_t chunkStart = m_file.position();
        const std::size_t done = m_file.appendChunks(kAudioChunk, chunks.subspan(written, run));
        for (std::size_t i = 0; i < done; ++i) {
            const std::size_t size = chunks[written + i].size();
            audio.index.add(static_cast<std::uint32_t>(chunkStart - m_moviFourCC), static_cast<std::uint32_t>(size),
                            true);
            chunkStart += RiffFile::chunkBytes(size);
            audio.blocks += size / audio.blockAlign;
            audio.riffBlocks += size / audio.blockAlign;
            audio.largestChunk = std::max(audio.largestChunk, static_cast<std::uint32_t>(size));
            m_bytesSincePatch += size;
        }
        m_goodEnd = chunkStart;
        written += done;
        if (done < run) {
            m_failed = true;
            return AVIERR_FILEWRITE;
        }
    }
    return AVIERR_OK;
}

}  // namespace kelvora::avifile
