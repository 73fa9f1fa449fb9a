#pragma once

// The on-disk records of an AVI file (AVI 1.0 and the OpenDML 1.02 extensions), with
// their documented field names, each written field by field in little-endian.

#include <cstddef>
#include <cstdint>

#include "platform/avifile/LittleEndian.h"
#include "platform/types/FourCC.h"

namespace kelvora::avifile {

using platform::FourCC;

inline constexpr FourCC kRiff = FourCC("RIFF");
inline constexpr FourCC kList = FourCC("LIST");
inline constexpr FourCC kJunk = FourCC("JUNK");
inline constexpr FourCC kAvi = FourCC("AVI ");
inline constexpr FourCC kAvix = FourCC("AVIX");
inline constexpr FourCC kHdrl = FourCC("hdrl");
inline constexpr FourCC kAvih = FourCC("avih");
inline constexpr FourCC kStrl = FourCC("strl");
inline constexpr FourCC kStrh = FourCC("strh");
inline constexpr FourCC kStrf = FourCC("strf");
inline constexpr FourCC kStrn = FourCC("strn");
inline constexpr FourCC kIndx = FourCC("indx");
inline constexpr FourCC kOdml = FourCC("odml");
inline constexpr FourCC kDmlh = FourCC("dmlh");
inline constexpr FourCC kMovi = FourCC("movi");
inline constexpr FourCC kIdx1 = FourCC("idx1");
inline constexpr FourCC kIx00 = FourCC("ix00");
inline constexpr FourCC kDibFrameChunk = FourCC("00db");         // stream 0, a DIB as stored
inline constexpr FourCC kCompressedFrameChunk = FourCC("00dc");  // stream 0, a codec's frame
inline constexpr FourCC kAuds = FourCC("auds");
inline constexpr FourCC kAudioChunk = FourCC("01wb");  // stream 1, audio samples
inline constexpr FourCC kIx01 = FourCC("ix01");

inline constexpr std::uint32_t AVIF_HASINDEX = 0x10;
inline constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x100;
inline constexpr std::uint32_t AVIF_TRUSTCKTYPE = 0x800;
inline constexpr std::uint32_t kIdx1KeyFrame = 0x10;
// In a standard index, bit 31 of a size marks a frame that is NOT a key frame.
inline constexpr std::uint32_t kIndexNotKeyFrame = 0x80000000u;

inline constexpr std::size_t kMainHeaderSize = 56;
inline constexpr std::size_t kStreamHeaderSize = 56;
inline constexpr std::size_t kSuperIndexHeaderSize = 24;
inline constexpr std::size_t kSuperIndexEntrySize = 16;
inline constexpr std::size_t kStdIndexHeaderSize = 24;
inline constexpr std::size_t kStdIndexEntrySize = 8;
inline constexpr std::size_t kIdx1EntrySize = 16;
// 'dmlh' is commonly 248 bytes: the total frame count and reserved space.
inline constexpr std::size_t kExtHeaderSize = 248;
// LIST 'odml' holding the 'dmlh' chunk, headers included.
inline constexpr std::size_t kOdmlListSize = 12 + 8 + kExtHeaderSize;

struct AVIMAINHEADER {
    std::uint32_t dwMicroSecPerFrame = 0;
    std::uint32_t dwMaxBytesPerSec = 0;
    std::uint32_t dwPaddingGranularity = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwTotalFrames = 0;
    std::uint32_t dwInitialFrames = 0;
    std::uint32_t dwStreams = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwWidth = 0;
    std::uint32_t dwHeight = 0;
};

struct AVISTREAMHEADER {
    FourCC fccType;
    FourCC fccHandler;
    std::uint32_t dwFlags = 0;
    std::uint16_t wPriority = 0;
    std::uint16_t wLanguage = 0;
    std::uint32_t dwInitialFrames = 0;
    std::uint32_t dwScale = 0;
    std::uint32_t dwRate = 0;
    std::uint32_t dwStart = 0;
    std::uint32_t dwLength = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwQuality = 0;
    std::uint32_t dwSampleSize = 0;
    std::int16_t left = 0;
    std::int16_t top = 0;
    std::int16_t right = 0;
    std::int16_t bottom = 0;
};

struct AVISUPERINDEXENTRY {
    std::uint64_t qwOffset = 0;  // file offset of an 'ix00' chunk's header
    std::uint32_t dwSize = 0;    // that chunk's size, header included
    std::uint32_t dwDuration = 0;
};

struct AVISTDINDEXHEADER {
    std::uint32_t nEntriesInUse = 0;
    FourCC dwChunkId;
    std::uint64_t qwBaseOffset = 0;
};

// Each writes the record's body (no chunk header).
void writeMainHeader(ByteWriter& out, const AVIMAINHEADER& h);
void writeStreamHeader(ByteWriter& out, const AVISTREAMHEADER& h);
void writeSuperIndexHeader(ByteWriter& out, std::uint32_t nEntriesInUse, FourCC dwChunkId);
void writeSuperIndexEntry(ByteWriter& out, const AVISUPERINDEXENTRY& e);
void writeStdIndexHeader(ByteWriter& out, const AVISTDINDEXHEADER& h);
void writeStdIndexEntry(ByteWriter& out, std::uint32_t dwOffset, std::uint32_t dwSize);
void writeIdx1Entry(ByteWriter& out, FourCC dwChunkId, std::uint32_t dwFlags, std::uint32_t dwOffset,
                    std::uint32_t dwSize);
void writeChunkHeader(ByteWriter& out, FourCC id, std::uint32_t size);
void writeListHeader(ByteWriter& out, FourCC list, std::uint32_t size, FourCC type);

}  // namespace kelvora::avifile
