#include "codec/EncoderPlan.h"

#include <algorithm>
#include <climits>

namespace kelvora::codec {

namespace {

// The encoder's limits, as libavcodec 5.1's FFV1 encoder sets them: at most 1024 slices in
// fewer than 32 rows, each row of `rows` to 2 x `rows` - 1 columns, no more columns (rows)
// than the chroma plane is wide (high); a slice's worst case (a bit more than a sample's
// bits, every plane) must fit the 24 bits that give its length.
constexpr int kMostSlices = 1024;
constexpr int kRowsBelow = 32;
constexpr std::int64_t kSliceBits = std::int64_t{8} << 24;

// Its output buffer: room for the worst case of 37 x 4 bytes a pixel beside a fixed 16 KiB,
// at most what an int counts, allocated with a sixteenth more and zeroed before the first
// frame (so all of it is memory in use).
constexpr std::int64_t kFfv1BufferPerPixel = 37 * 4;
constexpr std::int64_t kFfv1BufferFixed = 16384;
constexpr std::int64_t kPacketMost = INT_MAX - 64 - 32;

std::int64_t rowsOf(const bitmap::StreamShape& shape)
{
    return shape.height < 0 ? -std::int64_t{shape.height} : shape.height;
}

// A side of `size` shifted down by `shift`, rounded up: the chroma plane's.
std::int64_t chromaSide(std::int64_t size, int shift) { return (size + (std::int64_t{1} << shift) - 1) >> shift; }

// The encoder's own refusal of a cut whose last slice is a whole number of chroma samples
// across while the frame is not (libavcodec's "need new slices").
bool encoderRefusesCut(std::int64_t size, int parts, int shift)
{
    const std::int64_t unit = std::int64_t{1} << shift;
    const std::int64_t lastStart = size * (parts - 1) / parts;
    return size % unit != 0 && (size - lastStart) % unit == 0;
}

bool landsExactly(std::int64_t width, std::int64_t height, int slices, Ffv1Form form)
{
    const std::optional<SliceGrid> grid = ffv1GridFor(width, height, slices, form);
    return grid && slicesLandExactly(width, grid->columns) && slicesLandExactly(height, grid->rows) &&
           slicesCoverChroma(width, grid->columns, form.chromaShiftX) &&
           slicesCoverChroma(height, grid->rows, form.chromaShiftY);
}

}  // namespace

std::optional<SliceGrid> ffv1GridFor(std::int64_t width, std::int64_t height, int slices, Ffv1Form form)
{
    if (width <= 0 || height <= 0 || slices <= 0 || slices > kMostSlices)
        return std::nullopt;
    const std::int64_t mostColumns = chromaSide(width, form.chromaShiftX);
    const std::int64_t mostRows = chromaSide(height, form.chromaShiftY);
    const std::int64_t bitsPerPixel = std::int64_t{form.bits + 1} * form.planes;
    // Frames beyond 352 x 288 start at two rows of slices, so one slice is refused for them.
    std::int64_t firstRows = (width > 352 || height > 288) ? 2 : 1;
    firstRows = std::min(firstRows, mostRows);
    for (std::int64_t rows = firstRows; rows < kRowsBelow; ++rows) {
        for (std::int64_t columns = rows; columns < 2 * rows; ++columns) {
            if (columns > mostColumns || rows > mostRows)
                continue;
            const std::int64_t sliceWidth = (width + columns - 1) / columns;
            const std::int64_t sliceHeight = (height + rows - 1) / rows;
            if (sliceWidth * sliceHeight * bitsPerPixel > kSliceBits)
                continue;
            if (encoderRefusesCut(width, static_cast<int>(columns), form.chromaShiftX) ||
                encoderRefusesCut(height, static_cast<int>(rows), form.chromaShiftY))
                continue;
            if (columns * rows == slices)
                return SliceGrid{static_cast<int>(columns), static_cast<int>(rows)};
        }
    }
    return std::nullopt;
}

bool slicesLandExactly(std::int64_t size, int parts)
{
    // Slice i starts at size * i / parts; the encoder writes (start + 1) * parts / size for it.
    for (std::int64_t i = 0; i < parts; ++i) {
        const std::int64_t start = size * i / parts;
        if ((start + 1) * parts / size != i)
            return false;
    }
    return true;
}

bool slicesCoverChroma(std::int64_t size, int parts, int shift)
{
    // Slices before the last reach the next one's first chroma sample or past it; the last,
    // from column s, covers (s >> shift) plus its own width shifted up, which falls short of
    // the plane where s is not a whole number of chroma samples in.
    const std::int64_t lastStart = size * (parts - 1) / parts;
    return (lastStart >> shift) + chromaSide(size - lastStart, shift) == chromaSide(size, shift);
}

Ffv1Settings ffv1SettingsFor(std::int64_t width, std::int64_t height, Ffv1Form form)
{
    if (landsExactly(width, height, 4, form))
        return {3, 4};
    // Counts from 5 serve frames too large for four slices; one serves small frames 1 or 2
    // pixels across in one direction (from 2 on, every slice is at least 2 pixels across).
    for (int slices = 5; slices <= kMostSlices; ++slices)
        if (landsExactly(width, height, slices, form))
            return {3, slices};
    if (landsExactly(width, height, 1, form))
        return {3, 1};
    return {1, 1};
}

std::int64_t encoderBytes(Codec codec, const bitmap::StreamShape& shape)
{
    const std::int64_t pixels = std::int64_t{shape.width} * rowsOf(shape);
    if (codec == Codec::Ffv1) {
        // The worst-case buffer, then the frame (4 bytes a pixel) and the packet as libavcodec
        // hands it and as we keep it (at most 27 bits a pixel each).
        const std::int64_t buffer = std::min(kFfv1BufferFixed + kFfv1BufferPerPixel * pixels, kPacketMost);
        return buffer + buffer / 16 + 12 * pixels;
    }
    if (codec == Codec::Png) {
        // The picture, its filtered rows, deflate's worst case and the packets as the writer
        // and the save keep them: 3 bytes a pixel each; libdeflate's state.
        return 15 * pixels + (std::int64_t{1} << 20);
    }
    return 0;
}

EncoderPlan planEncoders(Codec codec, const bitmap::StreamShape& shape, int cores, Ffv1Form form)
{
    cores = std::max(cores, 1);
    const std::int64_t each = std::max<std::int64_t>(encoderBytes(codec, shape), 1);
    const std::int64_t fit = std::max<std::int64_t>(kEncoderBudgetBytes / each, 1);
    if (codec != Codec::Ffv1)
        return {static_cast<int>(std::min<std::int64_t>(fit, cores)), 1};
    // An FFV1 encoder's set-up, its worst-case buffer zeroed and faulted in, costs about what
    // encoding 20 full-HD frames does (bench/codec/lossless-save.sh): its slices take the
    // cores first, one thread each, and only cores beyond them get encoders of their own.
    const int slices = ffv1SettingsFor(shape.width, rowsOf(shape), form).slices;
    const int threads = std::clamp(cores, 1, slices);
    return {static_cast<int>(std::clamp<std::int64_t>(cores / threads, 1, fit)), threads};
}

}  // namespace kelvora::codec
