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
    // The picture's bytes, from the file's start: the file's length when it was judged, or
    // where a JPEG's end marker is when data follows it.
    std::int64_t size = 0;
    platform::FileIdentity identity = {};
    // Those bytes, read where a codec decodes them or the file is a PNG (checked, then written
    // from here); empty where the frame is copied from the file.
    std::vector<std::uint8_t> bytes;
    bitmap::PictureHeader header;  // what its headers say, for the format rule

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
// into `plan` (a plan that refuses it included). A file named .png, .jpg or .jpeg is judged as
// a picture whatever it holds; another is a bitmap unless its content is a PNG or JPEG. The
// picture's end is found (a JPEG followed by other data), and a PNG's chunks and data are
// checked (video/PngIntegrity): a picture that fails is Unreadable, the user told why.
// `readBytes`: the picture's bytes are read (a codec decodes them); else, but for a PNG, they
// stay in the file until they are copied.
[[nodiscard]] FileKind loadPicture(const std::string& path, codec::Codec codec, bool readBytes, PictureFrame& frame,
                                   bitmap::FramePlan& plan, platform::MessageBoxService& messages);

}  // namespace kelvora::video
