#pragma once

// A structural reader of the AVI files our library writes, for tests: the headers, the
// indexes and every frame chunk as found in the 'movi' lists, tolerant of a file cut short.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/types/FourCC.h"

namespace kelvora::testsupport {

using platform::FourCC;

struct AviMainHeader {
    std::uint32_t dwMicroSecPerFrame = 0, dwMaxBytesPerSec = 0, dwPaddingGranularity = 0, dwFlags = 0;
    std::uint32_t dwTotalFrames = 0, dwInitialFrames = 0, dwStreams = 0, dwSuggestedBufferSize = 0;
    std::uint32_t dwWidth = 0, dwHeight = 0;
};

struct AviStreamHeader {
    FourCC fccType, fccHandler;
    std::uint32_t dwFlags = 0;
    std::uint16_t wPriority = 0, wLanguage = 0;
    std::uint32_t dwInitialFrames = 0, dwScale = 0, dwRate = 0, dwStart = 0, dwLength = 0;
    std::uint32_t dwSuggestedBufferSize = 0, dwQuality = 0, dwSampleSize = 0;
    std::int16_t left = 0, top = 0, right = 0, bottom = 0;
};

struct AviRiff {
    FourCC type;  // 'AVI ' or 'AVIX'
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::uint64_t moviFourCC = 0;  // offset of the 'movi' FourCC
    std::uint32_t moviSize = 0;
};

struct AviFrame {
    std::uint64_t chunkOffset = 0;  // the '00db' header
    std::uint32_t size = 0;
    std::size_t riff = 0;
};

struct AviIdx1Entry {
    FourCC chunkId;
    std::uint32_t flags = 0, offset = 0, size = 0;
};

struct AviSuperIndexEntry {
    std::uint64_t offset = 0;
    std::uint32_t size = 0, duration = 0;
};

struct AviStdIndex {
    std::uint64_t chunkOffset = 0;
    FourCC chunkId;
    std::uint64_t baseOffset = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // (offset to data, size|flag)
};

struct AviInfo {
    std::string error;       // empty when the file parsed
    bool truncated = false;  // a chunk runs past the end of the file
    std::uint64_t fileSize = 0;
    std::vector<AviRiff> riffs;
    AviMainHeader avih;
    bool hasStream = false;
    AviStreamHeader strh;
    std::vector<std::uint8_t> strf;
    std::string strn;
    bool hasIndx = false;
    std::uint32_t indxEntriesInUse = 0;
    FourCC indxChunkId;
    std::size_t indxCapacity = 0;
    std::vector<AviSuperIndexEntry> indx;
    bool hasOdml = false;
    std::uint32_t dmlhTotalFrames = 0;
    std::vector<AviFrame> frames;
    std::vector<AviFrame> paletteChanges;  // '00pc' chunks, in file order
    bool hasIdx1 = false;
    std::vector<AviIdx1Entry> idx1;
    std::vector<AviStdIndex> ix00;
    // A second stream, the audio ('01wb' chunks), where there is one.
    bool hasAudio = false;
    AviStreamHeader audioStrh;
    std::vector<std::uint8_t> audioStrf;
    std::vector<AviSuperIndexEntry> audioIndx;
    std::vector<AviFrame> audioChunks;
    std::vector<AviStdIndex> ix01;
};

[[nodiscard]] AviInfo inspectAvi(const std::filesystem::path& file);
[[nodiscard]] std::vector<std::uint8_t> readFrameBytes(const std::filesystem::path& file, const AviFrame& frame);

}  // namespace kelvora::testsupport
