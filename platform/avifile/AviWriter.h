#pragma once

// Lays out one AVI file with a single uncompressed video stream and writes it as frames
// arrive. The headers go to disk before the first frame and are kept current every few
// frames, so a file cut short still reads; past the RIFF limit the file continues as
// OpenDML ('AVIX' RIFFs, 'ix00' standard indexes, an 'indx' super index).

#include <cstdint>
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
    void renderOdml(ByteWriter& out) const;
    [[nodiscard]] bool needsNewRiff(std::uint64_t position, std::size_t count, std::size_t dataSize) const;
    [[nodiscard]] std::size_t framesFitting(std::span<const FrameSample> frames, std::size_t leadBytes) const;
    [[nodiscard]] HRESULT writeRun(std::span<const FrameSample> frames);
    [[nodiscard]] bool writePendingPalette();
    [[nodiscard]] HRESULT startNextRiff();
    [[nodiscard]] bool closeRiff();
    [[nodiscard]] bool writeStdIndex();
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
};

}  // namespace kelvora::avifile
