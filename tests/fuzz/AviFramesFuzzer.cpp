// Feeds arbitrary bytes to the video check's AVI reader as a file, and makes the picture the
// check would hash of each frame. Only crashes, leaks, undefined behaviour and memory beyond
// the file's plausible pictures count.
#include "tests/fuzz/MemoryFile.h"
#include "verify/AviFrames.h"
#include "verify/PictureLimits.h"
#include "verify/RawPicture.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static kelvora::fuzz::MemoryFile input("in.avi");
    input.replaceWith(data, size);
    bool unreadable = false;
    const auto opened = kelvora::verify::AviFrames::open(input.path(), unreadable);
    if (!opened)
        return 0;
    const auto& video = opened.value();
    const auto& header = video->stream().header;
    // As the check does: a picture is made only when the file makes its size plausible.
    const bool pictures = kelvora::verify::rawRefusal(header, video->length()).empty();
    std::vector<std::uint8_t> chunk;
    std::vector<std::uint8_t> picture;
    while (video->next(chunk)) {
        if (pictures)
            (void)kelvora::verify::rawPicture(header, chunk, video->palette(), picture);
    }
    return 0;
}
