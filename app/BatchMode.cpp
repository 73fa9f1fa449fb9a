#include "app/BatchMode.h"

#include "app/BatchProgress.h"
#include "adding/FrameAdder.h"
#include "adding/FrameSources.h"
#include "platform/avifile/AVIFile.h"
#include "platform/filesystem/PathNames.h"
#include "video/SaveJob.h"

#include <atomic>
#include <csignal>
#include <exception>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace kelvora::app {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void requestStop(int) { g_stop.store(true); }

void say(const QString& line) { std::fprintf(stderr, "kelvora-maker: %s\n", qPrintable(line)); }

// The bitmap object's and the save's message boxes as lines; their texts name the file.
class StderrMessages final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override
    {
        say(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
    }
};

struct Collected {
    std::vector<std::string> frames;
    int refused = 0;
};

Collected collectFrames(const QStringList& items, StderrMessages& messages)
{
    Collected collected;
    FrameFormat format;
    FrameAdder adder(format, messages);
    for (const QString& path : frameCandidates(items)) {
        switch (adder.admit(path)) {
        case Admission::Added:
            collected.frames.push_back(platform::nativePath(path));
            break;
        case Admission::Refused:  // the message said why
            ++collected.refused;
            break;
        case Admission::Mismatch:
            say(QStringLiteral("escluso %1: non ha il formato del primo fotogramma").arg(path));
            break;
        }
    }
    if (adder.mismatched() > 0)
        say(skippedSummary(adder.mismatched(), format));
    return collected;
}

int report(const video::SaveOutcome& outcome, const QString& output, int fps)
{
    if (outcome.finished && outcome.result == 0) {
        say(QStringLiteral("creato %1: %2 fotogrammi, %3 al secondo").arg(output).arg(outcome.framesWritten).arg(fps));
        return kBatchMade;
    }
    if (outcome.cancelled && outcome.result == 0) {
        say(QStringLiteral("interrotto: %1 è parziale, finito con %2 fotogrammi su %3")
                .arg(output)
                .arg(outcome.framesWritten)
                .arg(outcome.frameCount));
        return kBatchCancelled;
    }
    say(QString::fromStdString(video::failureMessage(outcome)).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    if (outcome.refused)
        say(QStringLiteral("nessun file scritto"));
    else if (outcome.framesWritten > 0)
        say(QStringLiteral("%1 è parziale, finito e leggibile: contiene %2 fotogrammi su %3")
                .arg(output)
                .arg(outcome.framesWritten)
                .arg(outcome.frameCount));
    return kBatchFailed;
}

}  // namespace

int runBatch(const Invocation& invocation)
{
    StderrMessages messages;
    const Collected collected = collectFrames(invocation.items, messages);
    if (collected.refused > 0) {
        say(QStringLiteral("nessun video creato: %1 file non si leggono come bitmap").arg(collected.refused));
        return kBatchFailed;
    }
    if (collected.frames.empty()) {
        say(QStringLiteral("nessun video creato: nessun file BMP tra quelli indicati"));
        return kBatchFailed;
    }

    const video::SaveRequest request{platform::nativePath(invocation.output), collected.frames,
                                     static_cast<video::DWORD>(invocation.fps)};
    // Ctrl+C or a kill stops after the frame in hand; the file is finished all the same.
    g_stop.store(false);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    BatchProgress progress(static_cast<int>(collected.frames.size()), stderr, isatty(STDERR_FILENO) == 1);
    video::mAVIDecs& avi = video::systemAVIDecs();
    avi.AVIFileInit();
    video::SaveOutcome outcome;
    try {
        outcome = video::SaveJob(avi, messages).run(request, progress, g_stop);
    } catch (const std::exception&) {  // out of memory: a failed save, not a crash
        outcome.result = avifile::AVIERR_INTERNAL;
        outcome.frameCount = static_cast<int>(request.frames.size());
    }
    avi.AVIFileExit();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    progress.finish();
    return report(outcome, invocation.output, invocation.fps);
}

}  // namespace kelvora::app
