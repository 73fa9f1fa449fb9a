// The positional reads and writes of File under the platform's partial answers: a call
// interrupted by a signal (EINTR), a write that takes only part of what it was given, a
// write that fails part-way. pwritev and pread are stood in for in this test program, and
// pass through to the real ones whenever no script is set.
#include "platform/filesystem/File.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace {

// What the stand-ins do to the calls while a test has set it.
struct Script {
    int interruptions = 0;                                            // calls that fail with EINTR first
    std::size_t perCall = std::numeric_limits<std::size_t>::max();    // bytes a call takes at most
    std::size_t failAfter = std::numeric_limits<std::size_t>::max();  // bytes taken before ENOSPC
    bool noKernelCopy = false;  // copy_file_range fails as between two file systems
    std::size_t taken = 0;
    int calls = 0;
    std::size_t largestWrite = 0;  // the most bytes one pwritev was given
};
Script* g_script = nullptr;

// How much of `wanted` bytes the scripted call takes; -1 (errno set) for a failure.
ssize_t scriptedTake(std::size_t wanted)
{
    ++g_script->calls;
    if (g_script->interruptions > 0) {
        --g_script->interruptions;
        errno = EINTR;
        return -1;
    }
    if (g_script->taken >= g_script->failAfter) {
        errno = ENOSPC;
        return -1;
    }
    const std::size_t take = std::min({wanted, g_script->perCall, g_script->failAfter - g_script->taken});
    g_script->taken += take;
    return static_cast<ssize_t>(take);
}

template <typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t pwritev(int fd, const iovec* parts, int count, off_t offset)
{
    using Real = ssize_t (*)(int, const iovec*, int, off_t);
    static const Real next = real<Real>("pwritev");
    if (g_script == nullptr)
        return next(fd, parts, count, offset);
    std::size_t wanted = 0;
    for (int i = 0; i < count; ++i)
        wanted += parts[i].iov_len;
    g_script->largestWrite = std::max(g_script->largestWrite, wanted);
    const ssize_t take = scriptedTake(wanted);
    if (take <= 0)
        return take;
    // Writes the first `take` bytes of the parts for real, at the offset asked for.
    std::vector<std::uint8_t> front;
    for (int i = 0; i < count && front.size() < static_cast<std::size_t>(take); ++i) {
        const auto* bytes = static_cast<const std::uint8_t*>(parts[i].iov_base);
        const std::size_t n = std::min(parts[i].iov_len, static_cast<std::size_t>(take) - front.size());
        front.insert(front.end(), bytes, bytes + n);
    }
    return ::pwrite(fd, front.data(), front.size(), offset);
}

extern "C" ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt, std::size_t size, unsigned flags)
{
    using Real = ssize_t (*)(int, off64_t*, int, off64_t*, std::size_t, unsigned);
    static const Real next = real<Real>("copy_file_range");
    if (g_script != nullptr && g_script->noKernelCopy) {
        errno = EXDEV;
        return -1;
    }
    return next(in, inAt, out, outAt, size, flags);
}

extern "C" ssize_t pread(int fd, void* buffer, std::size_t size, off_t offset)
{
    using Real = ssize_t (*)(int, void*, std::size_t, off_t);
    static const Real next = real<Real>("pread");
    if (g_script == nullptr)
        return next(fd, buffer, size, offset);
    const ssize_t take = scriptedTake(size);
    return take <= 0 ? take : next(fd, buffer, static_cast<std::size_t>(take), offset);
}

