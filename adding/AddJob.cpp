#include "adding/AddJob.h"
#include "platform/text/Counts.h"

namespace kelvora::adding {

namespace {

// One add's messages: each offers the check box; once it is ticked the rest are not shown.
class SilenceableMessages final : public platform::MessageBoxService {
public:
    explicit SilenceableMessages(platform::MessageBoxService& target) : m_target(target) {}

    void MsgBox(const std::string& text, int style, const std::string& title) override
    {
        if (!m_silenced)
            m_silenced = m_target.MsgBoxWithCheck(text, style, title, std::string(kSilenceText));
    }
    [[nodiscard]] bool silenced() const { return m_silenced; }

private:
    platform::MessageBoxService& m_target;
    bool m_silenced = false;
};

}  // namespace

AddOutcome AddJob::run(const QStringList& candidates, const FrameFormat& format, AddObserver& observer,
                       const std::atomic<bool>& cancel)
{
    qsizetype given = 0;
    const NextCandidate next = [&]() -> std::optional<QString> {
        if (given == candidates.size())
            return std::nullopt;
        return candidates[given++];
    };
    return run(next, static_cast<int>(candidates.size()), format, observer, cancel);
}

AddOutcome AddJob::run(const NextCandidate& next, int count, const FrameFormat& format, AddObserver& observer,
                       const std::atomic<bool>& cancel)
{
    AddOutcome& outcome = m_soFar.emplace();
    outcome.format = format;
    // A file added alone shows its box as it always has: there is nothing to silence.
    SilenceableMessages silenceable(m_messages);
    platform::MessageBoxService& messages =
        count == 1 ? m_messages : static_cast<platform::MessageBoxService&>(silenceable);
    // The outcome takes a format set by a frame only once that frame has reached the observer.
    FrameFormat working = format;
    FrameAdder adder(working, messages);
    if (m_anyFormat)
        adder.takeAnyFormat();
    for (int i = 0;; ++i) {
        const std::optional<QString> path = next();
        if (!path)
            break;
        if (cancel.load(std::memory_order_relaxed)) {
            outcome.cancelled = true;
            break;
        }
        observer.examining(i, count);
        switch (adder.admit(*path)) {
        case Admission::Added:
            observer.admitted(i, *path);
            ++outcome.added;
            outcome.format = working;
            outcome.enablesSave = true;
            break;
        case Admission::Mismatch:
            outcome.enablesSave = true;
            observer.leftOut(i, *path);
            break;
        case Admission::Refused:
            ++outcome.unreadable;
            break;
        case Admission::Unusable:
            ++outcome.unreadable;
            ++outcome.unusable;
            break;
        }
        outcome.examined = i + 1;
        outcome.mismatched = adder.mismatched();
        outcome.differing = adder.differing();
        outcome.byType = adder.mismatchedByType();
        outcome.silenced = silenceable.silenced();
    }
    return outcome;
}

QString addSummary(const AddOutcome& outcome)
{
    QStringList parts;
    if (outcome.cancelled) {
        parts << QStringLiteral("Aggiunta interrotta: ") + platform::countText(outcome.added, u"fotogramma aggiunto",
                                                                               u"fotogrammi aggiunti",
                                                                               platform::Digits::Grouped);
    }
    if (outcome.mismatched > 0)
        parts << skippedSummary(outcome.mismatched, outcome.format, outcome.byType);
    if (outcome.differing > 0)
        parts << platform::countText(outcome.differing, u"di un altro formato", u"di altri formati",
                                     platform::Digits::Grouped) +
                     QStringLiteral(": adattati alla misura del video");
    // Only when the boxes were silenced: otherwise the user has seen each file named. Files
    // that could not be read and bitmaps of a form players cannot use are told apart.
    const int unread = outcome.unreadable - outcome.unusable;
    if (outcome.silenced && unread > 0) {
        parts << platform::countText(unread, u"file non leggibile", u"file non leggibili", platform::Digits::Grouped);
    }
    if (outcome.silenced && outcome.unusable > 0) {
        parts << platform::countText(outcome.unusable, u"bitmap in un formato che i lettori video non leggono",
                                     u"bitmap in formati che i lettori video non leggono", platform::Digits::Grouped);
    }
    return parts.join(QStringLiteral(" · "));
}

}  // namespace kelvora::adding
