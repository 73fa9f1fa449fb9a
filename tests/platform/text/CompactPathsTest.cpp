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

}  // namespace
}  // namespace kelvora::platform
