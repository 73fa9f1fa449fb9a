#include "dialogs/FilterList.h"

#include <gtest/gtest.h>

namespace kelvora::dialogs {
namespace {

QString withNuls(const char16_t* text, qsizetype size) { return QString(reinterpret_cast<const QChar*>(text), size); }

struct ListCase {
    const char* name;
    QString filter;
    QString list;
};

class FilterListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(FilterListTest, BuildsTheListTheDialogsTake) { EXPECT_EQ(buildFilterList(GetParam().filter), GetParam().list); }

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterListTest,
    ::testing::Values(ListCase{"TwoPairs", "BMP Files|*.bmp:DIB Files|*.dib",
                               withNuls(u"BMP Files\0*.bmp\0DIB Files\0*.dib\0\0", 33)},
                      ListCase{"OnePair", "AVI Files|*.avi", withNuls(u"AVI Files\0*.avi\0\0", 17)},
                      ListCase{"Empty", "", withNuls(u"\0\0", 2)},
                      ListCase{"OneNulLeftByCancel", withNuls(u"\0", 1), withNuls(u"\0\0\0", 3)},
                      ListCase{"ColonInDescriptionSplitsIt", "Video: AVI|*.avi",
                               withNuls(u"Video\0 AVI\0*.avi\0\0", 18)},
                      ListCase{"EitherSeparatorAnywhere", "A:*.a|B|*.b", withNuls(u"A\0*.a\0B\0*.b\0\0", 13)}),
    [](const auto& info) { return std::string(info.param.name); });

struct PairCase {
    const char* name;
    QString list;
    std::int32_t index;
    QString pair;
};

class FilterPairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(FilterPairTest, PicksThePairInForce)
{
    EXPECT_EQ(filterPair(GetParam().list, GetParam().index), GetParam().pair);
}

const QString kTwoPairs = withNuls(u"BMP Files\0*.bmp\0DIB Files\0*.dib\0\0", 33);

INSTANTIATE_TEST_SUITE_P(Pairs, FilterPairTest,
                         ::testing::Values(PairCase{"First", kTwoPairs, 1, withNuls(u"BMP Files\0*.bmp", 15)},
                                           PairCase{"Second", kTwoPairs, 2, withNuls(u"DIB Files\0*.dib", 15)},
                                           PairCase{"SingleNulList", withNuls(u"\0", 1), 1, QString()},
                                           PairCase{"NoNulAtAll", "BMP Files", 1, QString()},
                                           PairCase{"LastPairWithoutClosingNul", withNuls(u"A\0*.a\0B\0*.b", 11), 2,
                                                    withNuls(u"B\0*.b", 5)},
                                           PairCase{"FarPastTheEnd", kTwoPairs, 50, QString()},
                                           PairCase{"ZeroWalksOffTheEnd", kTwoPairs, 0, QString()},
                                           PairCase{"NegativeWalksOffTheEnd", kTwoPairs, -3, QString()}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::dialogs
