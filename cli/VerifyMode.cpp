#include "cli/VerifyMode.h"

#include "cli/BatchProgress.h"
#include "cli/CollectedFrames.h"
#include "cli/Messages.h"
#include "cli/OutputFiles.h"
#include "cli/SlideshowInputs.h"
#include "verify/FrameMd5.h"
#include "verify/VideoCheck.h"
#include "cli/FidelityCheck.h"
#include "video/Fitting.h"
#include "video/VideoSink.h"
#include "platform/text/Counts.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kelvora::cli {

namespace {

namespace fs = std::filesystem;

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

using platform::framesText;

class CheckProgress final : public verify::CheckObserver {
public:
    CheckProgress(BatchProgress& progress, int frames) : m_progress(progress), m_frames(frames) {}
    void frameChecked(int index) override { m_progress.frameWritten(std::min(index, m_frames - 1)); }

private:
    BatchProgress& m_progress;
    int m_frames;
};

// The status the check's outcome ends a run with, after its line.
int reportCheck(const verify::CheckOutcome& outcome, const verify::CheckRequest& request, int statusIfSame)
{
    const std::string& video = request.video;
    switch (outcome.result) {
    case verify::CheckResult::Same:
        if (request.compare && outcome.pictures)
            say("verificato " + video + ": " +
                platform::countText(outcome.listFrames, "immagine nel suo tempo", "immagini nei loro tempi") + " (" +
                framesText(outcome.videoFrames) + "), ognuna uguale al suo file");
        else if (request.compare)
            say("verificato " + video + ": " + framesText(outcome.videoFrames) +
                (outcome.approximate ? ", ognuno simile al suo file (codec con perdita)"
                                     : ", ognuno uguale al suo file"));
        return statusIfSame;
    case verify::CheckResult::Different:
        say("verifica fallita per " + video + ": " + verify::differenceText(outcome, request.frames));
        return kExitDiffers;
    case verify::CheckResult::NotAVideo:
        say("verifica fallita: " + video + " " + outcome.reason);
        return kExitDiffers;
    case verify::CheckResult::Unchecked:
        say((request.compare ? "nessuna verifica: " : "nessuna impronta: ") + video + " " + outcome.reason);
        return kExitFailed;
    case verify::CheckResult::Cancelled:
        break;
    }
    return kExitFailed;
}

// Frames the decoder found damaged, said once the checksums are written (they are ffmpeg's,
// which hashes a concealed frame as it shows it); the status then is a failed check's.
int reportDamage(const Damage& damage, const std::string& video, int status)
{
    if (damage.count == 0)
        return status;
    std::string text =
        "il video " + video + " è danneggiato: fotogramma " + std::to_string(damage.first + 1) + ": " + damage.reason;
    if (damage.count > 1)
        text += "; " + platform::countText(damage.count - 1, "altro danneggiato", "altri danneggiati");
    say(text);
    return kExitDiffers;
}

// An AVI video checked by our own reader.
// The fitting a save in a codec into a container gave the frames (unset: none).
using FittingOf = std::function<std::optional<photo::Framing>(codec::Codec, video::Container)>;

Checked checkAvi(const std::string& video, const std::vector<std::string>& frames, const Invocation& invocation,
                 int statusIfSame, verify::CheckObserver& observer, const StopSignals& stop, verify::FrameMd5* hashes,
                 const FittingOf& fittingOf, const slideshow::ShowLayout* show)
{
    verify::CheckRequest request{video, frames, invocation.verify, show, {}};
    request.fitting = [&](codec::Codec codec) { return fittingOf(codec, video::Container::Avi); };
    const verify::CheckOutcome outcome = verify::checkVideo(request, observer, stop.stopRequested(), hashes);
    if (outcome.result == verify::CheckResult::Cancelled)
        return Checked::ended(kExitFailed, true);
    Checked checked = Checked::ended(reportCheck(outcome, request, statusIfSame));
    checked.compared = request.compare && (outcome.result == verify::CheckResult::Same ||
                                           outcome.result == verify::CheckResult::Different);
    checked.hashed =
        outcome.result != verify::CheckResult::Unchecked && outcome.result != verify::CheckResult::NotAVideo;
    checked.damage = {outcome.damaged, outcome.firstDamaged, outcome.damageReason};
    return checked;
}

// A slideshow's audio, checked against its music and hashed after the frames: the status
// the run ends with, `status` when all is well.
int checkMusic(const SlideshowCheck& show, const Invocation& invocation, verify::FrameMd5* hashes,
               const StopSignals& stop, int status)
{
    const std::string& video = show.audio.video;
    if (show.audio.music.empty() && !hashes)
        return status;
    const verify::AudioCheckOutcome outcome = verify::checkAudio(show.audio, stop.stopRequested(), hashes);
    if (hashes)
        hashes->finishAudio();
    if (outcome.cancelled)
        return statusForSignal(stop.signal() != 0 ? stop.signal() : SIGINT);
    if (!invocation.verify)
        return status;
    if (show.audio.music.empty()) {
        if (outcome.hasAudio)
            say(video + " ha anche una traccia audio, non verificata (la musica si indica con --audio)");
        return status;
    }
    if (!outcome.hasAudio || !outcome.readable) {
        say("verifica fallita per " + video + ": " + (outcome.hasAudio ? "l'audio " : "") + outcome.reason);
        return kExitDiffers;
    }
    const verify::AudioVerdict verdict = verify::judgeAudio(outcome);
    if (!verdict.same) {
        say("verifica fallita per " + video + ": " + verdict.text);
        return kExitDiffers;
    }
    say("verificato " + video + ": " + verdict.text);
    return status;
}

// Checks and hashes `video` as the invocation asks; the run's status (statusIfSame when all
// is well). `leftOut`: files of the list left out for their format, which the video lacks.
// `show`: a slideshow's pictures and music.
int check(const std::string& video, const std::vector<std::string>& frames, const Invocation& invocation,
          int statusIfSame, const StopSignals& stop, const FittingOf& fittingOf, int leftOut = 0,
          const SlideshowCheck* show = nullptr)
{
    const std::string& sums = invocation.framemd5;
    if (!sums.empty() && sums != "-") {
        for (const std::string& frame : frames) {
            if (sameFile(sums, frame)) {
                say(hashesAreAFrame(sums));
                return kExitUsage;
            }
        }
    }
    HashesOut out(sums, invocation.overwrite);
    std::optional<verify::FrameMd5> hashes;
    if (!sums.empty()) {
        const auto stream = out.open();
        if (!stream) {
            say("le impronte non si scrivono in " + sums + ": " + stream.error());
            return kExitFailed;
        }
        hashes.emplace(stream.value());
        // A slideshow's audio is hashed after its frames, the lines of both put in time order.
        if (show)
            hashes->expectAudio();
    }
    BatchProgress progress(
        static_cast<int>(frames.size()), stderr, BatchProgress::styleFor(stderr, invocation.progress),
        [] { return terminalColumns(STDERR_FILENO); }, invocation.verify ? "verificati" : "letti");
    CheckProgress observer(progress, static_cast<int>(frames.size()));
    verify::FrameMd5* const hashing = hashes ? &*hashes : nullptr;
    const slideshow::ShowLayout* const layout = show ? &*show->layout : nullptr;
    const video::Container container = video::containerForPath(video);
    const Checked checked =
        container == video::Container::Avi
            ? checkAvi(video, frames, invocation, statusIfSame, observer, stop, hashing, fittingOf, layout)
            : checkFidelity(video, frames, invocation, statusIfSame, observer, stop, hashing,
                            invocation.verify ? fittingOf(container == video::Container::Mp4 ? codec::Codec::H264
                                                                                             : codec::Codec::Ffv1,
                                                          container)
                                              : std::nullopt,
                            layout);
    progress.finish();
    if (checked.cancelled) {
        say("interrotto: " + video +
            (invocation.verify ? " non è stato verificato fino in fondo" : ": nessuna impronta scritta"));
        return statusForSignal(stop.signal() != 0 ? stop.signal() : SIGINT);
    }
    int status = checked.status;
    if (show && !checked.cancelled && (checked.compared || checked.hashed))
        status = checkMusic(*show, invocation, checked.hashed ? hashing : nullptr, stop, status);
    if (leftOut > 0 && checked.compared) {
        say("verifica fallita per " + video + ": " +
            platform::countText(leftOut, "file escluso per il formato non è nel video",
                                "file esclusi per il formato non sono nel video"));
        status = kExitDiffers;
    }
    if (hashes && checked.hashed) {
        if (const auto finished = out.finish(); !finished) {
            say("le impronte non si scrivono in " + sums + ": " + finished.error());
            return status == kExitDiffers ? status : kExitFailed;
        }
        if (sums != "-")
            say("impronte di " + framesText(hashes->lines()) + " scritte in " + sums);
        if (!invocation.verify)
            status = reportDamage(checked.damage, video, status);
    }
    return status;
}

}  // namespace

