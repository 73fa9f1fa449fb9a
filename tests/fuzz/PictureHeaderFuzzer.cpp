// Feeds arbitrary bytes to the picture header reader as a file named .png, .jpg and with no
// type, so every segment and chunk walk meets lengths that lie. Only crashes, leaks, undefined
// behaviour and reads beyond a few pieces count.
#include "bitmap/PictureHeader.h"
#include "tests/fuzz/MemoryFile.h"

#include <fcntl.h>

#include <cstdint>
#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static kelvora::fuzz::MemoryFile input("picture");
    input.replaceWith(data, size);
    using kelvora::bitmap::PictureType;
    for (const std::optional<PictureType> named :
         {std::optional<PictureType>{}, std::optional{PictureType::Png}, std::optional{PictureType::Jpeg}}) {
        kelvora::platform::File file(::open(input.path().c_str(), O_RDONLY | O_CLOEXEC));
        const auto header = kelvora::bitmap::readPictureHeader(file, static_cast<std::int64_t>(size), named);
        // The reader never reads more than the file holds.
        if (header.bytesRead > static_cast<std::int64_t>(size) + 4096)
            std::abort();
        if (header.read() && header.type != PictureType::Bmp && (header.width <= 0 || header.height <= 0))
            std::abort();
    }
    return 0;
}
