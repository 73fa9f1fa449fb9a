#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace kelvora::platform {

// How a read of an exact number of bytes went.
enum class ReadOutcome {
    Complete,  // every byte read
    Short,     // the file ended first
    Failed,    // the platform reported an error (errno set)
};

// What a write that may stop part-way did: the bytes that reached the file before it
// stopped, and whether it wrote everything (errno set when not).
struct WriteOutcome {
    std::size_t written = 0;
    bool complete = false;
};

// Which file a name or descriptor leads to: two names of one file share it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    [[nodiscard]] bool known() const { return device != 0 || inode != 0; }
    bool operator==(const FileIdentity&) const = default;
};

// The length and identity of a regular file, from one status query.
struct RegularFileStatus {
    std::int64_t length = 0;
    FileIdentity identity = {};
};

// What changes when a file's bytes change: its length, and the times of its last write and
// status change. Two equal stamps taken around a read mean no one wrote the file meanwhile
// (within the file system's clock resolution).
struct FileStamp {
    std::int64_t length = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

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
    // Fills all of `buffer` from `offset`, telling a file that ends first from an error.
    [[nodiscard]] ReadOutcome readExactlyAt(std::span<std::uint8_t> buffer, std::int64_t offset);
    // Writes all of `bytes` at `offset`; false (errno set) on any error.
    [[nodiscard]] bool writeAt(std::span<const std::uint8_t> bytes, std::int64_t offset);
    // Writes `parts` one after the other from `offset`, straight from the caller's buffers,
    // with as few system calls as the platform allows (pwritev takes up to IOV_MAX parts a
    // call); goes on after a partial write and an interrupted call.
    [[nodiscard]] WriteOutcome writeAt(std::span<const std::span<const std::uint8_t>> parts, std::int64_t offset);
    // Copies `bytes` bytes of `source` from `from` to this file at `at`, inside the kernel
    // where it can (no copy through our memory), else through a small buffer; stops early
    // where the source ends. The number of bytes copied, or nothing (errno set) on an error.
    [[nodiscard]] std::optional<std::size_t> copyFrom(File& source, std::int64_t from, std::size_t bytes,
                                                      std::int64_t at);
    // Asks the system to start reading `bytes` from `offset` into the cache, without waiting.
    void willNeed(std::int64_t offset, std::size_t bytes) const;
    [[nodiscard]] bool truncate(std::int64_t length);
    // The file's length now (fstat); nothing (errno set) on error.
    [[nodiscard]] std::optional<std::int64_t> length() const;
    // Whether the descriptor is a regular file (fstat); false on error.
    [[nodiscard]] bool isRegular() const;
    // The length of a regular file, from the same one status query; nullopt for anything else.
    [[nodiscard]] std::optional<std::int64_t> regularLength() const;
    // The same with the file's identity.
    [[nodiscard]] std::optional<RegularFileStatus> regularStatus() const;
    // The file's stamp now (fstat); nothing (errno set) on error.
    [[nodiscard]] std::optional<FileStamp> stamp() const;
    // Closes now, reporting what close reports; the destructor closes silently.
    [[nodiscard]] bool close();

private:
    [[nodiscard]] std::optional<std::size_t> copyThroughBuffer(File& source, std::int64_t from, std::size_t bytes,
                                                               std::int64_t at);

    int m_descriptor = -1;
};

}  // namespace kelvora::platform
