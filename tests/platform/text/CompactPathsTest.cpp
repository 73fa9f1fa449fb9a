#include "platform/text/CompactPaths.h"
#include "platform/text/CompactTexts.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace kelvora::platform {
namespace {

// A name that is not UTF-8 travels as a lone surrogate, which the store keeps as UTF-16.
const QString kLatin1Name = QStringLiteral("/video/perch") + QChar(0xDCE9) + QStringLiteral(".bmp");

TEST(CompactPathsTest, GivesEveryPathBackInOrderAcrossFolders)
{
    QStringList paths;
    for (int i = 0; i < 9000; ++i)  // past the points where the reader frees names behind it
        paths << QStringLiteral("/frames/a/f_%1.bmp").arg(i);
    paths << QStringLiteral("/frames/b/x.bmp") << QStringLiteral("/frames/a/back.bmp") << QStringLiteral("loose.bmp")
          << QStringLiteral("/root.bmp") << kLatin1Name << QStringLiteral("/frames/dir/") << QStringLiteral("é/ü.bmp");
    CompactPaths store;
    for (const QString& path : paths)
        store.append(path);
    ASSERT_EQ(store.size(), paths.size());
    for (int i = 0; i < store.size(); ++i)
        ASSERT_EQ(store.takeInOrder(i), paths[i]) << i;
}

TEST(CompactPathsTest, TextsAppendedWholeKeepTheirStoredForm)
{
    CompactTexts batch;
    for (const QString& text : {QStringLiteral("/a/1.bmp"), kLatin1Name, QString(), QStringLiteral("/ü/2.bmp")})
        batch.append(text);
    CompactTexts list;
    list.append(QStringLiteral("first"));
    list.appendAll(batch);
    list.appendAll(batch);
    ASSERT_EQ(list.size(), 9);
    EXPECT_EQ(list.at(0), QStringLiteral("first"));
    for (int i = 0; i < batch.size(); ++i) {
        EXPECT_EQ(list.at(1 + i), batch.at(i)) << i;
        EXPECT_EQ(list.at(5 + i), batch.at(i)) << i;
    }
}

// A tag goes wherever its text goes: swapped, removed, taken out by ranges and put back,
// appended to another store, through a compaction; it costs nothing until one is set, and the
// last one cleared frees them all.
TEST(CompactPathsTest, TagsTravelWithTheirTexts)
{
    CompactTexts list;
    for (int i = 0; i < 10; ++i)
        list.append(QStringLiteral("/f/%1.bmp").arg(i));
    const std::size_t untagged = list.bytesHeld();
    EXPECT_FALSE(list.anyTag());
    list.setTag(3, 0);
    EXPECT_EQ(list.bytesHeld(), untagged);
    const auto tagOf = [&](int i) { return list.tag(i); };
    list.setTag(2, 200);
    list.setTag(7, 700);
    EXPECT_TRUE(list.anyTag());
    EXPECT_EQ(tagOf(2), 200);
    EXPECT_EQ(tagOf(3), 0);
    list.swap(2, 3);
    EXPECT_EQ(tagOf(3), 200);
    EXPECT_EQ(list.at(3), "/f/2.bmp");
    list.remove(0);  // 1 3 2 4 5 6 7 8 9
    EXPECT_EQ(tagOf(2), 200);
    EXPECT_EQ(tagOf(6), 700);
    const std::vector<RowRange> ranges{{1, 2}, {6, 1}};
    CompactTexts taken = list.takeRanges(ranges);
    ASSERT_EQ(taken.size(), 3);
    EXPECT_EQ(taken.tag(1), 200);
    EXPECT_EQ(taken.tag(2), 700);
    EXPECT_FALSE(list.anyTag());
    list.insertRanges(ranges, taken);
    EXPECT_EQ(tagOf(2), 200);
    EXPECT_EQ(list.at(2), "/f/2.bmp");
    EXPECT_EQ(tagOf(6), 700);
    CompactTexts other;
    other.append(u"/g/a.bmp");
    other.appendAll(list);
    EXPECT_EQ(other.tag(3), 200);
    EXPECT_EQ(other.tag(7), 700);
    // Rewritten texts (replacing long ones leaves their bytes dead) keep their tags.
    for (int round = 0; round < 400; ++round)
        list.replace(5, QString(400, QChar(u'a' + round % 26)));
    EXPECT_EQ(tagOf(2), 200);
    EXPECT_EQ(tagOf(6), 700);
    list.setTag(2, 0);
    list.setTag(6, 0);
    EXPECT_FALSE(list.anyTag());
    EXPECT_EQ(list.tag(6), 0);
}

}  // namespace
}  // namespace kelvora::platform
