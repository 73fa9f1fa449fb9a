#include "app/fMain.h"
#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/QtMessageBox.h"
#include "video/mAVIDecs.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    kelvora::platform::QtMessageBox messages;
    kelvora::app::fMain window({messages, kelvora::platform::systemCommonDialogs(), kelvora::video::systemAVIDecs()});
    messages.setParent(&window);
    window.show();
    return application.exec();
}
