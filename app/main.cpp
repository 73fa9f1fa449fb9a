#include "app/BatchMode.h"
#include "app/CommandLine.h"
#include "adding/FrameSources.h"
#include "app/QtTranslations.h"
#include "app/fMain.h"
#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/QtMessageBox.h"
#include "video/mAVIDecs.h"

#include <QApplication>
#include <QTimer>

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvora-maker"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION));
}

// --help, --version and the batch mode: no window, so no display is needed.
int runWithoutWindow(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    nameApplication();
    (void)kelvora::app::installQtTranslations(application);
    return kelvora::app::runBatch(kelvora::app::readCommandLine(application, argc, argv));
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!kelvora::app::wantsWindow(argc, argv))
        return runWithoutWindow(argc, argv);

    QApplication application(argc, argv);
    nameApplication();
    // Without Qt's translation its dialogs stay in English; the window works all the same.
    (void)kelvora::app::installQtTranslations(application);
    const kelvora::app::Invocation invocation = kelvora::app::readCommandLine(application, argc, argv);

    kelvora::platform::QtMessageBox messages;
    kelvora::app::fMain window({messages, kelvora::platform::systemCommonDialogs(), kelvora::video::systemAVIDecs()});
    messages.setParent(&window);
    window.show();
    // Files named on the command line are added once the window is up, so that their
    // messages have it as their owner, as with "Aggiungi BMP".
    if (!invocation.items.isEmpty())
        QTimer::singleShot(0, &window, [&window, &invocation] {
            window.addFrames(kelvora::app::frameCandidates(invocation.items));
        });
    return application.exec();
}
