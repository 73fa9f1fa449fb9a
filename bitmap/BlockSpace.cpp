#include "bitmap/BlockSpace.h"

#include <algorithm>
#include <cstring>

namespace kelvora::bitmap {

bool BlockSpace::prepare(std::size_t size, std::size_t stored)
{
    m_stored = std::min(stored, size);
    m_inPlace = !m_held.empty() && m_held.size() == size;
    return m_inPlace || m_fresh.allocate(size);
}

std::span<std::uint8_t> BlockSpace::bytes() { return m_inPlace ? m_held.bytes() : m_fresh.bytes(); }

bool BlockSpace::readFrom(platform::File& file, std::int64_t offset)
{
    const auto target = bytes();
    const auto got = file.readAt(target, offset);
    if (!got)
        return false;
    // New storage is zero past what the file stores; storage in use, or a file that shrank
    // since its length was taken, needs its tail cleared here.
    const std::size_t clearTo = m_inPlace ? target.size() : m_stored;
    if (*got < clearTo)
        std::memset(target.data() + *got, 0, clearTo - *got);
    return true;
}

void BlockSpace::copyFrom(std::span<const std::uint8_t> source)
{
    const auto target = bytes();
    const std::size_t copied = std::min(source.size(), target.size());
    std::copy_n(source.begin(), copied, target.begin());
    // As after a read: new storage is zero already past what the file stores.
    const std::size_t clearTo = m_inPlace ? target.size() : std::max(m_stored, copied);
    if (copied < clearTo)
        std::memset(target.data() + copied, 0, clearTo - copied);
}

void BlockSpace::commit()
{
    if (!m_inPlace)
        m_held.swap(m_fresh);
}

}  // namespace kelvora::bitmap
