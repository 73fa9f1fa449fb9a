#include "app/fMain.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace kelvora::app {
namespace {

using testsupport::RecordingAVIDecs;
using testsupport::ScriptedCommonDialogs;
using testsupport::ScriptedMessageBox;

class fMainTest : public ::testing::Test {
protected:
    fMainTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi})) {}

    ScriptedMessageBox messages;
    ScriptedCommonDialogs dialogs;
    RecordingAVIDecs avi;
    std::unique_ptr<fMain> window;
};

TEST_F(fMainTest, StartsWithTheDesignedStates)
{
    EXPECT_TRUE(window->windowTitle().startsWith("KELVORA MAKER - "));
    EXPECT_EQ(window->txtFPS->text(), "25");
    EXPECT_FALSE(window->txtFPS->isEnabled());
    EXPECT_EQ(window->txtFPS->alignment(), Qt::AlignCenter);
    EXPECT_EQ(window->lstDIBList->ListCount(), 0);
    EXPECT_EQ(window->lstDIBList->ListIndex(), -1);
    EXPECT_FALSE(window->cmdWriteAVI->isEnabled());
    EXPECT_TRUE(window->Cartella->isChecked());
    EXPECT_FALSE(window->imgPreview->hasPicture());
    EXPECT_TRUE(window->lblStatus->text().isEmpty());
    EXPECT_FALSE(window->FormatSet());
    EXPECT_EQ(window->FormatWidth(), 0);
    EXPECT_EQ(window->HScroll->minimum(), 1);
    EXPECT_EQ(window->HScroll->maximum(), 30);
    EXPECT_EQ(window->HScroll->singleStep(), 1);
    EXPECT_EQ(window->HScroll->pageStep(), 1);
    EXPECT_EQ(window->ListMenu->title(), "List Menu");
    // The designed items first; then undo, redo, playing, a typed rate, the music, the frames'
    // duration and every format taken in, after a separator.
    ASSERT_EQ(window->ListMenu->actions().size(), 13);
    EXPECT_EQ(window->ListMenu->actions().indexOf(window->SpostaSu), 0);
    EXPECT_EQ(window->ListMenu->actions().indexOf(window->Cancella), 2);
    EXPECT_EQ(window->Annulla->text(), "Annulla");
    EXPECT_EQ(window->Ripeti->text(), "Ripeti");
    EXPECT_EQ(window->Riproduci->text(), "Riproduci (Spazio)");
    EXPECT_EQ(window->AltraFrequenza->text(), "Altra frequenza…");
    EXPECT_EQ(window->AggiungiMusica->text(), "Aggiungi musica…");
    EXPECT_EQ(window->TogliMusica->text(), "Togli la musica");
    EXPECT_FALSE(window->TogliMusica->isEnabled());  // no music yet
    EXPECT_EQ(window->ListMenu->actions().indexOf(window->Durata),
              window->ListMenu->actions().indexOf(window->TogliMusica) + 1);
    EXPECT_EQ(window->Durata->text(), "Durata…");
    EXPECT_EQ(window->OgniFormato->text(), "Accetta immagini di ogni formato");
    EXPECT_TRUE(window->OgniFormato->isCheckable());
    EXPECT_FALSE(window->OgniFormato->isChecked());  // frames of the list's format, as ever
    EXPECT_FALSE(window->Annulla->isEnabled());      // nothing to undo yet
    EXPECT_EQ(window->lblVideo->text(), "Nessun fotogramma");
    EXPECT_EQ(window->SpostaSu->text(), "Sposta su (F12)");
    EXPECT_EQ(window->SpostaGiu->text(), "Sposta giù (F11)");
    EXPECT_EQ(window->Cancella->text(), "Cancella (Del)");
    EXPECT_EQ(window->Verifica->text(), "Verifica il video salvato");
    EXPECT_FALSE(window->Verifica->isEnabled());  // until a save has finished a video
    EXPECT_EQ(window->size(), QSize(574, 500));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->windowIcon().availableSizes().value(0), QSize(32, 32));
}