namespace kelvora::platform {
namespace {

class ScriptedCalls {
public:
    explicit ScriptedCalls(Script& script) { g_script = &script; }
    ~ScriptedCalls() { g_script = nullptr; }
    ScriptedCalls(const ScriptedCalls&) = delete;
    ScriptedCalls& operator=(const ScriptedCalls&) = delete;
};

class ScratchFile {
public:
    ScratchFile()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvora-file-XXXXXX").string();
        m_file = File{::mkstemp(pattern.data())};
        m_path = pattern;
    }
    ~ScratchFile() { std::filesystem::remove(m_path); }
    File& file() { return m_file; }
    std::string contents() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path m_path;
    File m_file;
};

std::span<const std::uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct WriteCase {
    const char* name;
    Script script;
    std::size_t written;
    bool complete;
};

class GatherWrite : public ::testing::TestWithParam<WriteCase> {};

// Three parts written at offset 2 of a file holding "##": the header, the payload and a pad.
TEST_P(GatherWrite, GoesOnAfterInterruptionsAndPartialWritesAndCountsWhatReachedTheFile)
{
    ScratchFile scratch;
    ASSERT_TRUE(scratch.file().writeAt(bytesOf("##"), 0));
    const std::string header = "HEAD", payload = "payload", pad(1, '\0');
    const std::span<const std::uint8_t> parts[] = {bytesOf(header), bytesOf(payload), bytesOf(pad)};
    const std::string all = header + payload + pad;

    Script script = GetParam().script;
    WriteOutcome outcome;
    int error = 0;
    {
        ScriptedCalls scripted(script);
        outcome = scratch.file().writeAt(parts, 2);
        error = errno;
    }
    ASSERT_GT(script.calls, 0) << "the stand-in for pwritev was not called";
    EXPECT_EQ(outcome.written, GetParam().written);
    EXPECT_EQ(outcome.complete, GetParam().complete);
    if (!outcome.complete) {
        EXPECT_EQ(error, ENOSPC);
    }
    EXPECT_EQ(scratch.contents(), "##" + all.substr(0, GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, GatherWrite,
    ::testing::Values(WriteCase{"Interrupted", {.interruptions = 3}, 12, true},
                      WriteCase{"ThreeBytesACall", {.perCall = 3}, 12, true},
                      WriteCase{"InterruptedAndOneByteACall", {.interruptions = 2, .perCall = 1}, 12, true},
                      WriteCase{"DiskFullInThePayload", {.perCall = 5, .failAfter = 6}, 6, false},
                      WriteCase{"DiskFullAtOnce", {.failAfter = 0}, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(File, ExactReadRetriesInterruptionsAndTellsAShortFileFromAnError)
{
    ScratchFile scratch;
    ASSERT_TRUE(scratch.file().writeAt(bytesOf("abcdef"), 0));
    std::array<std::uint8_t, 4> buffer{};
    Script script{.interruptions = 2, .perCall = 1};
    {
        ScriptedCalls scripted(script);
        EXPECT_EQ(scratch.file().readExactlyAt(buffer, 1), ReadOutcome::Complete);
    }
    EXPECT_GE(script.calls, 6);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "bcde");
    EXPECT_EQ(scratch.file().readExactlyAt(buffer, 3), ReadOutcome::Short);

    File directory(::open(std::filesystem::temp_directory_path().c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(directory.readExactlyAt(buffer, 0), ReadOutcome::Failed);
    EXPECT_EQ(errno, EISDIR);
}

// Large writes go out in pieces of at most 128 KiB a call, however the parts are cut, and
// arrive whole and in order.
TEST(File, AGatheredWriteOfMegabytesGoesOutInPiecesOfAtMost128KiB)
{
    ScratchFile scratch;
    std::string big(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 131 % 251);
    const std::string head = "HEAD", tail = "T";
    const std::span<const std::uint8_t> parts[] = {bytesOf(head), bytesOf(big), bytesOf(tail)};
    Script script;
    WriteOutcome outcome;
    {
        ScriptedCalls scripted(script);
        outcome = scratch.file().writeAt(parts, 0);
    }
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.written, head.size() + big.size() + tail.size());
    EXPECT_LE(script.largestWrite, 128u * 1024);
    EXPECT_GE(script.calls, 25);
    EXPECT_TRUE(scratch.contents() == head + big + tail);
}

// A region of one file copied into another, by the kernel or, where it cannot, through a
// buffer: the same bytes at the place asked, and a source that ends first stops the copy.
TEST(File, CopyFromTakesTheRegionAskedForAndStopsWhereTheSourceEnds)
{
    for (const bool kernel : {true, false}) {
        SCOPED_TRACE(kernel ? "in the kernel" : "through a buffer");
        ScratchFile source, target;
        std::string bytes(400 * 1024, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7 % 253);
        ASSERT_TRUE(source.file().writeAt(bytesOf(bytes), 0));
        ASSERT_TRUE(target.file().writeAt(bytesOf("##"), 0));
        Script script{.noKernelCopy = !kernel};
        ScriptedCalls scripted(script);
        EXPECT_EQ(target.file().copyFrom(source.file(), 10, 300 * 1024, 2), std::optional<std::size_t>(300 * 1024));
        EXPECT_TRUE(target.contents() == "##" + bytes.substr(10, 300 * 1024));
        // Asked for more than the source holds past 100 KiB: what it holds.
        EXPECT_EQ(target.file().copyFrom(source.file(), 100 * 1024, 400 * 1024, 0),
                  std::optional<std::size_t>(300 * 1024));
        EXPECT_TRUE(target.contents().substr(0, 300 * 1024) == bytes.substr(100 * 1024));
    }
}

}  // namespace
}  // namespace kelvora::platform
