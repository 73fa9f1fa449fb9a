#include "cli/BatchMode.h"

#include "adding/AddJob.h"
#include "adding/FrameAdder.h"
#include "adding/NumberGaps.h"
#include "bitmap/PictureHeader.h"
#include "bitmap/PicturePlan.h"
#include "cli/BatchCandidates.h"
#include "cli/BatchProgress.h"
#include "cli/InputPaths.h"
#include "cli/Messages.h"
#include "cli/OutputFiles.h"
#include "cli/SlideshowInputs.h"
#include "cli/StopSignals.h"
#include "cli/VerifyMode.h"
#include "mux/SinkFactory.h"
#include "platform/avifile/AVIFile.h"
#include "platform/text/PathNames.h"
#include "platform/filesystem/PendingOutput.h"
#include "video/KeptVideo.h"
#include "video/SaveFailure.h"
#include "video/FrameSource.h"
#include "video/SaveJob.h"
#include "video/SaveSummary.h"
#include "platform/text/Counts.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
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

// Admits each candidate as "Aggiungi BMP" does, from the one read the save makes of it, and
// names each left out for its format. Once a file could not be read no video will be made:
// the rest are still examined, so that every such file is named, but none is written.
class BatchAdmission final : public video::FrameAdmission, public video::FrameEntries {
public:
    BatchAdmission(const BatchCandidates& candidates, platform::MessageBoxService& messages)
        : m_candidates(candidates), m_adder(m_format, messages)
    {
    }

    bool admit(std::size_t entry, bool loaded, const bitmap::cDIB& dib, const video::PictureFrame& picture,
               const bitmap::FramePlan& plan) override
    {
        const bool admitted = judgeEntry(loaded, dib, picture, plan);
        if (admitted && keepEntries) {
            const std::lock_guard lock(m_entriesMutex);
            m_entries.push_back(entry);
        }
        return admitted;
    }

    // A slideshow's durations are the entries': the writer asks which entry a frame is.
    std::size_t entryOf(std::size_t frame) const override
    {
        const std::lock_guard lock(m_entriesMutex);
        return frame < m_entries.size() ? m_entries[frame] : frame;
    }

    bool judgeEntry(bool loaded, const bitmap::cDIB& dib, const video::PictureFrame& picture,
                    const bitmap::FramePlan& plan)
    {
        const std::string& path = m_candidates.current();
        // The file the checksums are to replace is an input: the run makes nothing.
        const platform::FileIdentity identity = picture.isPicture() ? picture.identity : dib.fileIdentity();
        if (loaded && hashes.known() && identity == hashes) {
            hashesAreAFrame = true;
            ++refused;
            return false;
        }
        switch (loaded ? judge(path, picture, plan) : adding::Admission::Refused) {
        case adding::Admission::Added:
            if (refused > 0)
                return false;
            if (keepPaths)
                admittedPaths.push_back(path);
            return true;
        case adding::Admission::Mismatch:
            say("escluso " + path + ": non ha il formato del primo fotogramma");
            return false;
        case adding::Admission::Unusable:
            ++unusable;
            ++refused;
            return false;
        case adding::Admission::Refused:
            break;
        }
        ++refused;
        return false;
    }

    [[nodiscard]] int leftOut() const { return m_adder.mismatched(); }
    // A video that decodes its frames takes every format, each fitted into its size.
    void takeAnyFormat() { m_adder.takeAnyFormat(); }
    [[nodiscard]] const adding::FrameFormat& format() const { return m_format; }

    int refused = 0;  // files that are no frame: not readable, or not usable (counted apart too)
    int unusable = 0;
    // The file --framemd5 would replace, which no frame may be, and whether one was.
    platform::FileIdentity hashes;
    bool hashesAreAFrame = false;
    // The frames' paths, kept only when the video is checked after it is made.
    bool keepPaths = false;
    std::vector<std::string> admittedPaths;
    // The entries that became frames, kept for a slideshow (admitted on the loading thread).
    bool keepEntries = false;

private:
    // A picture the output cannot hold is refused by its plan, with the reason; one it can
    // follows the format rule of pictures.
    adding::Admission judge(const std::string& path, const video::PictureFrame& picture, const bitmap::FramePlan& plan)
    {
        // What no video takes is told in the adding's words; what this output alone refuses, in the plan's.
        if (picture.isPicture())
            return plan.accepted() || !bitmap::planPicture(picture.header).accepted
                       ? m_adder.judgePicture(path, picture.header)
                       : m_adder.refusePicture(path, plan.reason);
        return m_adder.judge(path, plan);
    }

    const BatchCandidates& m_candidates;
    adding::FrameFormat m_format;
    adding::FrameAdder m_adder;
    mutable std::mutex m_entriesMutex;
    std::vector<std::size_t> m_entries;
};

