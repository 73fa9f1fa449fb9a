#include "platform/dirsearch/DirectorySearch.h"
#include "tests/support/bmp/BmpFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

namespace kelvora::platform {
namespace {

std::vector<std::string> drain(DirectorySearch search)
{
    std::vector<std::string> names;
    for (std::string name = search.next(); !name.empty(); name = search.next())
        names.push_back(name);
    return names;
}

TEST(DirectorySearchTest, FindsNormalFilesOfAnyCaseInNaturalOrder)
{
    testsupport::TempDir dir;
    for (const char* name :
         {"c.Bmp", "a.bmp", "notes.txt", "B.BMP", "d.dib", ".hidden.bmp", "frame_10.bmp", "frame_2.bmp", "frame_1.bmp"})
        testsupport::writeBytes(dir.file(name), "x");
    std::filesystem::create_directory(dir.path() / "x.bmp");
    std::filesystem::create_symlink("missing", dir.path() / "dangling.bmp");
    // Named like frames, but nothing to read one from: a FIFO (opening it would wait for a
    // writer) and a device that never stops giving bytes. A link to a real frame counts.
    ASSERT_EQ(::mkfifo((dir.path() / "fifo.bmp").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.bmp");
    std::filesystem::create_symlink("a.bmp", dir.path() / "link.bmp");
    EXPECT_EQ(drain(DirectorySearch(dir.path(), "*.BMP")),
              (std::vector<std::string>{"a.bmp", "B.BMP", "c.Bmp", "frame_1.bmp", "frame_2.bmp", "frame_10.bmp",
                                        "link.bmp"}));
}

TEST(DirectorySearchTest, AMissingFolderGivesNoNames)
{
    DirectorySearch search("/nonexistent/folder", "*.BMP");
    EXPECT_EQ(search.next(), "");
    EXPECT_EQ(search.next(), "");
}

TEST(DirectorySearchTest, WildcardsMatchWithoutRegardToCase)
{
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const Case cases[] = {
        {"a.bmp", "*.BMP", true},
        {"a.BMPX", "*.BMP", false},
        {"bmp", "*.BMP", false},
        {".bmp", "*.BMP", true},
        {"a.b.bmp", "*.bmp", true},
        {"img001.bmp", "img???.bmp", true},
        {"img01.bmp", "img???.bmp", false},
        {"", "*", true},
        {"abc", "a*c*", true},
        {"abd", "a*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchesWildcard(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

TEST(DirectorySearchTest, NaturalOrderIsATotalOrderPeopleExpect)
{
    std::vector<std::string> expected = {"Frame1.bmp",   "frame01.bmp",
                                         "frame1.bmp",   "frame2.bmp",
                                         "frame010.bmp", "frame10.bmp",
                                         "frame10a.bmp", "frame10b.bmp",
                                         "frameX.bmp",   "img15.bmp",
                                         "img105.bmp",   "img999.bmp",
                                         "img1000.bmp",  "img99999999999999999999.bmp"};
    // Zero-padded names keep their plain order.
    for (int i = 1; i < 999; ++i) {
        char a[16], b[16];
        std::snprintf(a, sizeof a, "img%03d.bmp", i);
        std::snprintf(b, sizeof b, "img%03d.bmp", i + 1);
        ASSERT_TRUE(naturalLess(a, b)) << a;
    }
    std::vector<std::string> shuffled = expected;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::sort(shuffled.begin(), shuffled.end(), [](const auto& a, const auto& b) { return naturalLess(a, b); });
    EXPECT_EQ(shuffled, expected);
    for (const std::string& name : expected)
        EXPECT_FALSE(naturalLess(name, name));
}

}  // namespace
}  // namespace kelvora::platform
