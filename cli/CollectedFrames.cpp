#include "cli/CollectedFrames.h"

#include "adding/AddJob.h"
#include "cli/BatchCandidates.h"
#include "cli/InputPaths.h"
#include "cli/Messages.h"
#include "platform/text/PathNames.h"

#include <atomic>
#include <optional>
#include <string>
#include <utility>

namespace kelvora::cli {

namespace {

// Keeps the admitted frames' paths and names each one left out for its format.
class CollectedPaths final : public adding::AddObserver {
public:
    explicit CollectedPaths(const BatchCandidates& candidates) : m_candidates(candidates) {}

    void admitted(int, const QString&) override { frames.push_back(m_candidates.current()); }
    void leftOut(int, const QString&) override
    {
        say("escluso " + m_candidates.current() + ": non ha il formato del primo fotogramma");
    }

    std::vector<std::string> frames;

private:
    const BatchCandidates& m_candidates;
};

}  // namespace

CollectedFrames collectFrames(const Invocation& invocation)
{
    CollectedFrames collected;
    ListInput list(invocation.list, invocation.nullSeparated);
    if (list.openError() != 0) {
        say("l'elenco " + invocation.list + " non si legge: " + systemReason(list.openError()));
        collected.listRead = false;
        return collected;
    }
    // Frames of any format where the save fits them into one size, as the save takes them.
    const bool anyFormat = invocation.codec != codec::Codec::Raw || !invocation.framing.size.original();
    BatchCandidates candidates(invocation.items, list.paths(), !invocation.framing.size.original());
    CandidateMessages messages(candidates);
    CollectedPaths frames(candidates);
    const std::atomic<bool> never{false};
    adding::AddJob job(messages);
    if (anyFormat)
        job.takeAnyFormat();
    const adding::AddOutcome outcome = job.run(
        [&candidates]() -> std::optional<QString> {
            const std::optional<std::string> path = candidates.next();
            return path ? std::optional(platform::pathFromNative(*path)) : std::nullopt;
        },
        -1, {}, frames, never);
    if (outcome.mismatched > 0)
        say(adding::skippedSummary(outcome.mismatched, outcome.format).toStdString());
    for (const std::string& line : candidates.gapLines)
        say(line);
    if (const std::string problem = list.paths() ? list.paths()->problem() : std::string(); !problem.empty()) {
        say("l'elenco " + invocation.list + ": " + problem);
        collected.listRead = false;
    }
    collected.frames = std::move(frames.frames);
    collected.refused = outcome.unreadable;
    collected.leftOut = outcome.mismatched;
    return collected;
}

}  // namespace kelvora::cli
