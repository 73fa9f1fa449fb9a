#pragma once

// "Durata…": the small input that asks how long the selected frames last. The window asks
// through this interface, so tests answer as a scripted user would.

#include <QString>

#include <cstdint>
#include <optional>

namespace kelvora::dialogs {

class DurationDialog {
public:
    virtual ~DurationDialog() = default;
    // The text the user confirmed, the input showing `start` at first; nothing when the user
    // cancels. `frames`: how many frames the duration is for. `ownerHandle`: the window it
    // belongs to.
    [[nodiscard]] virtual std::optional<QString> askDuration(const QString& start, int frames,
                                                             std::int32_t ownerHandle) = 0;
};

// The input on Qt's widgets.
[[nodiscard]] DurationDialog& systemDurationDialog();

}  // namespace kelvora::dialogs
