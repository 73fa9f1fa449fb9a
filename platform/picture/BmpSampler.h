#pragma once

#include "platform/filesystem/File.h"

#include <QImage>
#include <QSize>
#include <optional>

namespace kelvora::platform {

// The quick road, over a regular file already open for reading (positional reads only, so
// the file's offset is left where it was) for the common uncompressed bitmaps (BI_RGB, 8 bits with a palette, 24 or
// 32 bits; bottom-up or top-down, 40-byte information header): reads the headers, then only
// the rows that nearest-neighbour sampling to `target` needs, and samples their columns.
// The picture comes out at target size, never larger than the bitmap in either direction;
// an empty target gives the whole bitmap.
//
// nullopt: not a file of that kind, or one whose headers disagree with its length; the
// caller hands such files to a general decoder. A null image: the file is of that kind but
// could not be read or the picture could not be made.
[[nodiscard]] std::optional<QImage> sampleUncompressedBmp(File& file, QSize target);

// The source pixel that nearest-neighbour sampling shows at destination index `index` of
// `shown` when `source` pixels are squeezed into `shown`: the one under the destination
// pixel's centre (ties as Qt's FastTransformation breaks them).
[[nodiscard]] int nearestSource(int index, int shown, int source);

}  // namespace kelvora::platform
