#include "app/QtTranslations.h"
#include "app/fMain.h"
#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/QtMessageBox.h"
#include "video/mAVIDecs.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Without Qt's translation its dialogs stay in English; the window works all the same.
    (void)kelvora::app::installQtTranslations(application);
    kelvora::platform::QtMessageBox messages;
    kelvora::app::fMain window({messages, kelvora::platform::systemCommonDialogs(), kelvora::video::systemAVIDecs()});
    messages.setParent(&window);
    window.show();
    return application.exec();
}
