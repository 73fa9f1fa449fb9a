#include "platform/avifile/FrameGeometry.h"

#include "platform/avifile/AviRecords.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/binary/ByteReader.h"

namespace kelvora::avifile {

namespace {

bool fits16(std::int64_t v) { return v >= -kLargestSide - 1 && v <= kLargestSide; }

}  // namespace

std::optional<FrameRect> frameRectFor(const RECT& rc)
{
    const std::int64_t left = rc.left;
    const std::int64_t top = rc.top;
    const std::int64_t width = std::int64_t{rc.right} - left;
    const std::int64_t height = std::int64_t{rc.bottom} - top;
    const std::int64_t rows = height < 0 ? -height : height;
    if (width < 0 || !fits16(left) || !fits16(top) || !fits16(left + width) || !fits16(top + rows))
        return std::nullopt;
    return FrameRect{static_cast<std::int16_t>(left), static_cast<std::int16_t>(top),
                     static_cast<std::int16_t>(left + width), static_cast<std::int16_t>(top + rows)};
}

HRESULT checkVideoFormat(std::span<const std::uint8_t> format)
{
    if (format.size() < kBitmapInfoHeaderSize)
        return AVIERR_BADFORMAT;
    binary::ByteReader in(format);
    const std::uint32_t biSize = in.u32();
    if (biSize < kBitmapInfoHeaderSize || biSize > format.size())
        return AVIERR_BADFORMAT;
    const std::int64_t biWidth = in.i32();
    const std::int64_t biHeight = in.i32();
    const std::int64_t rows = biHeight < 0 ? -biHeight : biHeight;
    if (biWidth > kLargestSide || rows > kLargestSide)
        return AVIERR_BADFORMAT;
    return AVIERR_OK;
}

platform::FourCC frameChunkFor(std::span<const std::uint8_t> format)
{
    if (format.size() < kBitmapInfoHeaderSize)
        return kDibFrameChunk;
    binary::ByteReader in(format.subspan(16, 4));  // biCompression
    const std::uint32_t compression = in.u32();
    return compression > static_cast<std::uint32_t>(binary::BI_BITFIELDS) ? kCompressedFrameChunk : kDibFrameChunk;
}

}  // namespace kelvora::avifile
