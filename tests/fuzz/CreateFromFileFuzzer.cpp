// Feeds arbitrary bytes to cDIB as a BMP file, then as a packed bitmap, and writes back
// whatever loaded. Messages are only recorded; only crashes, leaks and undefined behaviour count.
#include "bitmap/cDIB.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A file in memory, named by a path the loader opens like any other. A file on disk would cost
// far more than the load: rewriting one in place makes ext4 flush it to the disk at every close.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : m_fd(::memfd_create(name, MFD_CLOEXEC))
    {
        if (m_fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    void replaceWith(const std::uint8_t* data, std::size_t size)
    {
        if (::ftruncate(m_fd, 0) != 0 || (size > 0 && ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size))) {
            std::perror("scratch input");
            std::abort();
        }
    }
    [[nodiscard]] const std::string& path() const { return m_path; }

private:
    int m_fd;
    std::string m_path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every header goes in, however much it claims: the loader holds memory only in reach of
    // the file's real size.
    static MemoryFile input("in.bmp");
    static MemoryFile output("out.bmp");
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
