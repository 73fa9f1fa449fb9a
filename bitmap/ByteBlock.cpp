#include "bitmap/ByteBlock.h"

namespace kelvora::bitmap {

bool ByteBlock::allocate(std::size_t size)
{
    platform::LargeBlock storage = platform::LargeBlock::allocate(size);
    if (storage.empty() && size > 0)
        return false;
    m_storage = std::move(storage);
    return true;
}

}  // namespace kelvora::bitmap
