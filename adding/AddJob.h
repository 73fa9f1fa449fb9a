#pragma once

// One adding with no window: candidates in, admitted paths, counts and messages out. The
// window runs it on a worker beside its event loop; the command line runs it as it is.
// QtCore only; safe on any thread (it touches nothing but its arguments).

#include "adding/FrameAdder.h"
#include "platform/msgbox/MessageBox.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

namespace kelvora::adding {

// The text of the check box that silences the rest of an add's messages.
inline constexpr std::string_view kSilenceText = "Non mostrare altri messaggi per questa aggiunta";

// What an add reports while it runs, on the job's thread, in candidate order.
class AddObserver {
public:
    virtual ~AddObserver() = default;
    // Candidate index is about to be examined; `candidates` of them in all (-1 when the
    // candidates come from a stream whose length is not known).
    virtual void examining(int index, int candidates)
    {
        (void)index;
        (void)candidates;
    }
    // The frame belongs at the end of the list.
    virtual void admitted(int index, const QString& path) = 0;
    // A sound frame of another format, left out without a message.
    virtual void leftOut(int index, const QString& path)
    {
        (void)index;
        (void)path;
    }
};

// The observer for a caller that wants the admitted paths as one list (the command line).
class AdmittedPaths final : public AddObserver {
public:
    void admitted(int, const QString& path) override { paths << path; }
    QStringList paths;
};

struct AddOutcome {
    FrameFormat format;     // the frame format after the add (set by its first frame if none was)
    int examined = 0;       // candidates examined: all of them unless cancelled
    int added = 0;          // admitted to the list
    int mismatched = 0;     // left out for their format
    int differing = 0;      // admitted though of another format (every format taken in)
    TypeMismatches byType;  // of those, the ones of another type
    int unreadable = 0;     // refused, for either reason: not readable at all, or not usable
    int unusable = 0;       // of those, bitmaps players cannot use as stored (the rest could not be read)
    bool silenced = false;  // the user asked to see no more messages for this add
    bool cancelled = false;
    // Some candidate was a loadable bitmap (admitted or left out): the save becomes possible.
    bool enablesSave = false;
};

// Candidates one at a time, in order: the next one, or nothing once all have been given.
using NextCandidate = std::function<std::optional<QString>()>;

class AddJob {
public:
    // `messages` shows each refused file's message (from the job's thread).
    explicit AddJob(platform::MessageBoxService& messages) : m_messages(messages) {}

    // Examines the candidates in order against `format`; stops before the next candidate
    // once `cancel` is set. With more than one candidate, each message offers the check box
    // that silences the rest; the files refused after that are only counted.
    [[nodiscard]] AddOutcome run(const QStringList& candidates, const FrameFormat& format, AddObserver& observer,
                                 const std::atomic<bool>& cancel);
    // The same over candidates given one at a time: `count` of them, or -1 when that is not
    // known (a list read from a pipe).
    [[nodiscard]] AddOutcome run(const NextCandidate& next, int count, const FrameFormat& format, AddObserver& observer,
                                 const std::atomic<bool>& cancel);
    // Once a run has started: where it stands, also after an exception (out of memory) left
    // it. Its format is that of the frames handed to the observer as admitted, so a caller
    // that keeps those frames keeps a format that matches them.
    [[nodiscard]] const std::optional<AddOutcome>& soFar() const { return m_soFar; }
    // Frames of any size and depth are admitted (a save that fits them into one size).
    void takeAnyFormat() { m_anyFormat = true; }

private:
    platform::MessageBoxService& m_messages;
    bool m_anyFormat = false;
    std::optional<AddOutcome> m_soFar;
};

// The status line after an add: how many were left out for their format, how many could not
// be read and how many are bitmaps players cannot use when their messages were silenced, and,
// for a stopped add, how many came in.
// Empty when there is nothing to say.
[[nodiscard]] QString addSummary(const AddOutcome& outcome);

}  // namespace kelvora::adding
