#include "bitmap/ByteBlock.h"

#include <utility>

namespace kelvora::bitmap {

bool ByteBlock::allocate(std::size_t size, std::size_t zeroFrom)
{
    // A block the file cannot fill (a header claiming more than is stored) comes from
    // calloc, which for large blocks hands out fresh pages that are zero without being
    // written; a block that will be read in full is left uninitialised.
    void* storage = zeroFrom < size ? std::calloc(size, 1) : std::malloc(size);
    if (storage == nullptr)
        return false;
    m_data.reset(static_cast<std::uint8_t*>(storage));
    m_size = size;
    return true;
}

void ByteBlock::swap(ByteBlock& other) noexcept
{
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
}

}  // namespace kelvora::bitmap
