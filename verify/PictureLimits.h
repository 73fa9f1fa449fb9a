#pragma once

// How large a picture a video may make us build. A stream's header says how large its
// pictures are, and run-length or compressed frames of a few bytes may claim any size: a
// picture is only made when its size is plausible (each side within the format's 16-bit
// frame rectangle, at most 1 GiB at four bytes a pixel) and, beyond 64 MiB, in proportion
// to the file it comes from.

#include "platform/binary/BitmapRecords.h"

#include <cstdint>
#include <string>

namespace kelvora::verify {

inline constexpr std::int64_t kMaxPictureSide = 65535;
inline constexpr std::int64_t kMaxPictureBytes = std::int64_t{1} << 30;
inline constexpr std::int64_t kPictureBytesAnyFile = std::int64_t{64} << 20;
// Bytes of picture a byte of file may stand for: far beyond what any codec achieves on a
// picture that is not a single colour.
inline constexpr std::int64_t kPictureBytesPerFileByte = 65536;

// Why pictures of `width` x `height` cannot be made from a file of `fileLength` bytes, in
// Italian ("dichiara fotogrammi di 20000×20000 pixel, troppo grandi per un file di 424 byte");
// empty when they can.
[[nodiscard]] std::string pictureRefusal(std::int64_t width, std::int64_t height, std::int64_t fileLength);

// For a video libavformat reads (MP4, Matroska), whose decoders hold several pictures at once
// and whose frames the check turns into RGB twice over: beyond 64 MiB a picture needs a byte of
// file for every kDecodedBytesPerFileByte of it, so that no file under 1 MiB makes the check
// hold more than a few hundred megabytes (a single-colour 8K frame, 7.7 kB in H.264, is
// refused: a file of 2 MB may claim it).
inline constexpr std::int64_t kDecodedBytesPerFileByte = 64;
[[nodiscard]] std::string decodedPictureRefusal(std::int64_t width, std::int64_t height, std::int64_t fileLength);

// Why an uncompressed stream of this format cannot be decoded (a depth no decoder reads,
// a run-length stream of the wrong depth, a picture too large); empty when it can.
[[nodiscard]] std::string rawRefusal(const binary::BITMAPINFOHEADER& header, std::int64_t fileLength);

}  // namespace kelvora::verify
