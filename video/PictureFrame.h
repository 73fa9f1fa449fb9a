#pragma once

// A frame that is a compressed picture file (PNG, JPEG) stored whole: the video holds the
// file's bytes as they are, or the codec's frame made from them. The file is held open from
// its load to its frame's write, so the bytes written are those of the file that was judged.
// What the file is, and its shape, come from its headers alone (bitmap/PictureHeader): a
// save that stores pictures as they are never decodes one.

#include "bitmap/FramePlan.h"
#include "bitmap/PictureHeader.h"
#include "codec/Codec.h"
#include "platform/filesystem/File.h"
#include "platform/msgbox/MessageBox.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::video {

struct PictureFrame {
    std::optional<bitmap::PictureType> type;  // none: the frame is a bitmap
    platform::File file;
    std::int64_t size = 0;  // the file's length when it was judged
    platform::FileIdentity identity = {};
    std::vector<std::uint8_t> bytes;  // the whole file, read where a codec decodes it
    bitmap::PictureHeader header;     // what its headers say, for the format rule

    [[nodiscard]] bool isPicture() const { return type.has_value(); }
};

// The plan of a picture whose headers were read, for a video of `codec`: its shape (width,
// rows top-down, the picture's compression and its own format), the stream format a video of
// such pictures is written with (as ffmpeg writes it when it copies them), or why it cannot
// be a frame of that video (stored as it is, only what Motion-JPEG and PNG players decode).
[[nodiscard]] bitmap::FramePlan planPicture(const bitmap::PictureHeader& header, codec::Codec codec);

enum class FileKind {
    Bitmap,      // a BMP by its content: the bitmap object reads it
    Picture,     // a PNG or JPEG file, loaded into the frame
    Unreadable,  // neither: the user has been told why
};

// Opens the file at `path` and, when it is a picture file, loads it into `frame` and plans it
// into `plan` (a plan that refuses it included). `readBytes`: the whole file is read (a codec
// decodes it); else it stays in the file until it is copied.
[[nodiscard]] FileKind loadPicture(const std::string& path, codec::Codec codec, bool readBytes, PictureFrame& frame,
                                   bitmap::FramePlan& plan, platform::MessageBoxService& messages);

}  // namespace kelvora::video
