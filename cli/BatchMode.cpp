#include "cli/BatchMode.h"

#include "adding/FrameAdder.h"
#include "cli/BatchProgress.h"
#include "cli/InputPaths.h"
#include "cli/Messages.h"
#include "cli/PendingOutput.h"
#include "cli/StopSignals.h"
#include "platform/avifile/AVIFile.h"
#include "platform/filesystem/PathNames.h"
#include "video/SaveFailure.h"
#include "video/SaveJob.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::cli {

namespace {

namespace fs = std::filesystem;

// The bitmap object's and the save's message boxes as lines; their texts name the file.
class StderrMessages final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override { say(text); }
};

// The frames of one run, taken one candidate at a time as "Aggiungi BMP" takes them; only
// the accepted paths are kept, each once.
class FrameCollector {
public:
    explicit FrameCollector(StderrMessages& messages) : m_adder(m_format, messages) {}

    // A folder stands for its BMP files in natural order, anything else for itself.
    void addItem(const std::string& item)
    {
        std::error_code error;
        const fs::path absolute = fs::absolute(item, error);
        const std::string path = error ? item : absolute.string();
        if (fs::is_directory(path, error)) {
            for (const QString& file : app::bmpFilesOfFolder(platform::pathFromNative(path)))
                admit(platform::nativePath(file));
        } else {
            admit(path);
        }
    }

    [[nodiscard]] std::vector<std::string>& frames() { return m_frames; }
    [[nodiscard]] int refused() const { return m_refused; }

    void sayMismatched() const
    {
        if (m_adder.mismatched() > 0)
            say(app::skippedSummary(m_adder.mismatched(), m_format).toStdString());
    }

private:
    void admit(const std::string& path)
    {
        if (const std::string reason = unreadableReason(path); !reason.empty()) {
            say(path + ": " + reason);
            ++m_refused;
            return;
        }
        switch (m_adder.admit(platform::pathFromNative(path))) {
        case app::Admission::Added:
            m_frames.push_back(path);
            break;
        case app::Admission::Refused:  // the message said why
            ++m_refused;
            break;
        case app::Admission::Mismatch:
            say("escluso " + path + ": non ha il formato del primo fotogramma");
            break;
        }
    }

    app::FrameFormat m_format;
    app::FrameAdder m_adder;
    std::vector<std::string> m_frames;
    int m_refused = 0;
};

// The arguments' items, then the list's; false when the list cannot be read.
bool collect(const Invocation& invocation, FrameCollector& collector)
{
    for (const std::string& item : invocation.items)
        collector.addItem(item);
    if (invocation.list.empty())
        return true;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> opened(nullptr, std::fclose);
    std::FILE* in = stdin;
    if (invocation.list != "-") {
        opened.reset(std::fopen(invocation.list.c_str(), "re"));
        if (!opened) {
            say("l'elenco " + invocation.list + " non si legge: " + systemReason(errno));
            return false;
        }
        in = opened.get();
    }
    PathList list(in, invocation.nullSeparated);
    while (const auto path = list.next())
        collector.addItem(*path);
    if (list.failed()) {
        say("l'elenco " + invocation.list + " non si legge fino in fondo");
        return false;
    }
    return true;
}

// Refuses, before anything is read or written, an output that would overwrite a file unasked
// or cannot be a video at all. An empty text when the run may go on.
std::string outputRefusal(const Invocation& invocation, const fs::path& target, bool& exists)
{
    struct stat info {};
    exists = ::stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return invocation.output + " è una cartella: indica il nome del video da creare";
    if (exists && !S_ISREG(info.st_mode))
        return invocation.output + " esiste e non è un file normale";
    if (exists && !invocation.overwrite)
        return invocation.output + " esiste già: per sostituirlo aggiungi -y (--overwrite)";
    return {};
}

BatchProgress::Style progressStyle(const Invocation& invocation)
{
    if (::isatty(STDERR_FILENO) == 1)
        return BatchProgress::Style::Bar;
    return invocation.progress ? BatchProgress::Style::Lines : BatchProgress::Style::None;
}

video::SaveOutcome save(const video::SaveRequest& request, BatchProgress& progress, const StopSignals& stop)
{
    StderrMessages messages;
    video::mAVIDecs& avi = video::systemAVIDecs();
    avi.AVIFileInit();
    video::SaveOutcome outcome;
    try {
        outcome = video::SaveJob(avi, messages).run(request, progress, stop.stopRequested());
    } catch (const std::exception&) {  // out of memory: a failed save, not a crash
        outcome.result = avifile::AVIERR_INTERNAL;
        outcome.frameCount = static_cast<int>(request.frames.size());
    }
    avi.AVIFileExit();
    return outcome;
}

