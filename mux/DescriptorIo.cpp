#include "mux/DescriptorIo.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kelvora::mux {

namespace {

// Larger than libavformat's own 32 KiB: a frame of megabytes goes out in few system calls.
constexpr int kBufferBytes = 256 * 1024;

}  // namespace

DescriptorIo::DescriptorIo(int fd, Mode mode) : m_fd(fd)
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (!buffer)
        return;
    const bool writing = mode == Mode::Write;
    m_context = avio_alloc_context(buffer, kBufferBytes, writing ? 1 : 0, this, writing ? nullptr : &readPacket,
                                   writing ? &writePacket : nullptr, &seek);
    if (!m_context)
        av_free(buffer);
}

DescriptorIo::~DescriptorIo()
{
    if (!m_context)
        return;
    av_freep(&m_context->buffer);
    avio_context_free(&m_context);
}

void DescriptorIo::wholeUpTo(std::int64_t end, int frames)
{
    if (end <= m_written) {
        m_whole = {end, frames};
        return;
    }
    m_pending.push_back({end, frames});
}

int DescriptorIo::readPacket(void* opaque, std::uint8_t* buffer, int size)
{
    auto& io = *static_cast<DescriptorIo*>(opaque);
    ssize_t got = -1;
    do
        got = ::pread(io.m_fd, buffer, static_cast<std::size_t>(size), io.m_position);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return AVERROR(errno);
    if (got == 0)
        return AVERROR_EOF;
    io.m_position += got;
    return static_cast<int>(got);
}

int DescriptorIo::writePacket(void* opaque, std::uint8_t* buffer, int size)
{
    auto& io = *static_cast<DescriptorIo*>(opaque);
    if (io.m_writeError != 0)
        return AVERROR(io.m_writeError);  // nothing more after a hole
    for (int done = 0; done < size;) {
        const ssize_t put = ::pwrite(io.m_fd, buffer + done, static_cast<std::size_t>(size - done), io.m_position);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            io.m_writeError = put < 0 ? errno : ENOSPC;
            return AVERROR(io.m_writeError);
        }
        done += static_cast<int>(put);
        io.m_position += put;
        if (io.m_position > io.m_written)
            io.m_written = io.m_position;
    }
    while (!io.m_pending.empty() && io.m_pending.front().end <= io.m_written) {
        io.m_whole = io.m_pending.front();
        io.m_pending.pop_front();
    }
    return size;
}

std::int64_t DescriptorIo::seek(void* opaque, std::int64_t offset, int whence)
{
    auto& io = *static_cast<DescriptorIo*>(opaque);
    struct stat info {};
    const std::int64_t size = ::fstat(io.m_fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size < 0 ? AVERROR(errno) : size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += io.m_position;
        break;
    case SEEK_END:
        if (size < 0)
            return AVERROR(errno);
        offset += size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    io.m_position = offset;
    return offset;
}

}  // namespace kelvora::mux
