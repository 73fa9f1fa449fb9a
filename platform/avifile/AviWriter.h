#pragma once

// Lays out one AVI file with a video stream (and, where one is given, a PCM audio stream
// beside it) and writes it as frames and audio chunks arrive, in the order they come: the
// caller interleaves them. The headers go to disk before the first chunk and are kept
// current every few frames, so a file cut short still reads; past the RIFF limit the file
// continues as OpenDML ('AVIX' RIFFs, 'ix00'/'ix01' standard indexes, an 'indx' super index
// for each stream).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/avifile/AVIFile.h"
#include "platform/avifile/AviRecords.h"
#include "platform/avifile/FrameGeometry.h"
#include "platform/avifile/FrameIndex.h"
#include "platform/avifile/RiffFile.h"

namespace kelvora::avifile {

class AviWriter {
public:
    explicit AviWriter(const AviFileLimits& limits);

    [[nodiscard]] bool open(const char* path);
    // `frame` is the description's rectangle as the headers store it.
    void setStream(const AVISTREAMINFOA& info, const FrameRect& frame);
    [[nodiscard]] HRESULT setFormat(std::span<const std::uint8_t> format);
    [[nodiscard]] bool hasFormat() const { return m_formatSet; }
    // A format for the frames from the next one on that differs from the stream's only in
    // its colour table: the change is written before the next frame.
    [[nodiscard]] HRESULT changePalette(std::span<const std::uint8_t> format);
    // The audio stream (stream 1), before any chunk is written; its format a WAVEFORMATEX of PCM.
    void setAudioStream(const AVISTREAMINFOA& info);
    [[nodiscard]] bool hasAudioStream() const { return m_audio.has_value(); }
    [[nodiscard]] HRESULT setAudioFormat(std::span<const std::uint8_t> format);
    [[nodiscard]] bool hasAudioFormat() const { return m_audio && !m_audio->format.empty(); }
    // Audio chunks ('01wb'), each a whole number of blocks, after what was written before.
    [[nodiscard]] HRESULT writeAudio(std::span<const std::span<const std::uint8_t>> chunks, std::size_t& written);
    [[nodiscard]] std::uint64_t audioBlocksWritten() const { return m_audio ? m_audio->blocks : 0; }
    [[nodiscard]] std::uint32_t audioBlockAlign() const { return m_audio ? m_audio->blockAlign : 0; }

    [[nodiscard]] HRESULT writeFrame(std::span<const std::uint8_t> data, bool keyFrame);
    // Frames one after the other, gathered into few writes; `written` of them are in the file
    // when it returns, all of them on success.
    struct FrameSample {
        std::span<const std::uint8_t> data;
        bool keyFrame = true;
        RiffFile::FileBytes inFile = {};  // the frame's bytes when they stay in a file (data empty)

        [[nodiscard]] std::size_t size() const { return inFile.source ? inFile.size : data.size(); }
    };
    [[nodiscard]] HRESULT writeFrames(std::span<const FrameSample> frames, std::size_t& written);
    // Completes the sizes, counts and indexes and closes the file.
    [[nodiscard]] HRESULT finish();

    [[nodiscard]] std::uint32_t framesWritten() const { return m_totalFrames; }
    // Whether anything is written: the streams and their formats are then fixed.
    [[nodiscard]] bool started() const { return m_headerWritten; }

private:
    // While a RIFF is being written its sizes say "up to the end of the file": readers take a
    // RIFF larger than the file as a truncated file and a 'movi' of size 0 as running to the
    // end, so a file cut short at any point is read up to its last whole frame.
    static constexpr std::uint32_t kOpenRiffSize = 0xFFFFFFF0u;
    static constexpr std::uint32_t kOpenMoviSize = 0;
    static constexpr std::uint32_t kPatchEveryFrames = 64;

