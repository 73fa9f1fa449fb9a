#include "cli/VerifyMode.h"

#include "cli/BatchMode.h"
#include "cli/BatchProgress.h"
#include "cli/Messages.h"
#include "platform/filesystem/PendingOutput.h"
#include "verify/FrameMd5.h"
#include "verify/VideoCheck.h"
#include "cli/FidelityCheck.h"
#include "video/VideoSink.h"
#include "platform/text/Counts.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
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

std::string framesText(int count) { return platform::countText(count, "fotogramma", "fotogrammi"); }

class CheckProgress final : public verify::CheckObserver {
public:
    CheckProgress(BatchProgress& progress, int frames) : m_progress(progress), m_frames(frames) {}
    void frameChecked(int index) override { m_progress.frameWritten(std::min(index, m_frames - 1)); }

private:
    BatchProgress& m_progress;
    int m_frames;
};

// Where the checksums go: standard output, or a file written beside the one named that takes
// its name only once every line is in it, so a run cut short leaves no half list behind.
class HashesOut {
public:
    explicit HashesOut(const std::string& path) : m_path(path) {}
    ~HashesOut()
    {
        if (m_file)
            std::fclose(m_file);
    }
    HashesOut(const HashesOut&) = delete;
    HashesOut& operator=(const HashesOut&) = delete;

    // The stream to write to; nullptr, with the reason, when it cannot be made.
    std::FILE* open(std::string& error)
    {
        if (m_path == "-")
            return stdout;
        m_pending = std::make_unique<platform::PendingOutput>(platform::outputTarget(m_path));
        if (m_pending->created())
            m_file = std::fopen(m_pending->path().c_str(), "we");
        if (!m_file)
            error = systemReason(m_pending->created() ? errno : m_pending->error());
        return m_file;
    }

    // Every line written and the file given its name; false, with the reason, otherwise.
    bool finish(std::string& error)
    {
        if (m_path == "-") {
            if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
                return true;
            error = systemReason(errno);
            return false;
        }
        const bool flushed = std::fflush(m_file) == 0 && std::ferror(m_file) == 0;
        const int flushError = errno;
        const bool closed = std::fclose(std::exchange(m_file, nullptr)) == 0;
        if (!flushed || !closed) {
            error = systemReason(flushed ? errno : flushError);
            return false;
        }
        if (!m_pending->commit(platform::Replace::Always)) {
            error = systemReason(m_pending->error());
            return false;
        }
        return true;
    }

private:
    std::string m_path;
    std::unique_ptr<platform::PendingOutput> m_pending;
    std::FILE* m_file = nullptr;
};

BatchProgress::Style progressStyle(const Invocation& invocation)
{
    if (::isatty(STDERR_FILENO) == 1)
        return BatchProgress::Style::Bar;
    return invocation.progress ? BatchProgress::Style::Lines : BatchProgress::Style::None;
}

// The status the check's outcome ends a run with, after its line.
int reportCheck(const verify::CheckOutcome& outcome, const verify::CheckRequest& request, int statusIfSame)
{
    const std::string& video = request.video;
    switch (outcome.result) {
    case verify::CheckResult::Same:
        if (request.compare)
            say("verificato " + video + ": " + framesText(outcome.videoFrames) + ", ognuno uguale al suo file");
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

// Checks and hashes `video` as the invocation asks; the run's status (statusIfSame when all
// is well).
int check(const std::string& video, const std::vector<std::string>& frames, const Invocation& invocation,
          int statusIfSame, const StopSignals& stop)
{
    if (video::containerForPath(video) != video::Container::Avi)
        return checkFidelity(video, frames, invocation, statusIfSame, stop);
    const std::string& sums = invocation.framemd5;
    if (!sums.empty() && sums != "-") {
        for (const std::string& frame : frames) {
            if (sameFile(sums, frame)) {
                say("le impronte non si scrivono in " + sums + ", che è uno dei fotogrammi");
                return kExitFailed;
            }
        }
    }
    HashesOut out(sums);
    std::optional<verify::FrameMd5> hashes;
    if (!sums.empty()) {
        std::string error;
        std::FILE* stream = out.open(error);
        if (!stream) {
            say("le impronte non si scrivono in " + sums + ": " + error);
            return kExitFailed;
        }
        hashes.emplace(stream);
    }
    const verify::CheckRequest request{video, frames, invocation.verify};
    BatchProgress progress(
        static_cast<int>(frames.size()), stderr, progressStyle(invocation),
        [] { return terminalColumns(STDERR_FILENO); }, invocation.verify ? "verificati" : "letti");
    CheckProgress observer(progress, static_cast<int>(frames.size()));
    const verify::CheckOutcome outcome =
        verify::checkVideo(request, observer, stop.stopRequested(), hashes ? &*hashes : nullptr);
    progress.finish();
    if (outcome.result == verify::CheckResult::Cancelled) {
        say("interrotto: " + video +
            (invocation.verify ? " non è stato verificato fino in fondo" : ": nessuna impronta scritta"));
        return statusForSignal(stop.signal() != 0 ? stop.signal() : SIGINT);
    }
    int status = reportCheck(outcome, request, statusIfSame);
    if (hashes && outcome.result != verify::CheckResult::Unchecked &&
        outcome.result != verify::CheckResult::NotAVideo) {
        std::string error;
        if (!out.finish(error)) {
            say("le impronte non si scrivono in " + sums + ": " + error);
            return status == kExitDiffers ? status : kExitFailed;
        }
        if (sums != "-")
            say("impronte di " + framesText(outcome.videoFrames) + " scritte in " + sums);
    }
    return status;
}

}  // namespace

std::string hashesRefusal(const Invocation& invocation, const std::string& video)
{
    const std::string& sums = invocation.framemd5;
    if (sums.empty() || sums == "-")
        return {};
    struct stat info {};
    if (::stat(sums.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return sums + " è una cartella: indica il file delle impronte";
    std::error_code error;
    if (sameFile(sums, video) || fs::weakly_canonical(sums, error) == fs::weakly_canonical(video, error))
        return "le impronte non si scrivono in " + sums + ", che è il video";
    const fs::path folder = fs::path(sums).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error))
        return "le impronte non si scrivono in " + sums + ": la cartella " + folder.string() + " non esiste";
    return {};
}

int runVerify(const Invocation& invocation)
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string video = invocation.items.front();
    if (const std::string refusal = hashesRefusal(invocation, video); !refusal.empty()) {
        say(refusal);
        return kExitFailed;
    }
    Invocation frameItems = invocation;
    frameItems.items.erase(frameItems.items.begin());  // the video is no frame
    const CollectedFrames collected = collectFrames(frameItems);
    if (!collected.listRead)
        return kExitFailed;
    if (collected.refused > 0) {
        say("nessuna verifica: " + std::to_string(collected.refused) + " file non si leggono come bitmap");
        return kExitFailed;
    }
    if (collected.frames.empty()) {
        say("nessuna verifica: nessun file BMP tra quelli indicati");
        return kExitFailed;
    }
    const StopSignals stop;
    return check(video, collected.frames, invocation, kExitMade, stop);
}

int checkAfterSave(const Invocation& invocation, const std::vector<std::string>& frames, int status,
                   const StopSignals& stop)
{
    // Only a whole video is checked: a failed or interrupted run has said what it left.
    if ((!invocation.verify && invocation.framemd5.empty()) || (status != kExitMade && status != kExitSubstituted))
        return status;
    return check(invocation.output, frames, invocation, status, stop);
}

}  // namespace kelvora::cli