int runVerify(const Invocation& invocation)
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string video = invocation.items.front();
    if (const RunRefusal refusal = hashesRefusal(invocation, video); refusal.refused())
        return reportRefusal(refusal);
    Invocation frameItems = invocation;
    frameItems.items.erase(frameItems.items.begin());  // the video is no frame
    // MP4 and Matroska come of saves that take frames of any format, as a size chosen does.
    if (video::containerForPath(video) != video::Container::Avi)
        frameItems.codec = codec::Codec::Ffv1;
    int slideshowStatus = kExitMade;
    const std::optional<SlideshowInputs> slideshow = readSlideshow(frameItems, slideshowStatus);
    if (!slideshow)
        return slideshowStatus;
    frameItems.items = slideshow->items;
    const CollectedFrames collected = collectFrames(frameItems);
    if (!collected.listRead)
        return kExitFailed;
    if (collected.refused > 0) {
        say("nessuna verifica: " + platform::countText(collected.refused, "file non si legge", "file non si leggono") +
            " come bitmap");
        return kExitFailed;
    }
    if (collected.frames.empty()) {
        say("nessuna verifica: nessuna immagine (BMP, PNG o JPEG) tra i file indicati");
        return kExitFailed;
    }
    std::optional<SlideshowCheck> show;
    if (invocation.slideshow()) {
        show = slideshowCheck(invocation, slideshow->show, collected.frames.size(), video, invocation.rateGiven);
        if (!show)
            return kExitFailed;
    }
    const StopSignals stop;
    // Decided as the save decides, from the same files and the size asked for.
    const FittingOf fittingOf = [&](codec::Codec codec, video::Container container) {
        return video::fittingOfFrames(codec, container, invocation.framing, collected.frames, invocation.fades.any());
    };
    return check(video, collected.frames, invocation, kExitMade, stop, fittingOf, collected.leftOut,
                 show ? &*show : nullptr);
}

int checkAfterSave(const Invocation& invocation, const std::vector<std::string>& frames, int status,
                   const StopSignals& stop, const std::optional<photo::Framing>& fitted,
                   const video::Slideshow* slideshow)
{
    // Only a whole video is checked: a failed or interrupted run has said what it left.
    if ((!invocation.verify && invocation.framemd5.empty()) || (status != kExitMade && status != kExitSubstituted))
        return status;
    std::optional<SlideshowCheck> show;
    if (slideshow) {
        show = slideshowCheck(invocation, *slideshow, frames.size(), invocation.output, true);
        if (!show)
            return kExitFailed;
    }
    return check(
        invocation.output, frames, invocation, status, stop, [&](codec::Codec, video::Container) { return fitted; }, 0,
        show ? &*show : nullptr);
}

}  // namespace kelvora::cli
