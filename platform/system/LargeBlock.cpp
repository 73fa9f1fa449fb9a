#include "platform/system/LargeBlock.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace kelvora::platform {

namespace {

// Under AddressSanitizer every block comes from the heap, so that reads and writes past its
// end are still caught (a mapping has no guard zones).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapOnly = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kHeapOnly = true;
#else
constexpr bool kHeapOnly = false;
#endif
#else
constexpr bool kHeapOnly = false;
#endif

// More than a 64-bit process's address space (x86-64's 128 TiB) is refused before it is
// asked for: the sanitizers' allocator stops the program at such a size instead of failing.
constexpr std::size_t kMostBytes = std::size_t{1} << 47;

std::size_t roundedUp(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

// `length` bytes (whole huge pages) starting at a huge page's boundary, or nullptr. Mapped
// with a huge page more than asked, then trimmed at both ends to the aligned part.
std::uint8_t* mapAligned(std::size_t length)
{
    const std::size_t mappedLength = length + kHugePageBytes;
    void* raw = ::mmap(nullptr, mappedLength, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundedUp(start, kHugePageBytes);
    const std::size_t head = aligned - start;
    if (head > 0)
        ::munmap(raw, head);
    if (const std::size_t tail = mappedLength - head - length; tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    auto* block = reinterpret_cast<std::uint8_t*>(aligned);
    // Only advice: a kernel without huge pages (or with them off) gives small ones.
    ::madvise(block, length, MADV_HUGEPAGE);
    return block;
}

}  // namespace

LargeBlock LargeBlock::allocate(std::size_t size)
{
    LargeBlock block;
    if (size == 0 || size > kMostBytes)
        return block;
    if (!kHeapOnly && size >= kHugePageBytes) {
        // Whole huge pages: a last one only partly in the block would be small pages, and a
        // full-HD frame's last 1.9 MiB cost as many faults as the whole frame had before.
        const std::size_t length = roundedUp(size, kHugePageBytes);
        block.m_data = mapAligned(length);
        block.m_mappedLength = block.m_data ? length : 0;
    } else {
        block.m_data = static_cast<std::uint8_t*>(std::calloc(size, 1));
    }
    if (block.m_data)
        block.m_size = size;
    return block;
}

LargeBlock::~LargeBlock() { release(); }

LargeBlock::LargeBlock(LargeBlock&& other) noexcept { swap(other); }

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept
{
    LargeBlock(std::move(other)).swap(*this);
    return *this;
}

void LargeBlock::swap(LargeBlock& other) noexcept
{
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
    std::swap(m_mappedLength, other.m_mappedLength);
}

void LargeBlock::release() noexcept
{
    if (m_mappedLength != 0)
        ::munmap(m_data, m_mappedLength);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mappedLength = 0;
}

}  // namespace kelvora::platform
