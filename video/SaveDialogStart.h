#pragma once

#include <QString>
#include <cstdint>

namespace kelvora::video {

// Where the save dialog starts: the folder and the type (the filter's 1-based index) of the
// last save chosen in this run; empty and the first type before any.
struct SaveDialogStart {
    QString folder;
    std::int32_t filterIndex = 1;
};

}  // namespace kelvora::video
