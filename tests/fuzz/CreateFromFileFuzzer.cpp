// Feeds arbitrary bytes to cDIB as a BMP file, then as a packed bitmap, and writes back
// whatever loaded. Messages are only recorded; only crashes, leaks and undefined behaviour count.
#include "bitmap/cDIB.h"
#include "tests/fuzz/MemoryFile.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every header goes in, however much it claims: the loader holds memory only in reach of
    // the file's real size.
    static kelvora::fuzz::MemoryFile input("in.bmp");
    static kelvora::fuzz::MemoryFile output("out.bmp");
    input.replaceWith(data, size);
    kelvora::testsupport::ScriptedMessageBox messages;
    kelvora::bitmap::cDIB dib(messages);
    if (dib.CreateFromFile(input.path())) {
        // Touch both ends of both blocks so a wrong size shows up under ASan.
        const auto bits = dib.bits();
        volatile std::uint8_t sink = dib.PointerToBitmapInfo()[dib.SizeBitmapInfo() - 1];
        if (!bits.empty())
            sink = sink ^ bits.front() ^ bits.back();
        (void)sink;
        (void)dib.WriteToFile(output.path());
    }
    (void)dib.CreateFromPackedDIBPointer({data, size});
    return 0;
}