video::SaveOutcome save(const video::SaveRequest& request, platform::MessageBoxService& messages,
                        BatchProgress& progress, const StopSignals& stop)
{
    video::mAVIDecs& avi = video::systemAVIDecs();
    avi.AVIFileInit();
    video::SaveOutcome outcome;
    try {
        outcome = video::SaveJob(avi, messages, mux::sinkFor).run(request, progress, stop.stopRequested());
    } catch (const std::exception&) {  // out of memory: a failed save, not a crash
        outcome.result = avifile::AVIERR_INTERNAL;
    }
    avi.AVIFileExit();
    return outcome;
}

using platform::framesText;

struct Ending {
    const Invocation& invocation;
    const video::SaveOutcome& outcome;
    int leftOut;     // entries left out for their format, each already named
    bool replacing;  // the target existed before the run
};

// The status a finished video ends with: not every entry became its own frame when one was
// left out for its format.
int closingStatus(const Ending& end)
{
    if (end.leftOut == 0)
        return kExitMade;
    say("video finito senza " + platform::countText(end.leftOut, "file escluso", "file esclusi") + " per il formato");
    return kExitSubstituted;
}

// Gives the video its name when it is worth keeping and says how the run ended.
int finish(const Ending& end, platform::PendingOutput& pending, int signal)
{
    const video::SaveOutcome& outcome = end.outcome;
    const std::string& output = end.invocation.output;
    const video::KeptVideo kept = video::keptVideo(outcome, end.replacing);
    const bool whole = kept == video::KeptVideo::Whole;
    const bool partial = kept == video::KeptVideo::Partial;
    // Only a whole video asked to replace may replace: a file that appeared at the name while
    // the run went on (another run, say) is not ours to lose.
    const auto replace = whole && end.invocation.overwrite ? platform::Replace::Always : platform::Replace::Never;
    if ((whole || partial) && !pending.commit(replace)) {
        if (partial)
            say(video::failureMessage(outcome));
        if (pending.error() == EEXIST && pending.inPlace()) {
            say(output + " è stato sostituito da un altro file mentre il video si scriveva: nessun video creato");
            return kExitUsage;
        }
        if (pending.error() == EEXIST) {
            say(output +
                (whole ? " è comparso mentre il video si scriveva e non è stato sostituito (manca -y)"
                       : " è comparso mentre il video si scriveva e un video parziale non lo sostituisce") +
                ": nessun video creato");
            return kExitUsage;
        }
        say("il video scritto non ha potuto prendere il nome " + output + ": " + systemReason(pending.error()) +
            "; nessun video creato");
        return kExitFailed;
    }
    // A stop signal at any moment before here ends the run as stopped, the video as it is.
    if (whole && (outcome.cancelled || signal != 0)) {
        say("interrotto: " + output + " è finito con " + framesText(outcome.framesWritten) + " su " +
            std::to_string(outcome.frameCount));
        (void)closingStatus(end);
        return signal != 0 ? statusForSignal(signal) : statusForSignal(SIGINT);
    }
    if (whole) {
        say("creato " + output + ": " + picturesText(outcome, end.invocation.rate) + ", " +
            video::rateText(end.invocation.rate) + " al secondo, " +
            video::savedSummary(end.invocation.codec, outcome.fileBytes, outcome.uncompressedBytes) +
            (outcome.audio.empty() ? "" : ", " + outcome.audio));
        if (!outcome.notice.empty())
            say(output + ": " + outcome.notice);
        return closingStatus(end);
    }
    if (outcome.cancelled && outcome.result == 0 && outcome.framesWritten == 0) {
        // Stopped before a first frame was out: nothing is left, and the run says it was stopped.
        say("interrotto prima del primo fotogramma: nessun file scritto");
        return signal != 0 ? statusForSignal(signal) : statusForSignal(SIGINT);
    }
    say(video::failureMessage(outcome));
    if (partial)
        say(output + " è parziale, finito e leggibile: contiene " + framesText(outcome.framesWritten) + " su " +
            std::to_string(outcome.frameCount));
    else if (end.replacing)
        say("nessun video creato: " + output + " è rimasto com'era");
    else
        say("nessun file scritto");
    return kExitFailed;
}

// Why no video is made although the save went through, from what admission found; empty
// when the video stands.
std::string refusedInputs(const BatchAdmission& admission, const video::SaveOutcome& outcome)
{
    if (admission.refused > 0) {
        const int unreadable = admission.refused - admission.unusable;
        std::string text = "nessun video creato: ";
        if (unreadable > 0)
            text += platform::countText(unreadable, "file non si legge", "file non si leggono") + " come bitmap";
        if (unreadable > 0 && admission.unusable > 0)
            text += " e ";
        if (admission.unusable > 0)
            text += platform::countText(admission.unusable, "bitmap è in un formato", "bitmap sono in formati") +
                    " che i lettori video non leggono";
        return text;
    }
    if (outcome.framesWritten == 0 && outcome.result == avifile::AVIERR_NODATA)
        return "nessun video creato: nessuna immagine (BMP, PNG o JPEG) tra i file indicati";
    return {};
}

}  // namespace

