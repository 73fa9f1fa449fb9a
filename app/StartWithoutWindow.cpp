#include "app/StartWithoutWindow.h"

#include "cli/BatchMode.h"
#include "cli/HelpText.h"
#include "cli/Messages.h"
#include "cli/VerifyMode.h"

#include <QCoreApplication>

#include <cstdio>

namespace kelvora::app {

using cli::Action;

// The window (any save) and a batch save that decodes its frames: their large blocks
// (libavcodec's above all) only glibc's huge-page tunable puts on huge pages. A save that
// stores files as they are does not pay for the second start.
bool mayEncode(const cli::CommandLine& line)
{
    if (line.action == Action::Window)
        return true;
    return line.action == Action::Batch &&
           (line.invocation.codec != codec::Codec::Raw || !line.invocation.framing.size.original());
}

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvora-maker"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION));
}

std::optional<int> runWithoutWindow(int argc, char* argv[], const cli::CommandLine& line)
{
    switch (line.action) {
    case Action::Help:
        std::fputs(cli::helpText(), stdout);
        return cli::kExitMade;
    case Action::Version:
        std::printf("kelvora-maker %s\n", KELVORA_VERSION);
        return cli::kExitMade;
    case Action::UsageError:
        cli::printUsageError(cli::printable(line.error));
        return cli::kExitUsage;
    case Action::Batch:
    case Action::Verify: {
        // No window, so no display is needed.
        QCoreApplication application(argc, argv);
        nameApplication();
        return line.action == Action::Verify ? cli::runVerify(line.invocation) : cli::runBatch(line.invocation);
    }
    case Action::Window:
        break;
    }
    return std::nullopt;
}

}  // namespace kelvora::app
