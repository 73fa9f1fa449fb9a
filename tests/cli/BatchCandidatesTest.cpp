// The batch mode's candidates: arguments first, then the list, in order, and a list of any
// length read in little memory: an entry is dropped once it has been given.
#include "cli/BatchCandidates.h"
#include "tests/support/fs/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace kelvora::cli {
namespace {

TEST(BatchCandidatesTest, AListIsGivenInOrderAndNeverHeldWhole)
{
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.path() / "shots");
    for (const char* name : {"s10.bmp", "s2.bmp"})
        std::ofstream(dir.path() / "shots" / name) << "x";
    const std::string listPath = dir.file("list.txt");
    {
        std::ofstream list(listPath);
        for (int i = 0; i < 1000; ++i)
            list << dir.file("f" + std::to_string(i) + ".bmp") << "\n";
        list << dir.file("shots") << "\n";
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(listPath.c_str(), "re"), std::fclose);
    ASSERT_TRUE(in);
    PathList list(in.get(), false);
    BatchCandidates candidates({dir.file("first.bmp")}, &list);
    EXPECT_EQ(candidates.count(), -1);
    std::vector<std::string> given;
    std::size_t mostHeld = 0;
    while (const std::optional<std::string> path = candidates.next()) {
        given.push_back(*path);
        EXPECT_EQ(candidates.current(), *path);
        mostHeld = std::max(mostHeld, candidates.held());
    }
    ASSERT_EQ(given.size(), 1003u);
    EXPECT_EQ(given.front(), dir.file("first.bmp"));
    EXPECT_EQ(given[1], dir.file("f0.bmp"));
    EXPECT_EQ(given[1000], dir.file("f999.bmp"));
    EXPECT_EQ(given[1001], dir.file("shots/s2.bmp"));  // a folder's files in natural order
    EXPECT_EQ(given[1002], dir.file("shots/s10.bmp"));
    EXPECT_LE(mostHeld, 1u);
    EXPECT_EQ(candidates.held(), 0u);
}

}  // namespace
}  // namespace kelvora::cli
