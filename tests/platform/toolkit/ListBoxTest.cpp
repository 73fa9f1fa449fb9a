#include "platform/toolkit/ListBox.h"

#include <QTest>
#include <gtest/gtest.h>

namespace kelvora::platform {
namespace {

class ListBoxTest : public ::testing::Test {
protected:
    ListBoxTest()
    {
        list.resize(200, 120);
        for (const char* text : {"A", "B", "C"})
            list.AddItem(text);
        QObject::connect(&list, &ListBox::Click, [this] { clicks.push_back(list.ListIndex()); });
    }

    QPoint centreOf(int row) { return list.visualItemRect(list.item(row)).center(); }

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
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, centreOf(2));
    EXPECT_EQ(list.ListIndex(), 0);
    EXPECT_EQ(clicks, std::vector<int>{0});
    EXPECT_EQ(buttons, (std::vector<int>{1, 2}));
}

// The design's list always keeps the entry the user chose: Ctrl+click and Ctrl+Space on it,
// which a Qt list takes as "deselect", leave it selected and run no Click.
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
