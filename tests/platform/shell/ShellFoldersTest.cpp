#include "platform/shell/ShellFolders.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <array>

namespace kelvora::platform {
namespace {

struct FolderCase {
    const char* name;
    int csidl;
    QStandardPaths::StandardLocation location;
};

class SpecialFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(SpecialFolderTest, ResolvesToTheXdgFolder)
{
    LPITEMIDLIST list;
    ASSERT_EQ(SHGetSpecialFolderLocation(-1, GetParam().csidl, list), S_OK);
    std::array<char, 1024> path;
    path.fill(' ');
    ASSERT_NE(SHGetPathFromIDListA(list.get(), path), 0);
    EXPECT_EQ(QString::fromUtf8(path.data()), QStandardPaths::writableLocation(GetParam().location));
    CoTaskMemFree(std::move(list));
}

INSTANTIATE_TEST_SUITE_P(Published, SpecialFolderTest,
                         ::testing::Values(FolderCase{"Desktop", 0x0000, QStandardPaths::DesktopLocation},
                                           FolderCase{"Documents", 0x0005, QStandardPaths::DocumentsLocation},
                                           FolderCase{"Videos", 0x000E, QStandardPaths::MoviesLocation},
                                           FolderCase{"Pictures", 0x0027, QStandardPaths::PicturesLocation},
                                           FolderCase{"Profile", 0x0028, QStandardPaths::HomeLocation}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpecialFolderTest, UnknownIdentifierIsRejected)
{
    LPITEMIDLIST list = std::make_unique<ITEMIDLIST>();
    EXPECT_EQ(SHGetSpecialFolderLocation(0, 0x7ABC, list), E_INVALIDARG);
    EXPECT_EQ(list, nullptr);
}

TEST(SpecialFolderTest, VirtualFolderHasNoPath)
{
    LPITEMIDLIST list;
    ASSERT_EQ(SHGetSpecialFolderLocation(0, CSIDL_DRIVES, list), S_OK);
    std::array<char, 16> path{};
    EXPECT_EQ(SHGetPathFromIDListA(list.get(), path), 0);
    EXPECT_EQ(SHGetPathFromIDListA(nullptr, path), 0);
}

TEST(SpecialFolderTest, PathThatDoesNotFitIsRefusedUntouched)
{
    const ITEMIDLIST list{"/home/anna"};
    std::array<char, 10> path;
    path.fill(' ');
    EXPECT_EQ(SHGetPathFromIDListA(&list, path), 0);
    EXPECT_EQ(std::string(path.data(), path.size()), std::string(10, ' '));
    std::array<char, 11> exact{};
    EXPECT_NE(SHGetPathFromIDListA(&list, exact), 0);
    EXPECT_STREQ(exact.data(), "/home/anna");
}

}  // namespace
}  // namespace kelvora::platform
