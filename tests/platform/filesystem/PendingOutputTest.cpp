// The file a video is written to: in place when nothing had the name (so a kill leaves it
// there), beside the target when one is to be replaced; removed when not kept, and never
// a file that another writer has put at the name meanwhile.
#include "platform/filesystem/PendingOutput.h"
#include "tests/support/fs/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <sstream>

namespace kelvora::platform {
namespace {

namespace fs = std::filesystem;

std::string text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

void write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::size_t entries(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(PendingOutputTest, ANewNameIsWrittenInPlaceAndRemovedUnlessKept)
{
    testsupport::TempDir dir;
    const fs::path target = dir.path() / "out.avi";
    for (const bool keep : {false, true}) {
        {
            PendingOutput pending(target, Placement::InPlace);
            ASSERT_TRUE(pending.created()) << pending.error();
            EXPECT_TRUE(pending.inPlace());
            EXPECT_EQ(pending.path(), target);
            EXPECT_TRUE(fs::exists(target));  // a kill from now on leaves it at the name
            write(target, "frames");
            if (keep) {
                EXPECT_TRUE(pending.commit(Replace::Never));
            }
        }
        EXPECT_EQ(fs::exists(target), keep);
        EXPECT_EQ(entries(dir.path()), keep ? 1u : 0u);
    }
    // The name is taken now: in place is refused, and what has the name stays.
    PendingOutput again(target, Placement::InPlace);
    EXPECT_FALSE(again.created());
    EXPECT_EQ(again.error(), EEXIST);
    EXPECT_EQ(text(target), "frames");
}

TEST(PendingOutputTest, AFilePutAtTheNameMeanwhileIsNeitherClaimedNorRemoved)
{
    testsupport::TempDir dir;
    const fs::path target = dir.path() / "out.avi";
    for (const bool commit : {true, false}) {
        fs::remove(target);
        {
            PendingOutput pending(target, Placement::InPlace);
            ASSERT_TRUE(pending.created());
            write(dir.path() / "other", "another writer's video");
            fs::rename(dir.path() / "other", target);
            if (commit) {
                EXPECT_FALSE(pending.commit(Replace::Always));
                EXPECT_EQ(pending.error(), EEXIST);
            }
        }
        EXPECT_EQ(text(target), "another writer's video");
    }
}

TEST(PendingOutputTest, AFileToReplaceStaysAsItWasUntilTheHiddenOneTakesItsName)
{
    testsupport::TempDir dir;
    const fs::path target = dir.path() / "out.avi";
    write(target, "old");
    {
        PendingOutput dropped(target, Placement::Beside);
        ASSERT_TRUE(dropped.created());
        EXPECT_FALSE(dropped.inPlace());
        EXPECT_EQ(dropped.path().parent_path(), dir.path());
        EXPECT_TRUE(dropped.path().filename().string().starts_with(".out.avi."));
        EXPECT_FALSE(dropped.commit(Replace::Never));
        EXPECT_EQ(dropped.error(), EEXIST);
    }
    EXPECT_EQ(text(target), "old");
    EXPECT_EQ(entries(dir.path()), 1u);
    {
        PendingOutput kept(target, Placement::Beside);
        write(kept.path(), "new");
        EXPECT_TRUE(kept.commit(Replace::Always));
    }
    EXPECT_EQ(text(target), "new");
    EXPECT_EQ(entries(dir.path()), 1u);
}

// A list worth nothing half written (checksums): no name at all until it is finished, so a
// kill at any moment leaves the folder as it was; -y's rules hold when it is named.
TEST(PendingOutputTest, AnUnnamedFileIsInTheFolderOnlyOnceCommitted)
{
    testsupport::TempDir dir;
    const fs::path target = dir.path() / "sums.md5";
    for (const bool keep : {false, true}) {
        {
            PendingOutput pending(target, Placement::Unnamed);
            ASSERT_TRUE(pending.created()) << pending.error();
            write(pending.path(), "lines");
            EXPECT_EQ(entries(dir.path()), 0u);
            if (keep) {
                ASSERT_TRUE(pending.commit(Replace::Never)) << pending.error();
            }
        }
        EXPECT_EQ(entries(dir.path()), keep ? 1u : 0u);
    }
    EXPECT_EQ(text(target), "lines");
    for (const Replace replace : {Replace::Never, Replace::Always}) {
        PendingOutput pending(target, Placement::Unnamed);
        write(pending.path(), "new lines");
        EXPECT_EQ(pending.commit(replace), replace == Replace::Always);
        EXPECT_EQ(text(target), replace == Replace::Always ? "new lines" : "lines");
        EXPECT_EQ(entries(dir.path()), 1u);
    }
}

FileIdentity identityAt(const fs::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// A finished copy of a file (an MP4 given its index first) takes the name in place of that file
// only while the name still leads to it: a file another writer put there meanwhile stays, a
// name that leads nowhere now stays so, and the copy goes without a trace.
TEST(PendingOutputTest, ARenewedFileTakesTheNameOnlyInPlaceOfTheFileItRenews)
{
    testsupport::TempDir dir;
    const fs::path target = dir.path() / "out.mp4";
    enum class Meanwhile { Nothing, Replaced, Removed };
    for (const Meanwhile meanwhile : {Meanwhile::Nothing, Meanwhile::Replaced, Meanwhile::Removed}) {
        SCOPED_TRACE(static_cast<int>(meanwhile));
        write(target, "fragmented");
        const FileIdentity written = identityAt(target);
        {
            PendingOutput renewed(target, Placement::Unnamed);
            ASSERT_TRUE(renewed.created()) << renewed.error();
            write(renewed.path(), "index first");
            if (meanwhile == Meanwhile::Replaced) {
                write(dir.path() / "other", "another writer's video");
                fs::rename(dir.path() / "other", target);
            } else if (meanwhile == Meanwhile::Removed) {
                fs::remove(target);
            }
            const bool committed = renewed.commitOver(written);
            EXPECT_EQ(committed, meanwhile == Meanwhile::Nothing);
            if (committed) {
                EXPECT_EQ(renewed.identity(), identityAt(target));
            } else {
                EXPECT_EQ(renewed.error(), meanwhile == Meanwhile::Replaced ? EEXIST : ENOENT);
            }
        }
        if (meanwhile == Meanwhile::Removed) {
            EXPECT_EQ(entries(dir.path()), 0u);
            continue;
        }
        EXPECT_EQ(text(target), meanwhile == Meanwhile::Nothing ? "index first" : "another writer's video");
        EXPECT_EQ(entries(dir.path()), 1u);
        fs::remove(target);
    }
}

}  // namespace
}  // namespace kelvora::platform
