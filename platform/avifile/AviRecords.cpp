#include "platform/avifile/AviRecords.h"

namespace kelvora::avifile {

void writeMainHeader(ByteWriter& out, const AVIMAINHEADER& h)
{
    out.u32(h.dwMicroSecPerFrame);     // dwMicroSecPerFrame
    out.u32(h.dwMaxBytesPerSec);       // dwMaxBytesPerSec
    out.u32(h.dwPaddingGranularity);   // dwPaddingGranularity
    out.u32(h.dwFlags);                // dwFlags
    out.u32(h.dwTotalFrames);          // dwTotalFrames
    out.u32(h.dwInitialFrames);        // dwInitialFrames
    out.u32(h.dwStreams);              // dwStreams
    out.u32(h.dwSuggestedBufferSize);  // dwSuggestedBufferSize
    out.u32(h.dwWidth);                // dwWidth
    out.u32(h.dwHeight);               // dwHeight
    out.zeros(16);                     // dwReserved[4]
}

void writeStreamHeader(ByteWriter& out, const AVISTREAMHEADER& h)
{
    out.u32(h.fccType.value());                     // fccType
    out.u32(h.fccHandler.value());                  // fccHandler
    out.u32(h.dwFlags);                             // dwFlags
    out.u16(h.wPriority);                           // wPriority
    out.u16(h.wLanguage);                           // wLanguage
    out.u32(h.dwInitialFrames);                     // dwInitialFrames
    out.u32(h.dwScale);                             // dwScale
    out.u32(h.dwRate);                              // dwRate
    out.u32(h.dwStart);                             // dwStart
    out.u32(h.dwLength);                            // dwLength
    out.u32(h.dwSuggestedBufferSize);               // dwSuggestedBufferSize
    out.u32(h.dwQuality);                           // dwQuality
    out.u32(h.dwSampleSize);                        // dwSampleSize
    out.u16(static_cast<std::uint16_t>(h.left));    // rcFrame.left
    out.u16(static_cast<std::uint16_t>(h.top));     // rcFrame.top
    out.u16(static_cast<std::uint16_t>(h.right));   // rcFrame.right
    out.u16(static_cast<std::uint16_t>(h.bottom));  // rcFrame.bottom
}

void writeSuperIndexHeader(ByteWriter& out, std::uint32_t nEntriesInUse, FourCC dwChunkId)
{
    out.u16(4);                  // wLongsPerEntry
    out.u8(0);                   // bIndexSubType
    out.u8(0);                   // bIndexType: AVI_INDEX_OF_INDEXES
    out.u32(nEntriesInUse);      // nEntriesInUse
    out.u32(dwChunkId.value());  // dwChunkId
    out.zeros(12);               // dwReserved[3]
}

void writeSuperIndexEntry(ByteWriter& out, const AVISUPERINDEXENTRY& e)
{
    out.u64(e.qwOffset);    // qwOffset
    out.u32(e.dwSize);      // dwSize
    out.u32(e.dwDuration);  // dwDuration
}

void writeStdIndexHeader(ByteWriter& out, const AVISTDINDEXHEADER& h)
{
    out.u16(2);                    // wLongsPerEntry
    out.u8(0);                     // bIndexSubType
    out.u8(1);                     // bIndexType: AVI_INDEX_OF_CHUNKS
    out.u32(h.nEntriesInUse);      // nEntriesInUse
    out.u32(h.dwChunkId.value());  // dwChunkId
    out.u64(h.qwBaseOffset);       // qwBaseOffset
    out.u32(0);                    // dwReserved3
}

void writeStdIndexEntry(ByteWriter& out, std::uint32_t dwOffset, std::uint32_t dwSize)
{
    out.u32(dwOffset);  // dwOffset: to the chunk's data
    out.u32(dwSize);    // dwSize, bit 31 set for a non-key frame
}

void writeIdx1Entry(ByteWriter& out, FourCC dwChunkId, std::uint32_t dwFlags, std::uint32_t dwOffset,
                    std::uint32_t dwSize)
{
    out.u32(dwChunkId.value());  // dwChunkId
    out.u32(dwFlags);            // dwFlags
    out.u32(dwOffset);           // dwOffset: from the 'movi' FourCC to the chunk header
    out.u32(dwSize);             // dwSize
}

void writeChunkHeader(ByteWriter& out, FourCC id, std::uint32_t size)
{
    out.u32(id.value());
    out.u32(size);
}

void writeListHeader(ByteWriter& out, FourCC list, std::uint32_t size, FourCC type)
{
    out.u32(list.value());
    out.u32(size);
    out.u32(type.value());
}

}  // namespace kelvora::avifile
