#include "platform/toolkit/ListBox.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <malloc.h>

namespace kelvora::platform {
namespace {

// Under AddressSanitizer malloc is the sanitizer's, which glibc's mallinfo2 does not see.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kGlibcMalloc = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kGlibcMalloc = false;
#else
constexpr bool kGlibcMalloc = true;
#endif
#else
constexpr bool kGlibcMalloc = true;
#endif

class ListBoxTest : public ::testing::Test {
protected:
    ListBoxTest()
    {
        list.resize(200, 120);
        for (const char* text : {"A", "B", "C"})
            list.AddItem(text);
        QObject::connect(&list, &ListBox::Click, [this] { clicks.push_back(list.ListIndex()); });
    }

    QPoint centreOf(int row) { return list.rowRect(row).center(); }

    ListBox list;
    std::vector<int> clicks;  // the selected index each Click saw
};

TEST_F(ListBoxTest, NothingIsSelectedUntilAnEntryIs)
{
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.Text(), "");
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setFocus();  // the view makes a current row on focus, but selects nothing
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_TRUE(clicks.empty());
}

TEST_F(ListBoxTest, SelectingFromCodeRunsClickInsideTheCall)
{
    list.setListIndex(1);
    ASSERT_EQ(clicks, std::vector<int>{1});  // already ran, and saw the new selection
    EXPECT_EQ(list.Text(), "B");
    list.setSelected(2, true);
    EXPECT_EQ(clicks, (std::vector<int>{1, 2}));
    EXPECT_EQ(list.ListIndex(), 2);
}

TEST_F(ListBoxTest, ReplacingATextKeepsTheSelectionAndTheOtherEntries)
{
    list.setListIndex(1);
    clicks.clear();
    list.setList(1, "X");
    list.setList(0, "Y");
    EXPECT_EQ(list.ListIndex(), 1);
    EXPECT_EQ(list.Text(), "X");
    EXPECT_EQ(list.List(0), "Y");
    EXPECT_EQ(list.List(2), "C");
    EXPECT_TRUE(clicks.empty());
}

TEST_F(ListBoxTest, ClearLeavesNoSelection)
{
    list.setListIndex(2);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), -1);
    list.AddItem("D");
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(ListBoxTest, UserClickSelectsAndRightButtonDoesNot)
{
    std::vector<int> buttons;
    QObject::connect(&list, &ListBox::MouseDown, [&](int button, int, QPoint) { buttons.push_back(button); });
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOf(0));
    EXPECT_EQ(list.ListIndex(), 0);
    EXPECT_EQ(clicks, std::vector<int>{0});
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, centreOf(0));  // in the selection: it stays
    EXPECT_EQ(clicks, std::vector<int>{0});
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, centreOf(2));  // outside it: that row, alone
    EXPECT_EQ(list.ListIndex(), 2);
    EXPECT_EQ(clicks, (std::vector<int>{0, 2}));
    EXPECT_EQ(buttons, (std::vector<int>{1, 2, 2}));
}

// Rows taken out by ranges come back by the same ranges exactly, in one change of the list
// each; the whole list goes out and back with no copy of its texts.
TEST(ListBoxRangesTest, RowsTakenByRangesComeBackInTheirPlaces)
{
    ListBox list;
    QStringList all;
    for (int i = 0; i < 12; ++i) {
        all << QStringLiteral("/f/%1.bmp").arg(i);
        list.AddItem(all.back());
    }
    const std::vector<RowRange> ranges{{0, 2}, {5, 1}, {9, 3}};
    list.selectRanges(ranges, 5);
    EXPECT_EQ(list.selectedRanges(), ranges);
    EXPECT_EQ(list.ListIndex(), 5);
    CompactTexts taken = list.takeRows(ranges);
    ASSERT_EQ(taken.size(), 6);
    EXPECT_EQ(taken.at(2), all[5]);
    EXPECT_EQ(list.ListCount(), 6);
    EXPECT_EQ(list.List(0), all[2]);
    EXPECT_EQ(list.ListIndex(), -1);
    list.insertRows(ranges, std::move(taken));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(list.List(i), all[i]);
    // Put back elsewhere: the same texts as one block.
    taken = list.takeRows(ranges);
    list.insertRows(std::vector<RowRange>{{3, 6}}, std::move(taken));
    EXPECT_EQ(list.List(2), all[4]);
    EXPECT_EQ(list.List(3), all[0]);
    EXPECT_EQ(list.List(5), all[5]);
    EXPECT_EQ(list.List(8), all[11]);
    EXPECT_EQ(list.List(9), all[6]);
    CompactTexts whole = list.takeRows(std::vector<RowRange>{{0, 12}});
    EXPECT_EQ(list.ListCount(), 0);
    const std::size_t held = whole.bytesHeld();
    list.insertRows(std::vector<RowRange>{{0, 12}}, std::move(whole));
    EXPECT_EQ(list.texts().bytesHeld(), held);  // the same store, taken over
    EXPECT_EQ(list.List(3), all[0]);
}

// A tag's text is painted at the right of its row, and only there: the rows without one, and
// a list told no way to spell tags, show none.
TEST_F(ListBoxTest, PaintsATagsTextAtTheRightOfItsRow)
{
    list.setTag(1, 3);
    const auto inkAtRight = [this](int row) {
        const QImage image = list.viewport()->grab().toImage();
        const QRect rect = list.rowRect(row);
        int ink = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.right() - 40; x < rect.right(); ++x)
                ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        return ink;
    };
    EXPECT_TRUE(list.tagTextOf(1).isEmpty());
    EXPECT_EQ(inkAtRight(1), 0);
    list.setTagText([](std::int64_t tag) { return QStringLiteral("%1 s").arg(tag); });
    EXPECT_EQ(list.tagTextOf(1), "3 s");
    EXPECT_GT(inkAtRight(1), 0);
    EXPECT_EQ(inkAtRight(0), 0);
    EXPECT_EQ(inkAtRight(2), 0);
    // The tag goes with its row.
    list.selectRanges(std::vector<RowRange>{{1, 1}}, 1);
    list.insertRows(std::vector<RowRange>{{2, 1}}, list.takeRows(std::vector<RowRange>{{1, 1}}));
    EXPECT_EQ(list.List(2), "B");
    EXPECT_EQ(list.Tag(2), 3);
    EXPECT_EQ(list.Tag(1), 0);
    EXPECT_GT(inkAtRight(2), 0);
}