int runBatch(const Invocation& invocation)
{
    // A closed standard error makes writes fail, never ends the run (not while frames are
    // being admitted either).
    std::signal(SIGPIPE, SIG_IGN);
    const fs::path target = platform::outputTarget(invocation.output);
    bool replacing = false;
    RunRefusal refusal{outputRefusal(invocation.output, target, invocation.overwrite, replacing)};
    if (!refusal.refused())
        refusal = hashesRefusal(invocation, invocation.output);
    if (refusal.refused())
        return reportRefusal(refusal);
    int slideshowStatus = kExitMade;
    std::optional<SlideshowInputs> slideshow = readSlideshow(invocation, slideshowStatus);
    if (!slideshow)
        return slideshowStatus;
    ListInput list(invocation.list, invocation.nullSeparated);
    if (list.openError() != 0) {
        say("l'elenco " + invocation.list + " non si legge: " + systemReason(list.openError()));
        return kExitFailed;
    }
    // A new video is written at its name from the start, so a kill leaves its frames there; one
    // that replaces a file is written beside it.
    std::optional<platform::PendingOutput> pending;
    pending.emplace(target, replacing ? platform::Placement::Beside : platform::Placement::InPlace);
    if (!pending->created() && pending->error() == EEXIST && !replacing) {
        // Another run (or anyone) made the file since it was looked for.
        if (!invocation.overwrite) {
            printUsageError(printable(invocation.output + " esiste già: per sostituirlo aggiungi -y (--overwrite)"));
            return kExitUsage;
        }
        replacing = true;
        pending.emplace(target, platform::Placement::Beside);
    }
    if (!pending->created()) {
        // Through a link the folder may be another than the one given: name it.
        say(invocation.output + " non si può creare: " +
            (pending->error() == ENOENT ? "la cartella " + target.parent_path().string() + " non esiste"
                                        : systemReason(pending->error())));
        return kExitFailed;
    }

    // One pass: each candidate is read once, admitted and written; the video is written under
    // a name of its own and takes OUT's only if every candidate was a frame or left out.
    // A size chosen takes a folder's pictures of every type: each is fitted into that size.
    BatchCandidates candidates(slideshow->items, list.paths(), !invocation.framing.size.original());
    CandidateMessages messages(candidates);
    BatchAdmission admission(candidates, messages);
    admission.keepPaths = invocation.verify || !invocation.framemd5.empty();
    admission.keepEntries = invocation.slideshow();
    slideshow->show.entries = &admission;
    if (invocation.codec != codec::Codec::Raw || !invocation.framing.size.original())
        admission.takeAnyFormat();
    admission.hashes = hashesIdentity(invocation);
    video::SaveRequest request{pending->path().string(), {},          invocation.rate.rate, invocation.rate.scale,
                               invocation.codec,         &candidates, &admission,           target.string()};
    request.container = video::containerForPath(invocation.output);
    request.crf = invocation.crf;
    request.framing = invocation.framing;
    if (invocation.slideshow())
        request.slideshow = &slideshow->show;
    // Ctrl+C, a kill or a lost terminal stops after the frame in hand; the file is finished.
    const StopSignals stop;
    BatchProgress progress(candidates.count(), stderr, BatchProgress::styleFor(stderr, invocation.progress),
                           [] { return terminalColumns(STDERR_FILENO); });
    video::SaveOutcome outcome = save(request, messages, progress, stop);
    // Followed at once: a video not kept (an input refused, say) is removed as the file it has become.
    if (outcome.renewedFile.known())
        pending->followRenewedFile(outcome.renewedFile);
    // A save cut short by an error read its list no further: a partial video is of all it listed.
    if (candidates.count() < 0 && outcome.result != 0 && !outcome.cancelled)
        outcome.frameCount = std::max(outcome.frameCount, candidates.listedCount(stop.stopRequested()));
    progress.finish();
    if (admission.leftOut() > 0)
        say(adding::skippedSummary(admission.leftOut(), admission.format()).toStdString());
    for (const std::string& line : candidates.gapLines)
        say(line);
    if (const std::string problem = list.paths() ? list.paths()->problem() : std::string(); !problem.empty()) {
        say("l'elenco " + invocation.list + ": " + problem);
        return kExitFailed;
    }
    if (admission.hashesAreAFrame) {
        say(hashesAreAFrame(invocation.framemd5) + ": nessun video creato");
        return kExitUsage;
    }
    if (const std::string refused = refusedInputs(admission, outcome); !refused.empty()) {
        say(refused);
        return kExitFailed;
    }
    const int status = finish({invocation, outcome, admission.leftOut(), replacing}, *pending, stop.signal());
    return checkAfterSave(invocation, admission.admittedPaths, status, stop, outcome.fitted,
                          invocation.slideshow() ? &slideshow->show : nullptr);
}

}  // namespace kelvora::cli
