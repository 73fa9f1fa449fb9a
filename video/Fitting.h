#pragma once

// Whether a save fits its frames into the video's size (photo/: upright, in sRGB, resampled in
// linear light, placed with bars or cropped) or keeps each as its file holds it, and that size.
//
//   a size chosen                       every frame fitted, whatever the codec (an uncompressed
//                                       AVI then holds the fitted pictures, 24 bits)
//   H.264, no size                      every frame fitted into the first's upright size, or
//                                       within 3840 x 2160 where that is beyond level 5.1
//   FFV1 or PNG, no size                each frame kept as its file holds it where every frame
//                                       can be (the first's shape, upright, plain sRGB, and no
//                                       JPEG in an FFV1 AVI, which cannot say its planes are full
//                                       range); else every frame fitted into the first's size
//   uncompressed, no size               as its file holds it (frames of another format left out)
//
// The check decides alike, from the same files, so that it compares each frame of the video
// with what the save made of its file.

#include "bitmap/FramePlan.h"
#include "codec/Codec.h"
#include "photo/Framing.h"
#include "video/VideoSink.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::video {

// What decides about one frame file, from its headers alone.
struct FrameLook {
    bool read = false;  // false: the file could not be judged (the save tells why when it reaches it)
    bool jpeg = false;
    bitmap::StreamShape shape;
    std::uint8_t orientation = 1;
    bool profiled = false;
    // The sides it shows, once turned upright.
    [[nodiscard]] photo::OutputSize upright() const;
};
[[nodiscard]] FrameLook lookOfFile(const std::string& path);

// Whether a frame can go into a video whose first frame looks like `first` as its file holds it.
[[nodiscard]] bool keptAsStored(codec::Codec codec, Container container, const FrameLook& first,
                                const FrameLook& frame);

struct Fitting {
    bool on = false;
    // The video's size (when on), the fit and the bars' colour.
    photo::Framing framing;
    // What the user should know of the size (a photo shrunk for where it is going), in Italian.
    std::string notice;
};

// The fitting of a save whose first frame looks like `first`, the size asked for in `framing`.
// `allKept`: whether every frame can be kept as stored (asked only for FFV1 and PNG without a
// size, where it decides).
[[nodiscard]] Fitting planFitting(codec::Codec codec, Container container, const photo::Framing& framing,
                                  const FrameLook& first, const std::function<bool()>& allKept);

// The fitting a save of `frames` in `codec` into `container` does when `asked` gives the size
// (or none) and the fit: as the save decides it, from the files' headers alone. Unset when it
// keeps each frame as its file holds it. `faded`: a slideshow with fades, whose pictures are
// all fitted (its fades are drawn from them).
[[nodiscard]] std::optional<photo::Framing> fittingOfFrames(codec::Codec codec, Container container,
                                                            const photo::Framing& asked,
                                                            const std::vector<std::string>& frames, bool faded = false);

// The H.264 level a video of `size` at `rate` / `scale` frames a second needs, ×10 (51 for 5.1).
[[nodiscard]] int h264Level(photo::OutputSize size, std::uint32_t rate, std::uint32_t scale);
// What the user should know of a level beyond 5.1, in Italian; empty within it.
[[nodiscard]] std::string levelNotice(photo::OutputSize size, std::uint32_t rate, std::uint32_t scale);

}  // namespace kelvora::video
