// Feeds arbitrary bytes to cDIB as a BMP file, then as a packed bitmap, and writes back
// whatever loaded. Messages are only recorded; only crashes, leaks and undefined behaviour count.
#include "bitmap/cDIB.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::filesystem::path scratch(const char* name)
{
    return std::filesystem::temp_directory_path() /
           ("kelvora-fuzz-" + std::to_string(::getpid()) + "-" + name);
}

std::uint32_t fieldAt(const std::uint8_t* data, std::size_t size, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | (at + i < size ? data[at + i] : 0u);
    return value;
}

// Headers may claim blocks of up to 2 GiB from a few bytes, and the loader honours them;
// the unit tests load such files. Here they would only slow the search down, so inputs
// claiming more than this are skipped.
constexpr std::uint32_t kLargestClaim = 16u << 20;

// An uncompressed picture stored with image size 0 claims the size of its rows: width,
// height and depth from the 40-byte header, or from the OS/2 header's 16-bit fields.
double rowsClaim(const std::uint8_t* data, std::size_t size)
{
    const bool os2 = fieldAt(data, size, 14) == 12;
    const auto signedField = [&](std::size_t at) {
        return static_cast<std::int64_t>(static_cast<std::int32_t>(fieldAt(data, size, at)));
    };
    const std::int64_t width = os2 ? fieldAt(data, size, 18) & 0xFFFF : signedField(18);
    const std::int64_t height = os2 ? fieldAt(data, size, 20) & 0xFFFF : signedField(22);
    const std::int64_t depth = fieldAt(data, size, os2 ? 24 : 28) & 0xFFFF;
    return (static_cast<double>(std::abs(width)) * static_cast<double>(depth) / 8 + 4) * static_cast<double>(std::abs(height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (fieldAt(data, size, 10) > kLargestClaim || fieldAt(data, size, 34) > kLargestClaim ||
        fieldAt(data, size, 20) > kLargestClaim || rowsClaim(data, size) > kLargestClaim)
        return -1;
    static const std::string input = scratch("in.bmp").string();
    static const std::string output = scratch("out.bmp").string();
    if (std::FILE* file = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    kelvora::testsupport::ScriptedMessageBox messages;
    kelvora::bitmap::cDIB dib(messages);
    if (dib.CreateFromFile(input)) {
        // Touch both ends of both blocks so a wrong size shows up under ASan.
        volatile std::uint8_t sink = dib.PointerToBits()[0] ^ dib.PointerToBits()[dib.SizeImage() - 1] ^
                                     dib.PointerToBitmapInfo()[dib.SizeBitmapInfo() - 1];
        (void)sink;
        (void)dib.WriteToFile(output);
    }
    (void)dib.CreateFromPackedDIBPointer({data, size});
    return 0;
}
