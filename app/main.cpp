#include "adding/FrameSources.h"
#include "app/QtTranslations.h"
#include "app/StartWithoutWindow.h"
#include "app/fMain.h"
#include "cli/CommandLine.h"
#include "cli/Messages.h"
#include "cli/StopSignals.h"
#include "platform/dialogs/CommonDialogs.h"
#include "platform/text/PathNames.h"
#include "platform/msgbox/QtMessageBox.h"
#include "platform/system/HugePageStart.h"
#include "video/mAVIDecs.h"

#include <QApplication>
#include <QTimer>

#include <filesystem>
#include <optional>
#include <span>

namespace {

// A list entry is a full path, whatever folder the program was started from.
QStringList fullPaths(const std::vector<std::string>& items)
{
    QStringList paths;
    for (const std::string& item : items) {
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(item, error);
        paths << kelvora::platform::pathFromNative(error ? item : full.string());
    }
    return paths;
}

int runWindow(int argc, char* argv[], const kelvora::cli::Invocation& invocation)
{
    QApplication application(argc, argv);
    kelvora::app::nameApplication();
    // Without Qt's translation its dialogs stay in English; the window works all the same.
    (void)kelvora::app::installQtTranslations(application);

    kelvora::platform::QtMessageBox messages;
    kelvora::app::fMain window({messages, kelvora::platform::systemCommonDialogs(), kelvora::video::systemAVIDecs(),
                                &kelvora::dialogs::systemVideoSizeDialog(), &kelvora::dialogs::systemDurationDialog()});
    messages.setParent(&window);
    // Ctrl+C in the terminal, a kill or a logout ends the window as "Esci" does: a save under
    // way stops after the frame in hand and its file is finished first.
    int stoppedBy = 0;
    kelvora::cli::callOnStopSignals(window, [&window, &stoppedBy](int signal) {
        if (stoppedBy == 0)
            stoppedBy = signal;
        window.cmdExit_Click();
    });
    window.show();
    // Files named on the command line are added once the window is up, so that their
    // messages have it as their owner, as with "Aggiungi BMP".
    const QStringList items = fullPaths(invocation.items);
    if (!items.isEmpty())
        QTimer::singleShot(0, &window,
                           [&window, &items] { window.addFrames(kelvora::adding::frameCandidates(items)); });
    const int status = application.exec();
    return stoppedBy != 0 ? kelvora::cli::statusForSignal(stoppedBy) : status;
}

}  // namespace

int main(int argc, char* argv[])
{
    // Read before any application object exists: help, usage errors and the batch mode must
    // work with no display.
    const kelvora::cli::CommandLine line =
        kelvora::cli::parseCommandLine(std::span<char* const>(argv + 1, argv + argc));
    if (kelvora::app::mayEncode(line))
        kelvora::platform::startOnHugePages(argv);
    if (const std::optional<int> status = kelvora::app::runWithoutWindow(argc, argv, line))
        return *status;
    // Qt would abort without a word a user can act on.
    if (const std::string reason = kelvora::cli::windowUnavailableReason(line.invocation); !reason.empty()) {
        kelvora::cli::printUsageError(reason);
        return kelvora::cli::kExitUsage;
    }
    return runWindow(argc, argv, line.invocation);
}
