#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace kelvora::platform {

// An open file descriptor, closed when the object goes. Reads and writes are positional,
// so no call depends on a file offset left behind by another.
class File {
public:
    File() = default;
    explicit File(int descriptor) : m_descriptor(descriptor) {}
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    [[nodiscard]] bool isOpen() const { return m_descriptor >= 0; }
    // Hands the descriptor to a new owner; the object is closed afterwards.
    [[nodiscard]] int release() { return std::exchange(m_descriptor, -1); }

    // Fills `buffer` from `offset` until it is full or the file ends; gives the number of
    // bytes read, or nothing (errno set) when the platform reports an error.
    [[nodiscard]] std::optional<std::size_t> readAt(std::span<std::uint8_t> buffer, std::int64_t offset);
    // Writes all of `bytes` at `offset`; false (errno set) on any error.
    [[nodiscard]] bool writeAt(std::span<const std::uint8_t> bytes, std::int64_t offset);
    [[nodiscard]] bool truncate(std::int64_t length);
    // The file's length now (fstat); nothing (errno set) on error.
    [[nodiscard]] std::optional<std::int64_t> length() const;
    // Closes now, reporting what close reports; the destructor closes silently.
    [[nodiscard]] bool close();

private:
    int m_descriptor = -1;
};

}  // namespace kelvora::platform
