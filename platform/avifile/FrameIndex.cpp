#include "platform/avifile/FrameIndex.h"

namespace kelvora::avifile {

void FrameIndex::add(std::uint32_t chunkOffset, std::uint32_t size, bool keyFrame)
{
    m_entries.push_back({chunkOffset, size | (keyFrame ? 0u : kNotKey)});
}

}  // namespace kelvora::avifile
