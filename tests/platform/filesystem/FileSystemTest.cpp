#include "platform/filesystem/FileOpener.h"
#include "platform/filesystem/FileSystem.h"
#include "tests/support/fs/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

namespace kelvora::platform {
namespace {

using testsupport::TempDir;

void writeText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

struct LengthCase {
    const char* name;
    std::function<std::filesystem::path(const TempDir&)> make;
    std::optional<std::int64_t> length;
};

class FileLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(FileLength, IsGivenForRegularFilesOnly)
{
    TempDir folder;
    EXPECT_EQ(fileLength(GetParam().make(folder)), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileLength,
    ::testing::Values(LengthCase{"RegularFile",
                                 [](const TempDir& f) {
                                     writeText(f / "a", "12345");
                                     return f / "a";
                                 },
                                 5},
                      LengthCase{"EmptyFile",
                                 [](const TempDir& f) {
                                     writeText(f / "a", "");
                                     return f / "a";
                                 },
                                 0},
                      LengthCase{"LinkToFile",
                                 [](const TempDir& f) {
                                     writeText(f / "a", "123");
                                     std::filesystem::create_symlink(f / "a", f / "l");
                                     return f / "l";
                                 },
                                 3},
                      LengthCase{"Missing", [](const TempDir& f) { return f / "none"; }, std::nullopt},
                      LengthCase{"TempDir", [](const TempDir& f) { return f.path(); }, std::nullopt},
                      LengthCase{"DanglingLink",
                                 [](const TempDir& f) {
                                     std::filesystem::create_symlink(f / "gone", f / "l");
                                     return f / "l";
                                 },
                                 std::nullopt},
                      LengthCase{"DeviceNode", [](const TempDir&) { return std::filesystem::path("/dev/null"); },
                                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(File, ReadAtStopsAtTheEndOfTheFile)
{
    TempDir folder;
    writeText(folder / "a", "abcdef");
    auto opened = systemFileOpener().open(folder / "a", OpenMode::Read);
    ASSERT_TRUE(opened.file.isOpen());
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(opened.file.readAt(buffer, 2), 4u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "cdef");
    EXPECT_EQ(opened.file.readAt(buffer, 100), 0u);
    EXPECT_TRUE(opened.file.close());
    EXPECT_FALSE(opened.file.isOpen());
}

TEST(File, ReadErrorGivesNothingAndLeavesErrno)
{
    TempDir folder;
    File directory(::open(folder.path().c_str(), O_RDONLY | O_CLOEXEC));
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_FALSE(directory.readAt(buffer, 0));
    EXPECT_EQ(errno, EISDIR);
}

TEST(File, OpeningForWritingCreatesButNeverShortens)
{
    TempDir folder;
    writeText(folder / "a", "0123456789");
    {
        auto opened = systemFileOpener().open(folder / "a", OpenMode::ReadWriteCreate);
        ASSERT_TRUE(opened.file.isOpen());
        const std::array<std::uint8_t, 2> bytes{'X', 'Y'};
        ASSERT_TRUE(opened.file.writeAt(bytes, 3));
    }
    EXPECT_EQ(fileLength(folder / "a"), 10);
    auto created = systemFileOpener().open(folder / "b", OpenMode::ReadWriteCreate);
    ASSERT_TRUE(created.file.isOpen());
    const std::array<std::uint8_t, 3> bytes{'a', 'b', 'c'};
    ASSERT_TRUE(created.file.writeAt(bytes, 4));
    ASSERT_TRUE(created.file.truncate(5));
    EXPECT_EQ(fileLength(folder / "b"), 5);
    std::ifstream in(folder / "a", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "012XY56789");
}

TEST(File, OpenFailureCarriesTheErrno)
{
    TempDir folder;
    auto missing = systemFileOpener().open(folder / "none", OpenMode::Read);
    EXPECT_FALSE(missing.file.isOpen());
    EXPECT_EQ(missing.error, ENOENT);
    auto noFolder = systemFileOpener().open(folder / "none" / "x", OpenMode::ReadWriteCreate);
    EXPECT_EQ(noFolder.error, ENOENT);
    EXPECT_EQ(errorDescription(ENOENT), std::strerror(ENOENT));
}

TEST(File, MovedFileIsClosedOnce)
{
    TempDir folder;
    writeText(folder / "a", "x");
    auto opened = systemFileOpener().open(folder / "a", OpenMode::Read);
    File moved = std::move(opened.file);
    EXPECT_FALSE(opened.file.isOpen());
    EXPECT_TRUE(moved.isOpen());
    moved = File{};
    EXPECT_FALSE(moved.isOpen());
}

}  // namespace
}  // namespace kelvora::platform
