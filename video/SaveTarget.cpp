#include "video/SaveTarget.h"

#include "platform/filesystem/PendingOutput.h"
#include "video/KeptVideo.h"
#include "video/FrameSource.h"
#include "video/SaveFailure.h"

#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::video {

namespace {

const char* const kNotRenamed = "Il filmato scritto non ha potuto prendere il nome scelto.";

SaveOutcome failed(const SaveRequest& request, HRESULT result, std::string reason)
{
    SaveOutcome out;
    out.frameCount = request.source ? request.source->count() : static_cast<int>(request.frames.size());
    out.result = result;
    out.reason = std::move(reason);
    return out;
}

// What opening the target itself used to refuse, which a rename over it would not: a folder,
// FIFO or device, a file that may not be written. (A frame of the list the save itself refuses.)
std::optional<SaveOutcome> refusal(const std::string& target, const SaveRequest& request)
{
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
        return std::nullopt;  // nothing there yet (or unreachable: the hidden file will say)
    const bool writable = ::access(target.c_str(), W_OK) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    if (S_ISREG(info.st_mode) && writable)
        return std::nullopt;
    return failed(request, avifile::AVIERR_FILEOPEN, openFailureReason(target));
}

}  // namespace

TargetedOutcome saveBesideTarget(SaveRequest request, const std::function<SaveOutcome(const SaveRequest&)>& run)
{
    const std::string target = platform::outputTarget(request.path).string();
    if (std::optional<SaveOutcome> refused = refusal(target, request))
        return {std::move(*refused), LeftOnDisk::Unchanged};
    struct stat info {};
    bool replacing = ::stat(target.c_str(), &info) == 0;

    // A new video is written at its name from the start, so a kill leaves its frames there;
    // one that replaces a file is written beside it (also one that appeared a moment ago).
    std::optional<platform::PendingOutput> pending;
    pending.emplace(target, replacing ? platform::Placement::Beside : platform::Placement::InPlace);
    if (!pending->created() && pending->error() == EEXIST && !replacing) {
        replacing = true;
        pending.emplace(target, platform::Placement::Beside);
    }
    const LeftOnDisk untouched = replacing ? LeftOnDisk::OldFile : LeftOnDisk::Unchanged;
    if (!pending->created())
        return {failed(request, avifile::AVIERR_FILEOPEN, openFailureReason(target)), untouched};
    request.path = pending->path().string();
    request.target = target;
    TargetedOutcome done{run(request), untouched};
    SaveOutcome& outcome = done.outcome;
    // Followed at once: a video not kept is removed as the file it has become.
    if (outcome.renewedFile.known())
        pending->followRenewedFile(outcome.renewedFile);
    const KeptVideo kept = keptVideo(outcome, replacing);
    if (kept == KeptVideo::None)
        return done;
    // The user agreed to replace the file; a partial video takes only a name nobody has.
    if (!pending->commit(kept == KeptVideo::Whole ? platform::Replace::Always : platform::Replace::Never)) {
        if (outcome.result == 0)
            outcome.result = avifile::AVIERR_FILEWRITE;
        outcome.reason += (outcome.reason.empty() ? "" : "\r\n") + std::string(kNotRenamed);
        outcome.finished = false;
        outcome.cancelled = false;
        return done;
    }
    if (kept == KeptVideo::Partial)
        done.left = LeftOnDisk::Partial;
    return done;
}

}  // namespace kelvora::video
