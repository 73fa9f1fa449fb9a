#pragma once

// A frame that is a compressed picture file (PNG, JPEG) stored whole: the video holds the
// file's bytes as they are, or the codec's frame made from them. The file is held open from
// its load to its frame's write, so the bytes written are those of the file that was judged.

#include "bitmap/FramePlan.h"
#include "codec/PictureDecoder.h"
#include "platform/filesystem/File.h"
#include "platform/msgbox/MessageBox.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvora::video {

struct PictureFrame {
    std::optional<codec::PictureType> type;  // none: the frame is a bitmap
    platform::File file;
    std::int64_t size = 0;  // the file's length when it was judged
    platform::FileIdentity identity = {};
    std::vector<std::uint8_t> bytes;  // the whole file, read where a codec decodes it

    [[nodiscard]] bool isPicture() const { return type.has_value(); }
};

// The picture type a file's first bytes announce (PNG's signature, JPEG's start of image);
// none for anything else, which is read as a bitmap.
[[nodiscard]] std::optional<codec::PictureType> pictureTypeOf(std::span<const std::uint8_t> head);
[[nodiscard]] std::optional<codec::PictureType> pictureTypeOfFile(const std::string& path);

// Opens the picture file at `path` and judges it: `plan` receives its shape (width, rows
// top-down, the picture's compression and format) and the stream format a video of such
// pictures is written with. `readBytes`: the whole file is read into the frame (a codec
// decodes it); else it stays in the file until it is copied. False when the file cannot be
// read, after `messages` has told the user why.
[[nodiscard]] bool loadPicture(const std::string& path, codec::PictureType type, bool readBytes, PictureFrame& frame,
                               bitmap::FramePlan& plan, platform::MessageBoxService& messages);

}  // namespace kelvora::video