// The list always keeps one entry the user chose: Ctrl+click and Ctrl+Space on the only one
// selected, which a Qt list takes as "deselect", leave it selected and run no Click.
TEST_F(ListBoxTest, TheUserCannotDeselectTheSelectedEntry)
{
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOf(1));
    ASSERT_EQ(clicks, std::vector<int>{1});
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(1));
    QTest::keyClick(&list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(list.ListIndex(), 1);
    EXPECT_EQ(clicks, std::vector<int>{1});
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(2));  // another entry: selected
    EXPECT_EQ(list.ListIndex(), 2);
    list.setSelected(2, false);  // from code the handlers still can
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(ListBoxTest, KeyDownReportsTheVirtualKeyThenTheListMoves)
{
    std::vector<std::pair<int, int>> keys;
    QObject::connect(&list, &ListBox::KeyDown, [&](int code, int shift) {
        if (code == 16 || code == 17 || code == 18)
            return;  // the modifier keys' own presses
        keys.emplace_back(code, shift);
        if (code == 40) {
            EXPECT_EQ(list.ListIndex(), 0);  // the list has not handled the key yet
        }
    });
    list.setListIndex(0);
    clicks.clear();
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&list, Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0], std::make_pair(40, 1));
    EXPECT_EQ(keys[1], std::make_pair(123, 6));
    EXPECT_EQ(list.ListIndex(), 1);  // and then it did
}

// A million frames of a real folder: the list shown, every member working at that size, and
// the memory each entry costs beyond its path's own bytes within 200 bytes.
TEST(ListBoxAtScaleTest, AMillionEntriesKeepTheMembersAndStayWithinTwoHundredBytesEach)
{
    if (!kGlibcMalloc)
        GTEST_SKIP() << "the memory per entry is measured with glibc's mallinfo2, which does not see the "
                        "sanitizer's allocator";
    constexpr int kEntries = 1'000'000;
    const auto pathOf = [](int i) {
        return QStringLiteral("/home/utente/Immagini/filmato/frame_%1.bmp").arg(i, 7, 10, QChar(u'0'));
    };
    ListBox list;
    list.resize(300, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    malloc_trim(0);
    // Small allocations and the large blocks the system maps on its own, both.
    const auto inUse = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
    const std::size_t before = inUse();
    std::size_t pathBytes = 0;
    CompactTexts batch;
    for (int i = 0; i < kEntries; ++i) {
        batch.append(pathOf(i));
        pathBytes += static_cast<std::size_t>(pathOf(i).toUtf8().size());
        if (batch.size() == 10'000 || i == kEntries - 1) {
            list.AddItems(batch);  // as an add hands them over, batch by batch
            batch.clear();
            QCoreApplication::processEvents();
        }
    }
    list.scrollToBottom();
    QCoreApplication::processEvents();
    const std::size_t grown = inUse() - before;
    const double perEntry = (static_cast<double>(grown) - static_cast<double>(pathBytes)) / kEntries;
    EXPECT_LE(perEntry, 200.0) << perEntry << " bytes per entry; " << grown << " bytes for " << kEntries << " entries";

    ASSERT_EQ(list.ListCount(), kEntries);
    int clicks = 0;
    QObject::connect(&list, &ListBox::Click, [&] { ++clicks; });
    list.setListIndex(kEntries - 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list.Text(), pathOf(kEntries - 1));
    list.setList(0, list.List(1));  // a move as the editing handlers make it: two texts exchanged
    list.setList(1, pathOf(0));
    EXPECT_EQ(list.List(0), pathOf(1));
    EXPECT_EQ(list.List(1), pathOf(0));
    EXPECT_EQ(list.ListIndex(), kEntries - 1);  // replacing texts leaves the selection alone
    list.RemoveItem(500'000);
    EXPECT_EQ(list.ListCount(), kEntries - 1);
    EXPECT_EQ(list.List(500'000), pathOf(500'001));
    EXPECT_EQ(list.ListIndex(), -1);
    // A name that is not UTF-8 travels as lone surrogates; it must come back unchanged.
    const QString foreign = QStringLiteral("/altro/") + QChar(0xDCE9) + QStringLiteral("t\u00e9.bmp");
    list.AddItem(foreign);
    EXPECT_EQ(list.List(kEntries - 1), foreign);
    list.setList(kEntries - 1, QStringLiteral("/altro/ultimo.bmp"));
    EXPECT_EQ(list.List(kEntries - 1), "/altro/ultimo.bmp");
    list.setList(0, foreign);
    EXPECT_EQ(list.List(0), foreign);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(clicks, 1);  // removing and clearing report no selection change
}

TEST(VirtualKeyCodeTest, MapsTheKeysTheHandlersUse)
{
    EXPECT_EQ(virtualKeyCode(Qt::Key_F12), 123);
    EXPECT_EQ(virtualKeyCode(Qt::Key_F11), 122);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Delete), 46);
    EXPECT_EQ(virtualKeyCode(Qt::Key_A), 65);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Backspace), 8);
}

}  // namespace
}  // namespace kelvora::platform
