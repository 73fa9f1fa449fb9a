#pragma once

// The frames of the RIFF being written, 8 bytes each: the chunk header's offset from the
// RIFF's 'movi' FourCC and the data size with the key-frame mark. A RIFF is closed (its
// indexes written) before the next begins, so only one RIFF's frames are ever held.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvora::avifile {

class FrameIndex {
public:
    struct Entry {
        std::uint32_t chunkOffset;  // from the 'movi' FourCC to the chunk header
        std::uint32_t sizeAndFlag;  // data size; bit 31 set when not a key frame
    };

    void reserve(std::size_t frames) { m_entries.reserve(frames); }
    void add(std::uint32_t chunkOffset, std::uint32_t size, bool keyFrame);
    void clear() { m_entries.clear(); }

    [[nodiscard]] std::size_t count() const { return m_entries.size(); }
    [[nodiscard]] const Entry& operator[](std::size_t i) const { return m_entries[i]; }
    [[nodiscard]] static std::uint32_t sizeOf(const Entry& e) { return e.sizeAndFlag & ~kNotKey; }
    [[nodiscard]] static bool isKey(const Entry& e) { return (e.sizeAndFlag & kNotKey) == 0; }

private:
    static constexpr std::uint32_t kNotKey = 0x80000000u;
    std::vector<Entry> m_entries;
};

}  // namespace kelvora::avifile
