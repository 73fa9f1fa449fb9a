#pragma once

// Common dialogs that record each request and answer as a scripted user would. The
// request's buffers die with the run, so everything is copied out during the call.

#include "platform/dialogs/CommonDialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::testsupport {

// What one dialog was asked.
struct DialogRequest {
    platform::FileDialogKind kind = platform::FileDialogKind::Open;
    platform::OPENFILENAMEA record{};  // as passed: its pointers are dead after the run; use the copies
    std::string filterList;            // up to and including the closing pair of NULs
    std::string fileBuffer;            // all nMaxFile bytes
    std::string fileTitleBuffer;       // all nMaxFileTitle bytes
    std::optional<std::string> initialDir, dialogTitle, defaultExt;  // absent for a null pointer

    // The proposed file name: the file buffer up to its first NUL.
    [[nodiscard]] std::string file() const;
};

// The user's answer to one dialog: fills the record as the dialog would and returns the
// dialog's result (0 for cancel).
struct DialogAnswer {
    std::function<platform::BOOL(platform::OPENFILENAMEA&)> fill;

    // Confirms path (its last name goes to the title buffer) with the given filter.
    [[nodiscard]] static DialogAnswer choose(std::string path, platform::DWORD filterIndex = 1);
    [[nodiscard]] static DialogAnswer cancel();
};

class ScriptedCommonDialogs final : public platform::CommonDialogs {
public:
    platform::BOOL GetOpenFileNameA(platform::OPENFILENAMEA& ofn) override;
    platform::BOOL GetOpenFileNamePreviewA(platform::OPENFILENAMEA& ofn) override;
    platform::BOOL GetSaveFileNameA(platform::OPENFILENAMEA& ofn) override;
    // The path's last name, or -1 for an empty path or one ending in '/'.
    short GetFileTitleA(const char* lpszFile, char* lpszTitle, platform::WORD cbBuf) override;

    [[nodiscard]] const DialogRequest& last() const { return requests.back(); }

    std::deque<DialogAnswer> answers;  // one per dialog, in order; an empty queue cancels
    std::vector<DialogRequest> requests;

private:
    platform::BOOL run(platform::FileDialogKind kind, platform::OPENFILENAMEA& ofn);
};

}  // namespace kelvora::testsupport
