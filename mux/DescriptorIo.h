#pragma once

// libavformat's input and output through a descriptor of ours instead of a path: the writer
// writes the file this save opened, and the copy that gives an MP4 its index first reads that
// same file, whatever has its name by then. Writing, it keeps where the file's last whole part
// ends (its headers, a fragment, a cluster) and how many frames the file holds up to there,
// so that a file cut short by a write that failed can be cut back to it.

#include <cstdint>
#include <deque>

extern "C" {
struct AVIOContext;
}

namespace kelvora::mux {

class DescriptorIo {
public:
    enum class Mode { Read, Write };
    // A whole part's end, as an offset of the file, and the frames before it.
    struct Whole {
        std::int64_t end = 0;
        int frames = 0;
    };

    // Over `fd` (not owned), from its start. context() is null when out of memory.
    DescriptorIo(int fd, Mode mode);
    ~DescriptorIo();
    DescriptorIo(const DescriptorIo&) = delete;
    DescriptorIo& operator=(const DescriptorIo&) = delete;

    [[nodiscard]] AVIOContext* context() const { return m_context; }
    // Writing: the bytes libavformat has been given up to `end` make whole parts holding
    // `frames` frames. It counts once they are all in the file.
    void wholeUpTo(std::int64_t end, int frames);
    // The last whole part whose bytes are all in the file.
    [[nodiscard]] const Whole& lastWhole() const { return m_whole; }
    // The errno of the first write that failed; 0 while none has.
    [[nodiscard]] int writeError() const { return m_writeError; }

private:
    static int readPacket(void* opaque, std::uint8_t* buffer, int size);
    static int writePacket(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

    int m_fd;
    AVIOContext* m_context = nullptr;
    std::int64_t m_position = 0;
    std::int64_t m_written = 0;  // the bytes in the file, from its start
    int m_writeError = 0;
    std::deque<Whole> m_pending;  // whole parts still partly in libavformat's buffer
    Whole m_whole;
};

}  // namespace kelvora::mux