TEST_F(fMainTest, ControlsSitWhereTheLayoutPutsThem)
{
    struct Expected {
        QWidget* control;
        QRect rect;
        QString caption;
        bool bold;
    };
    const Expected table[] = {
        {window->Command1, {274, 362, 293, 32}, "Cancella tutti i fotogrammi dalla lista", true},
        {window->Cartella, {274, 334, 139, 17}, "Tutta la cartella", true},
        {window->HScroll, {274, 410, 79, 19}, {}, false},
        {window->txtFPS, {538, 408, 29, 19}, {}, false},
        {window->cmdWriteAVI, {432, 296, 135, 32}, "Salva file AVI", true},
        {window->lstDIBList, {6, 4, 562, 277}, {}, false},
        {window->cmdFileOpen, {274, 296, 135, 32}, "Aggiungi BMP", true},
        {window->cmdExit, {390, 460, 55, 32}, "Esci", true},
        {window->lblfps, {356, 412, 176, 13}, "Fotogrammi per secondo (1-30)", true},
        {window->imgPreview, {6, 294, 254, 199}, {}, false},
        {window->lblStatus, {274, 430, 294, 29}, {}, true},
    };
    for (const Expected& expected : table) {
        SCOPED_TRACE(expected.control->metaObject()->className());
        EXPECT_EQ(expected.control->geometry(), expected.rect);
        EXPECT_EQ(expected.control->font().bold(), expected.bold);
        if (auto* button = qobject_cast<QAbstractButton*>(expected.control)) {
            EXPECT_EQ(button->text(), expected.caption);
        }
        if (auto* label = qobject_cast<QLabel*>(expected.control); label && !expected.caption.isEmpty()) {
            EXPECT_EQ(label->text(), expected.caption);
        }
    }
    // Creation order is the stacking order of the siblings.
    const QObjectList children = window->children();
    EXPECT_LT(children.indexOf(window->Command1), children.indexOf(window->lstDIBList));
    EXPECT_LT(children.indexOf(window->lstDIBList), children.indexOf(window->lblStatus));
}

TEST_F(fMainTest, TabMovesFocusInTheDesignedOrderSkippingTheNumberBox)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->cmdWriteAVI->setEnabled(true);
    window->cmdFileOpen->setFocus();
    const QWidget* expected[] = {window->cmdExit,  window->lstDIBList, window->cmdWriteAVI, window->HScroll,
                                 window->Cartella, window->Command1,   window->cmdFileOpen};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST_F(fMainTest, NumberBoxFollowsEveryStepOfAThumbDragAndStaysInRange)
{
    QScrollBar* bar = window->HScroll;
    bar->setSliderDown(true);
    for (int value : {24, 20, 13, 1}) {
        bar->setSliderPosition(value);
        EXPECT_EQ(window->txtFPS->text(), QString::number(value));
    }
    bar->setSliderDown(false);
    EXPECT_EQ(window->txtFPS->text(), "1");
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(window->txtFPS->text(), "1");
    bar->setValue(30);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(window->txtFPS->text(), "30");
    bar->setValue(12);
    EXPECT_EQ(window->txtFPS->text(), "12");
}

TEST_F(fMainTest, ArrowKeysStepTheRateTheWayTheyPoint)
{
    window->HScroll->setFocus();
    QTest::keyClick(window->HScroll, Qt::Key_Left);
    EXPECT_EQ(window->txtFPS->text(), "24");
    QTest::keyClick(window->HScroll, Qt::Key_Right);
    QTest::keyClick(window->HScroll, Qt::Key_Right);
    EXPECT_EQ(window->txtFPS->text(), "26");
}

TEST_F(fMainTest, NumberBoxTakesNoTyping)
{
    QTest::keyClicks(window->txtFPS, "7");
    EXPECT_EQ(window->txtFPS->text(), "25");
}

TEST_F(fMainTest, LoadInitialisesTheLibraryAndClosingReleasesItOnce)
{
    EXPECT_EQ(avi.initCount, 1);
    EXPECT_EQ(avi.calls.front(), "AVIFileInit()");
    window->show();
    window->close();
    window->close();
    window.reset();
    EXPECT_EQ(avi.exitCount, 1);
}

TEST_F(fMainTest, EsciEndsAtOnceWithoutReleasingTheLibrary)
{
    int ended = 0;
    window->setEndApplication([&] { ++ended; });
    window->show();
    QTest::mouseClick(window->cmdExit, Qt::LeftButton);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(window->isVisible());
    window->close();
    window.reset();
    EXPECT_EQ(avi.exitCount, 0);
}

}  // namespace
}  // namespace kelvora::app
