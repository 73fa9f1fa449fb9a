#pragma once

// A video's frame against a picture file (PNG, JPEG) at its place in the list. Stored as it
// is, the frame's chunk must be the file's bytes, byte for byte; encoded by one of our
// lossless codecs, the frame decoded must be the file's picture as libavcodec decodes it, put
// into the decoded frame's pixel format as the save puts it (exact: 16 bits, grey and alpha
// kept, a JPEG's own planes in FFV1; a JPEG in PNG through the same YCbCr-to-RGB step).

#include "bitmap/PictureHeader.h"
#include "codec/Codec.h"
#include "codec/LosslessDecoder.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvora::verify {

// How a PNG stream holds PNG files: stored as they are ('MPNG' of the default save), each frame
// then to be its file's bytes whatever it shows (a gamma or colour profile chunk added, the
// data recompressed: the file is not the one stored); or encoded by our PNG codec, each then
// to decode to its file's picture. Both are 'MPNG' with the same format block: the first frame
// that is not its file's bytes decides, for the whole video, by whether it is exactly what our
// PNG codec writes of its own picture.
struct PngStream {
    std::optional<bool> encoded;
};

// What the frame holds of the file at `path`: nothing when the file is no picture file (a
// bitmap, judged as ever); else the difference, empty when there is none. `codec` is the
// stream's own (Raw where another writer's codec, or no codec, stores the pictures) and
// `decoded` the frame decoded by our decoder of that codec (null where there is none); `png`
// what the video's frames so far tell of a PNG stream.
[[nodiscard]] std::optional<std::string> pictureDifference(const std::string& path, std::span<const std::uint8_t> chunk,
                                                           codec::Codec codec, const codec::LosslessDecoder* decoded,
                                                           PngStream& png);

// The same for a frame of one of our lossless codecs decoded elsewhere (a Matroska video's):
// `picture` decoded, packed as ffmpeg packs raw video into `packed`.
[[nodiscard]] std::optional<std::string> pictureDifference(const std::string& path, codec::Codec codec,
                                                           const AVFrame& picture,
                                                           std::span<const std::uint8_t> packed);

// A picture file read whole (a JPEG up to its end marker, as the save stores it), or why it is
// no longer the frame it was.
struct PictureFile {
    bitmap::PictureType type = bitmap::PictureType::Bmp;
    std::vector<std::uint8_t> bytes;
    std::string problem;
};
// Nothing when the file is no picture file (a bitmap, judged as ever).
[[nodiscard]] std::optional<PictureFile> readPictureFile(const std::string& path);

// A picture file's colours as the save takes them for a lossy codec: 8-bit RGB, rows top-down
// (PNG: its samples, 16 bits rounded, alpha dropped; JPEG: as ffmpeg converts it). `picture`
// false when the file is no picture file (a bitmap); `problem` set when it no longer decodes.
struct PictureRgb {
    bool picture = false;
    bitmap::PictureType type = bitmap::PictureType::Bmp;
    std::string problem;
    std::vector<std::uint8_t> rgb;
    int width = 0;
    int height = 0;
};
[[nodiscard]] PictureRgb pictureRgb(const std::string& path);

}  // namespace kelvora::verify
