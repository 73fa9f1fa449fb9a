#include "cli/BatchMode.h"

#include "adding/AddJob.h"
#include "adding/FrameAdder.h"
#include "cli/BatchProgress.h"
#include "cli/InputPaths.h"
#include "cli/Messages.h"
#include "cli/PendingOutput.h"
#include "cli/StopSignals.h"
#include "platform/avifile/AVIFile.h"
#include "platform/filesystem/PathNames.h"
#include "platform/toolkit/CompactTexts.h"
#include "video/SaveFailure.h"
#include "video/SaveJob.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
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

// The run's candidates in order: the arguments' items, then the list's (read as the add goes,
// never held whole). A folder stands for its BMP files in natural order, anything else for
// itself. The one in hand keeps its own bytes, so a frame is saved under the very name given.
class BatchCandidates {
public:
    BatchCandidates(const std::vector<std::string>& items, PathList* list) : m_items(items), m_list(list) {}

    std::optional<QString> next()
    {
        while (m_inFolder == m_folder.size()) {
            const std::optional<std::string> item = nextItem();
            if (!item)
                return std::nullopt;
            std::error_code error;
            const fs::path absolute = fs::absolute(*item, error);
            std::string path = error ? *item : absolute.string();
            if (!fs::is_directory(path, error)) {
                m_current = std::move(path);
                return platform::pathFromNative(m_current);
            }
            m_folder.clear();
            m_inFolder = 0;
            app::forEachBmpFileOfFolder(platform::pathFromNative(path),
                                        [this](const QString& file) { m_folder.append(file); });
        }
        const QString file = m_folder.takeInOrder(m_inFolder++);
        m_current = platform::nativePath(file);
        return file;
    }
    // The candidate last given, as the file system names it.
    [[nodiscard]] const std::string& current() const { return m_current; }

private:
    std::optional<std::string> nextItem()
    {
        if (m_nextItem < m_items.size())
            return m_items[m_nextItem++];
        return m_list ? m_list->next() : std::nullopt;
    }

    const std::vector<std::string>& m_items;
    PathList* m_list;
    std::size_t m_nextItem = 0;
    platform::CompactTexts m_folder;
    int m_inFolder = 0;
    std::string m_current;
};

// A refused candidate's message as a line. Where the system can say more precisely why the
// file cannot be read (a loop of links, a link to nothing, no permission), that is the line.
class CandidateMessages final : public platform::MessageBoxService {
public:
    explicit CandidateMessages(const BatchCandidates& candidates) : m_candidates(candidates) {}

    void MsgBox(const std::string& text, int, const std::string&) override
    {
        const std::string& path = m_candidates.current();
        if (const std::string reason = unreadableReason(path); !reason.empty())
            say(path + ": " + reason);
        else
            say(text);
    }

private:
    const BatchCandidates& m_candidates;
};

// Keeps the admitted frames' paths and names each one left out for its format.
class BatchFrames final : public adding::AddObserver {
public:
    explicit BatchFrames(const BatchCandidates& candidates) : m_candidates(candidates) {}

    void admitted(int, const QString&) override { frames.push_back(m_candidates.current()); }
    void leftOut(int, const QString&) override
    {
        say("escluso " + m_candidates.current() + ": non ha il formato del primo fotogramma");
    }

    std::vector<std::string> frames;

private:
    const BatchCandidates& m_candidates;
};

struct Collected {
    std::vector<std::string> frames;
    int refused = 0;
    bool listRead = true;  // false when the list could not be read to its end
};

// The frames of the run, admitted one candidate at a time as "Aggiungi BMP" admits them.
Collected collect(const Invocation& invocation)
{
    Collected collected;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> opened(nullptr, std::fclose);
    std::FILE* in = stdin;
    if (!invocation.list.empty() && invocation.list != "-") {
        opened.reset(std::fopen(invocation.list.c_str(), "re"));
        if (!opened) {
            say("l'elenco " + invocation.list + " non si legge: " + systemReason(errno));
            collected.listRead = false;
            return collected;
        }
        in = opened.get();
    }
    std::optional<PathList> list;
    if (!invocation.list.empty())
        list.emplace(in, invocation.nullSeparated);

    BatchCandidates candidates(invocation.items, list ? &*list : nullptr);
    CandidateMessages messages(candidates);
    BatchFrames frames(candidates);
    const std::atomic<bool> never{false};
    const adding::AddOutcome outcome = adding::AddJob(messages).run(
        [&candidates] { return candidates.next(); }, -1, {}, frames, never);
    if (outcome.mismatched > 0)
        say(app::skippedSummary(outcome.mismatched, outcome.format).toStdString());
    if (list && list->failed()) {
        say("l'elenco " + invocation.list + " non si legge fino in fondo");
        collected.listRead = false;
    }
    collected.frames = std::move(frames.frames);
    collected.refused = outcome.unreadable;
    return collected;
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

    Collected collected = collect(invocation);
    if (!collected.listRead)
        return kExitFailed;
    if (collected.refused > 0) {
        say("nessun video creato: " + std::to_string(collected.refused) + " file non si leggono come bitmap");
        return kExitFailed;
    }
    if (collected.frames.empty()) {
        say("nessun video creato: nessun file BMP tra quelli indicati");
        return kExitFailed;
    }
    // Its name is checked now, since the video is written under another until it is finished.
    if (const std::string refusal = video::refusalBeforeOpen(target.string(), collected.frames); !refusal.empty()) {
        say(refusal);
        return kExitFailed;
    }

    PendingOutput pending(target);
    if (!pending.created()) {
        say(invocation.output + " non si può creare: " + pending.error());
        return kExitFailed;
    }
    const video::SaveRequest request{pending.path().string(), std::move(collected.frames),
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
