#include "adding/FrameSources.h"
#include "platform/text/PathNames.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>

namespace kelvora::adding {
namespace {

QString q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

TEST(FrameSourcesTest, NamedItemsKeepTheirOrderAndAFolderGivesItsBitmapsInNaturalOrder)
{
    testsupport::TempDir dir;
    const std::filesystem::path folder = dir.path() / "frames";
    std::filesystem::create_directory(folder);
    for (const char* name : {"x_10.bmp", "x_9.BMP", "readme.txt"})
        testsupport::writeBytes(folder / name, "content is checked later, by the adder");
    const std::filesystem::path missing = dir.path() / "missing.bmp";
    const std::filesystem::path text = dir.path() / "z.txt";
    testsupport::writeBytes(text, "not a bitmap");

    // A missing or foreign file stays a candidate: the adder tells the user about it.
    EXPECT_EQ(frameCandidates({q(text), q(folder), q(missing)}),
              (QStringList{q(text), q(folder / "x_9.BMP"), q(folder / "x_10.bmp"), q(missing)}));
}

TEST(FrameSourcesTest, ADropGivesItsLocalItemsInNaturalOrder)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/frames/f_10.bmp"), QUrl("https://example.org/f_0.bmp"),
                  QUrl::fromLocalFile("/frames/f_9.bmp")});
    EXPECT_EQ(droppedItems(data), (QStringList{"/frames/f_9.bmp", "/frames/f_10.bmp"}));
    // A name that is not UTF-8 still names its file.
    QMimeData latin1;
    latin1.setUrls({QUrl(QStringLiteral("file:///frames/caff%E8.bmp"))});
    ASSERT_EQ(droppedItems(latin1).size(), 1);
    EXPECT_EQ(platform::nativePath(droppedItems(latin1)[0]), "/frames/caff\xE8.bmp");
}

}  // namespace
}  // namespace kelvora::adding