std::string frames(int count) { return std::to_string(count) + (count == 1 ? " fotogramma" : " fotogrammi"); }

// Names every substituted entry; the status that a finished video then ends with.
int reportSubstituted(const video::SaveOutcome& outcome, const std::vector<std::string>& paths)
{
    for (const int index : outcome.substituted)
        say("fotogramma " + std::to_string(index + 1) + " sostituito dal precedente: " +
            paths[static_cast<std::size_t>(index)] + " non si legge più");
    if (outcome.substituted.empty())
        return kExitMade;
    const int count = static_cast<int>(outcome.substituted.size());
    say("video finito, " + std::to_string(count) + (count == 1 ? " fotogramma sostituito" : " fotogrammi sostituiti"));
    return kExitSubstituted;
}

struct Ending {
    const Invocation& invocation;
    const video::SaveOutcome& outcome;
    const std::vector<std::string>& paths;
    bool replacing;  // the target existed before the run
};

// Gives the video its name when it is worth keeping and says how the run ended.
int finish(const Ending& end, PendingOutput& pending, int signal)
{
    const video::SaveOutcome& outcome = end.outcome;
    const std::string& output = end.invocation.output;
    const bool whole = outcome.result == 0 && (outcome.finished || outcome.cancelled) && outcome.framesWritten > 0;
    // A partial video cut short by an error is better than none, but not better than the old file.
    const bool partial = outcome.result != 0 && !outcome.refused && outcome.framesWritten > 0 && !end.replacing;
    if ((whole || partial) && !pending.commit()) {
        say(output + " non ha potuto prendere il posto del file scritto: " + pending.error());
        return kExitFailed;
    }
    if (whole && outcome.cancelled) {
        say("interrotto: " + output + " è finito con " + frames(outcome.framesWritten) + " su " +
            std::to_string(outcome.frameCount));
        (void)reportSubstituted(outcome, end.paths);
        return signal != 0 ? statusForSignal(signal) : statusForSignal(SIGINT);
    }
    if (whole) {
        say("creato " + output + ": " + frames(outcome.framesWritten) + ", " + std::to_string(end.invocation.fps) +
            " al secondo");
        return reportSubstituted(outcome, end.paths);
    }
    say(video::failureMessage(outcome));
    if (partial)
        say(output + " è parziale, finito e leggibile: contiene " + frames(outcome.framesWritten) + " su " +
            std::to_string(outcome.frameCount));
    else if (end.replacing)
        say("nessun video creato: " + output + " è rimasto com'era");
    else
        say("nessun file scritto");
    return kExitFailed;
}

}  // namespace

int runBatch(const Invocation& invocation)
{
    // A closed standard error makes writes fail, never ends the run (not while frames are
    // being admitted either).
    std::signal(SIGPIPE, SIG_IGN);
    const fs::path target = outputTarget(invocation.output);
    bool replacing = false;
    if (const std::string refusal = outputRefusal(invocation, target, replacing); !refusal.empty()) {
        printUsageError(printable(refusal));
        return kExitUsage;
    }

    StderrMessages messages;
    FrameCollector collector(messages);
    const bool listRead = collect(invocation, collector);
    collector.sayMismatched();
    if (!listRead)
        return kExitFailed;
    if (collector.refused() > 0) {
        say("nessun video creato: " + std::to_string(collector.refused()) + " file non si leggono come bitmap");
        return kExitFailed;
    }
    if (collector.frames().empty()) {
        say("nessun video creato: nessun file BMP tra quelli indicati");
        return kExitFailed;
    }
    // Its name is checked now, since the video is written under another until it is finished.
    if (const std::string refusal = video::refusalBeforeOpen(target.string(), collector.frames()); !refusal.empty()) {
        say(refusal);
        return kExitFailed;
    }

    PendingOutput pending(target);
    if (!pending.created()) {
        say(invocation.output + " non si può creare: " + pending.error());
        return kExitFailed;
    }
    const video::SaveRequest request{pending.path().string(), std::move(collector.frames()),
                                     static_cast<video::DWORD>(invocation.fps)};
    // Ctrl+C, a kill or a lost terminal stops after the frame in hand; the file is finished.
    const StopSignals stop;
    BatchProgress progress(static_cast<int>(request.frames.size()), stderr, progressStyle(invocation),
                           [] { return terminalColumns(STDERR_FILENO); });
    const video::SaveOutcome outcome = save(request, progress, stop);
    progress.finish();
    return finish({invocation, outcome, request.frames, replacing}, pending, stop.signal());
}

}  // namespace kelvora::cli
