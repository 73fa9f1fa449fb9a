#include "platform/text/PathNames.h"

#include <gtest/gtest.h>

namespace kelvora::platform {
namespace {

struct Name {
    const char* name;
    std::string bytes;
    QString text;
};

class PathNames : public ::testing::TestWithParam<Name> {};

TEST_P(PathNames, TurnIntoTextAndBackByteForByte)
{
    const QString text = pathFromNative(GetParam().bytes);
    EXPECT_EQ(text, GetParam().text);
    EXPECT_EQ(nativePath(text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, PathNames,
    ::testing::Values(Name{"Ascii", "/tmp/frame_1.bmp", QStringLiteral("/tmp/frame_1.bmp")},
                      Name{"Utf8Accents", "/tmp/perch\xC3\xA9.bmp", QStringLiteral("/tmp/perché.bmp")},
                      Name{"Utf8OutsideTheBasicPlane", "\xF0\x9F\x8E\xAC.bmp", QString::fromUcs4(U"\U0001F3AC.bmp")},
                      Name{"Latin1Byte", "perch\xE9.bmp",
                           QStringLiteral("perch") + QChar(0xDCE9) + QStringLiteral(".bmp")},
                      Name{"LoneContinuationByte", "\x80", QString(QChar(0xDC80))},
                      Name{"OverlongSlash", "\xC0\xAF", QString(QChar(0xDCC0)) + QChar(0xDCAF)},
                      Name{"EncodedSurrogate", "\xED\xB2\x80", QString(QChar(0xDCED)) + QChar(0xDCB2) + QChar(0xDC80)},
                      Name{"BeyondUnicode", "\xF4\x90\x80\x80",
                           QString(QChar(0xDCF4)) + QChar(0xDC90) + QChar(0xDC80) + QChar(0xDC80)},
                      Name{"CutSequence", "a\xE2\x82", QStringLiteral("a") + QChar(0xDCE2) + QChar(0xDC82)},
                      Name{"EveryHighByte",
                           [] {
                               std::string all;
                               for (int b = 0x80; b <= 0xFF; ++b)
                                   all += static_cast<char>(b);
                               return all;
                           }(),
                           [] {
                               QString all;
                               for (int b = 0x80; b <= 0xFF; ++b)
                                   all += QChar(0xDC00 + b);
                               return all;
                           }()}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::platform
