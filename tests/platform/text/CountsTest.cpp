#include "platform/text/Counts.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>

namespace kelvora::platform {
namespace {

// The grouping the window has always shown is the Italian locale's; ours must not drift from it.
TEST(Counts, GroupDigitsAsTheItalianLocaleDoes)
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    for (const std::int64_t n : {0LL, 7LL, 999LL, 1000LL, 1234LL, 12345LL, 999999LL, 1000000LL, -1234LL,
                                 static_cast<long long>(std::numeric_limits<int>::max())}) {
        EXPECT_EQ(groupedDigits(n), italian.toString(static_cast<qlonglong>(n)).toStdString()) << n;
    }
}

TEST(Counts, TakeTheSingularForExactlyOne)
{
    EXPECT_EQ(countText(1, "fotogramma", "fotogrammi"), "1 fotogramma");
    EXPECT_EQ(countText(0, "fotogramma", "fotogrammi"), "0 fotogrammi");
    EXPECT_EQ(countText(2, "file escluso", "file esclusi"), "2 file esclusi");
    EXPECT_EQ(countText(12345, "file", "file"), "12345 file");
    EXPECT_EQ(countText(12345, "file", "file", Digits::Grouped), "12.345 file");
    EXPECT_EQ(countText(1, u"fotogramma", u"fotogrammi"), QStringLiteral("1 fotogramma"));
    EXPECT_EQ(countText(1000, u"file non leggibile", u"file non leggibili", Digits::Grouped),
              QStringLiteral("1.000 file non leggibili"));
    EXPECT_EQ(forCount(1, "salvato", "salvati"), "salvato");
    EXPECT_EQ(forCount(3, "salvato", "salvati"), "salvati");
}

}  // namespace
}  // namespace kelvora::platform
