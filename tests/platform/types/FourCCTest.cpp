#include <gtest/gtest.h>

#include <sstream>

#include "platform/types/FourCC.h"

namespace kelvora::platform {
namespace {

// A file stores the first character in the lowest byte: "RIFF" is 52 49 46 46 on disk.
static_assert(FourCC("RIFF").value() == 0x46464952u);
static_assert(FourCC("00db").at(2) == 'd');
static_assert(FourCC::fromValue(0x20424944u) == FourCC("DIB "));

TEST(FourCC, ShowsItsCharactersOrItsNumberWhenOneIsNotPrintable)
{
    EXPECT_EQ(FourCC("AVIX").text(), "AVIX");
    EXPECT_EQ(FourCC("DIB ").text(), "DIB ");
    EXPECT_EQ(FourCC::fromValue(0x62640030u).text(), "0x62640030");  // a NUL in the first place
    EXPECT_EQ(FourCC().text(), "0x00000000");
    std::ostringstream shown;
    shown << FourCC("vids");
    EXPECT_EQ(shown.str(), "'vids'");
}

}  // namespace
}  // namespace kelvora::platform
