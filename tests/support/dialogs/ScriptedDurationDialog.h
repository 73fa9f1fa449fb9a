#pragma once

// "Durata…" answered as a scripted user: each answer in turn (none: cancel), recording what
// the input started from and for how many frames it was asked.

#include "dialogs/DurationDialog.h"

#include <deque>
#include <utility>
#include <vector>

namespace kelvora::testsupport {

class ScriptedDurationDialog final : public dialogs::DurationDialog {
public:
    std::optional<QString> askDuration(const QString& start, int frames, std::int32_t /*ownerHandle*/) override
    {
        asked.emplace_back(start, frames);
        if (answers.empty())
            return std::nullopt;
        const bool confirmed = answers.front().has_value();
        const QString text = confirmed ? *answers.front() : QString();
        answers.pop_front();
        return confirmed ? std::optional<QString>(text) : std::nullopt;
    }
    std::deque<std::optional<QString>> answers;
    std::vector<std::pair<QString, int>> asked;  // the start text and the frames, each time
};

}  // namespace kelvora::testsupport
