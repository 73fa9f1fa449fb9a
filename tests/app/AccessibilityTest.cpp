#include "app/fMain.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <memory>

namespace kelvora::app {
namespace {

// The window as assistive technology reads it: through Qt's accessibility interfaces.
class AccessibilityTest : public ::testing::Test {
protected:
    AccessibilityTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi})) {}

    static QAccessibleInterface* read(QObject* control) { return QAccessible::queryAccessibleInterface(control); }

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    std::unique_ptr<fMain> window;
};

TEST_F(AccessibilityTest, EveryControlHasANameAndItsRole)
{
    struct Expected {
        QWidget* control;
        QString name;
        QAccessible::Role role;
        bool described;  // the caption alone does not say what it does
    };
    const Expected controls[] = {
        {window->cmdFileOpen, "Aggiungi BMP", QAccessible::Button, true},
        {window->cmdWriteAVI, "Salva file AVI", QAccessible::Button, true},
        {window->Command1, "Cancella tutti i fotogrammi dalla lista", QAccessible::Button, false},
        {window->cmdExit, "Esci", QAccessible::Button, true},
        {window->Cartella, "Tutta la cartella", QAccessible::CheckBox, true},
        {window->HScroll, "Fotogrammi per secondo", QAccessible::ScrollBar, true},
        {window->txtFPS, "Fotogrammi per secondo scelti", QAccessible::EditableText, true},
        {window->lstDIBList, "Lista dei fotogrammi", QAccessible::List, true},
        {window->lblfps, "Fotogrammi per secondo (1-30)", QAccessible::StaticText, false},
        {window->imgPreview, "Anteprima del fotogramma", QAccessible::Graphic, true},
        {window->lblStatus, "Stato", QAccessible::StatusBar, false},
    };
    for (const Expected& expected : controls) {
        QAccessibleInterface* control = read(expected.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->text(QAccessible::Name), expected.name);
        EXPECT_EQ(control->role(), expected.role) << expected.name.toStdString();
        if (expected.described) {
            EXPECT_FALSE(control->text(QAccessible::Description).isEmpty()) << expected.name.toStdString();
        }
    }

    // Whatever control the window holds, the tree names it.
    QAccessibleInterface* tree = read(window.get());
    ASSERT_GE(tree->childCount(), static_cast<int>(std::size(controls)));
    for (int i = 0; i < tree->childCount(); ++i)
        EXPECT_FALSE(tree->child(i)->text(QAccessible::Name).isEmpty()) << "child " << i;
}

TEST_F(AccessibilityTest, TheRateLabelLabelsTheScrollBar)
{
    EXPECT_EQ(window->lblfps->buddy(), window->HScroll);
    // Each side of the pair names the other: the label of the bar, the bar it labels.
    bool labelled = false;
    for (const auto& [other, relation] : read(window->HScroll)->relations(QAccessible::Label))
        labelled = labelled || other->object() == window->lblfps;
    EXPECT_TRUE(labelled);
    bool labels = false;
    for (const auto& [other, relation] : read(window->lblfps)->relations(QAccessible::Labelled))
        labels = labels || other->object() == window->HScroll;
    EXPECT_TRUE(labels);
}

TEST_F(AccessibilityTest, TheListReportsItsEntriesAndTheStatusItsText)
{
    testsupport::TempDir dir;
    testsupport::writeBmp(dir.file("a.bmp"), {8, 6, 24, 1});
    testsupport::writeBmp(dir.file("b.bmp"), {8, 6, 24, 2});
    testsupport::writeBmp(dir.file("c.bmp"), {8, 6, 8, 3});
    const QStringList frames{QString::fromStdString(dir.file("a.bmp")), QString::fromStdString(dir.file("b.bmp"))};
    window->addFrames(frames + QStringList{QString::fromStdString(dir.file("c.bmp"))});

    QAccessibleInterface* list = read(window->lstDIBList);
    ASSERT_EQ(list->childCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(list->child(i)->role(), QAccessible::ListItem);
        EXPECT_EQ(list->child(i)->text(QAccessible::Name), frames[i]);
    }
    const QString status = read(window->lblStatus)->text(QAccessible::Value);
    EXPECT_FALSE(status.isEmpty());
    EXPECT_EQ(status, window->lblStatus->text());
}

}  // namespace
}  // namespace kelvora::app
