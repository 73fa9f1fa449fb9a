#pragma once

// Every click and key that would change the list, the format, the rate or start a save, as
// a user might try them while the window is busy.

#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace kelvora::testsupport {

inline void tryEveryListChange(app::fMain& window)
{
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    QTest::mouseClick(window.cmdFileOpen, Qt::LeftButton);
    QTest::mouseClick(window.Cartella, Qt::LeftButton);
    window.lstDIBList->setFocus();
    QTest::keyClick(window.lstDIBList, Qt::Key_Delete);
    QTest::keyClick(window.lstDIBList, Qt::Key_F12);
    QTest::keyClick(window.HScroll, Qt::Key_Left);
    QTest::mouseClick(window.lstDIBList->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
}

}  // namespace kelvora::testsupport
