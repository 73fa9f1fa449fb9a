#include "platform/dialogs/FileBuffers.h"
#include "platform/dialogs/NameFilters.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kelvora::platform {
namespace {

struct NameFilterCase {
    const char* name;
    std::string list;  // as the record carries it, closing NULs included
    QStringList filters;
};

class NameFiltersTest : public ::testing::TestWithParam<NameFilterCase> {};

TEST_P(NameFiltersTest, ShowsThePairsInOrder)
{
    EXPECT_EQ(nameFiltersFromList(GetParam().list.c_str()), GetParam().filters);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Lists, NameFiltersTest,
    ::testing::Values(
        NameFilterCase{
            "TwoPairs", "BMP Files\0*.bmp\0DIB Files\0*.dib\0\0"s, {"BMP Files (*.bmp)", "DIB Files (*.dib)"}},
        NameFilterCase{"SeveralPatterns", "Immagini\0*.bmp;*.dib\0\0"s, {"Immagini (*.bmp *.dib)"}},
        NameFilterCase{"NoFilters", "\0\0"s, {}}, NameFilterCase{"OneNulFilterLeftByCancel", "\0\0\0"s, {}},
        NameFilterCase{"DescriptionWithoutPatternEndsTheList", "BMP Files\0\0"s, {"BMP Files (*)"}},
        NameFilterCase{"NonAsciiDescription", "File \xC3\xA8\0*.bmp\0\0"s, {QString::fromUtf8("File è (*.bmp)")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NameFiltersTest, AbsentListOffersNoFilters) { EXPECT_TRUE(nameFiltersFromList(nullptr).isEmpty()); }

struct Buffers {
    std::array<char, 32> file{};
    std::array<char, 16> title{};
    OPENFILENAMEA ofn{};
    Buffers(DWORD fileSize, DWORD titleSize)
    {
        file.fill('#');
        title.fill('#');
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = fileSize;
        ofn.lpstrFileTitle = title.data();
        ofn.nMaxFileTitle = titleSize;
    }
    [[nodiscard]] std::string fileBytes() const { return std::string(file.data(), file.size()); }
};

TEST(FileBuffersTest, SingleFileIsPathNulAndLeavesTheRestOfTheBuffer)
{
    Buffers b(32, 16);
    ASSERT_TRUE(storeChosenFiles(b.ofn, {"/tmp/abc/frame.bmp"}));
    EXPECT_EQ(b.fileBytes(), "/tmp/abc/frame.bmp\0"s + std::string(13, '#'));
    EXPECT_STREQ(b.title.data(), "frame.bmp");
    EXPECT_EQ(b.ofn.nFileOffset, 9);
    EXPECT_EQ(b.ofn.nFileExtension, 15);
}

TEST(FileBuffersTest, NameWithoutExtensionPointsAtTheNul)
{
    Buffers b(32, 16);
    ASSERT_TRUE(storeChosenFiles(b.ofn, {"/tmp/a.d/frame"}));
    EXPECT_EQ(b.ofn.nFileExtension, 14);
}

TEST(FileBuffersTest, SeveralFilesAreExplorerStyle)
{
    Buffers b(32, 16);
    ASSERT_TRUE(storeChosenFiles(b.ofn, {"/tmp/x/a.bmp", "/tmp/x/bb.bmp"}));
    EXPECT_EQ(b.fileBytes().substr(0, 22), "/tmp/x\0a.bmp\0bb.bmp\0\0#"s);
    EXPECT_EQ(b.ofn.nFileOffset, 7);
    EXPECT_STREQ(b.title.data(), "a.bmp");
}

struct FitCase {
    const char* name;
    DWORD fileSize;
    DWORD titleSize;
    bool fits;
};

class BufferFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(BufferFitTest, TooSmallBufferFailsUntouched)
{
    Buffers b(GetParam().fileSize, GetParam().titleSize);
    // "/tmp/frame.bmp" is 14 bytes and a NUL; "frame.bmp" 9 and a NUL.
    EXPECT_EQ(storeChosenFiles(b.ofn, {"/tmp/frame.bmp"}), GetParam().fits);
    if (!GetParam().fits) {
        EXPECT_EQ(b.fileBytes(), std::string(32, '#'));
        EXPECT_EQ(std::string(b.title.data(), b.title.size()), std::string(16, '#'));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BufferFitTest,
                         ::testing::Values(FitCase{"ExactFit", 15, 10, true}, FitCase{"FileOneShort", 14, 16, false},
                                           FitCase{"TitleOneShort", 32, 9, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileBuffersTest, ProposedNameStopsAtNmaxFileWhenTheBufferHasNoNul)
{
    Buffers b(8, 16);
    EXPECT_EQ(proposedFileName(b.ofn), "########");
    b.file[3] = '\0';
    EXPECT_EQ(proposedFileName(b.ofn), "###");
}

}  // namespace
}  // namespace kelvora::platform