    void layOutHeader();
    [[nodiscard]] bool writeFirstHeader();
    [[nodiscard]] bool patchHeader();
    void renderHeader(ByteWriter& out) const;
    void renderStreamList(ByteWriter& out) const;
    void renderMainHeader(ByteWriter& out) const;
    void renderStreamHeader(ByteWriter& out) const;
    void renderSuperIndex(ByteWriter& out) const;
    void renderAudioStreamList(ByteWriter& out) const;
    [[nodiscard]] std::size_t audioStreamListSize() const;
    [[nodiscard]] std::size_t superIndexBodySize() const;
    void renderOdml(ByteWriter& out) const;
    // Whether one more chunk of `dataSize` bytes at `position`, after `videoCount` and
    // `audioCount` chunks of the RIFF being written, would take it past its limits.
    [[nodiscard]] bool needsNewRiff(std::uint64_t position, std::size_t videoCount, std::size_t audioCount,
                                    std::size_t dataSize) const;
    [[nodiscard]] bool writeFirstHeaderOnce();
    [[nodiscard]] std::size_t framesFitting(std::span<const FrameSample> frames, std::size_t leadBytes) const;
    [[nodiscard]] HRESULT writeRun(std::span<const FrameSample> frames);
    [[nodiscard]] bool writePendingPalette();
    [[nodiscard]] HRESULT startNextRiff();
    [[nodiscard]] bool closeRiff();
    [[nodiscard]] bool writeStdIndex(const FrameIndex& index, platform::FourCC indexId, platform::FourCC chunkId,
                                     std::vector<AVISUPERINDEXENTRY>& superIndex, std::uint32_t duration);
    [[nodiscard]] bool writeIdx1();
    [[nodiscard]] bool flushBlock(ByteWriter& block);
    [[nodiscard]] std::uint32_t suggestedBufferSize() const;

    struct Limits {
        std::uint64_t riffBytes;
        std::uint32_t superIndexEntries;
        std::uint32_t framesPerRiff;
    };
    Limits m_limits;
    RiffFile m_file;
    FrameIndex m_index;
    std::vector<std::uint8_t> m_block;                      // staging for header patches and index chunks
    std::vector<std::span<const std::uint8_t>> m_payloads;  // the frames of one gathered write
    std::size_t m_runWritten = 0;                           // of them, those that reached the file

    bool m_hasStream = false;
    AVISTREAMINFOA m_info{};
    FrameRect m_frame;
    std::string m_name;
    std::vector<std::uint8_t> m_format;
    bool m_formatSet = false;
    FourCC m_frameChunk = kDibFrameChunk;
    std::vector<std::uint8_t> m_shownPalette;  // the colour table readers have in effect
    std::vector<std::uint8_t> m_nextPalette;   // the one the next frame needs
    bool m_paletteChanged = false;

    // Header layout, fixed when the header is first written.
    bool m_headerWritten = false;
    std::size_t m_headerSize = 0;     // up to and including the first 'LIST movi' header
    std::size_t m_alignJunkSize = 0;  // JUNK (header included) aligning the first frame's data
    std::uint64_t m_moviList = 0;     // first RIFF's 'LIST' of 'movi'

    // Progress.
    bool m_odml = false;
    bool m_riffOpen = false;
    bool m_failed = false;
    bool m_hasIdx1 = false;
    std::uint32_t m_riffNumber = 0;
    std::uint64_t m_riffStart = 0;
    std::uint64_t m_moviFourCC = 0;
    std::uint64_t m_goodEnd = 0;        // end of the last complete chunk
    std::uint32_t m_firstRiffSize = 0;  // final sizes of the first RIFF once closed
    std::uint32_t m_firstMoviSize = 0;
    std::uint32_t m_totalFrames = 0;
    std::uint32_t m_firstRiffFrames = 0;
    std::uint32_t m_largestFrame = 0;
    std::uint32_t m_framesSincePatch = 0;
    std::uint64_t m_bytesSincePatch = 0;
    std::vector<AVISUPERINDEXENTRY> m_superIndex;

    // The audio stream, when there is one: its chunks are '01wb', indexed as the frames are.
    struct AudioStream {
        AVISTREAMINFOA info{};
        std::vector<std::uint8_t> format;
        std::uint32_t blockAlign = 0;
        std::uint32_t bytesPerSecond = 0;
        FrameIndex index;              // the chunks of the RIFF being written
        std::uint64_t blocks = 0;      // every block written
        std::uint64_t riffBlocks = 0;  // of the RIFF being written
        std::uint32_t largestChunk = 0;
        std::vector<AVISUPERINDEXENTRY> superIndex;
    };
    std::optional<AudioStream> m_audio;
};

}  // namespace kelvora::avifile
