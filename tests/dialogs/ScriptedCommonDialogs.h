#pragma once

// Common dialogs that record each request (copied out during the call: the buffers die
// with the run) and answer as the user would, through a scripted function.

#include "platform/dialogs/CommonDialogs.h"

#include <QByteArray>

#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace kelvora::testing {

using platform::BOOL;
using platform::DWORD;
using platform::OPENFILENAMEA;

enum class DialogCall { Open, OpenPreview, Save };

struct RecordedRequest {
    DialogCall call{};
    OPENFILENAMEA record{};  // pointers in it are dead after the run; use the copies
    QByteArray filterList;   // up to and including the closing pair of NULs
    QByteArray file;         // all nMaxFile bytes
    QByteArray title;        // all nMaxFileTitle bytes
    std::optional<QByteArray> initialDir, dialogTitle, defaultExt;
};

class ScriptedCommonDialogs final : public platform::CommonDialogs {
public:
    // Answers every dialog call; by default the user cancels.
    std::function<BOOL(OPENFILENAMEA&)> answer = [](OPENFILENAMEA&) { return BOOL{0}; };
    std::vector<RecordedRequest> requests;
    short fileTitleResult = 0;

    BOOL GetOpenFileNameA(OPENFILENAMEA& ofn) override { return record(DialogCall::Open, ofn); }
    BOOL GetOpenFileNamePreviewA(OPENFILENAMEA& ofn) override { return record(DialogCall::OpenPreview, ofn); }
    BOOL GetSaveFileNameA(OPENFILENAMEA& ofn) override { return record(DialogCall::Save, ofn); }
    short GetFileTitleA(const char*, char* lpszTitle, platform::WORD cbBuf) override
    {
        if (fileTitleResult == 0 && cbBuf > 5) {
            std::memcpy(lpszTitle, "title", 6);
        }
        return fileTitleResult;
    }

    [[nodiscard]] const RecordedRequest& last() const { return requests.back(); }

private:
    static std::optional<QByteArray> text(const char* p)
    {
        return p == nullptr ? std::nullopt : std::optional<QByteArray>(QByteArray(p));
    }

    static QByteArray filterList(const char* p)
    {
        qsizetype n = 0;
        while (!(p[n] == '\0' && p[n + 1] == '\0')) {
            ++n;
        }
        return QByteArray(p, n + 2);
    }

    BOOL record(DialogCall call, OPENFILENAMEA& ofn)
    {
        RecordedRequest r{call, ofn, filterList(ofn.lpstrFilter),
                          QByteArray(ofn.lpstrFile, static_cast<qsizetype>(ofn.nMaxFile)),
                          QByteArray(ofn.lpstrFileTitle, static_cast<qsizetype>(ofn.nMaxFileTitle)),
                          text(ofn.lpstrInitialDir), text(ofn.lpstrTitle), text(ofn.lpstrDefExt)};
        requests.push_back(r);
        return answer(ofn);
    }
};

// The user picks path: it is written into the buffers as the dialog would.
inline BOOL writeChoice(OPENFILENAMEA& ofn, const QByteArray& path, const QByteArray& name)
{
    std::memcpy(ofn.lpstrFile, path.constData(), static_cast<std::size_t>(path.size()) + 1);
    std::memcpy(ofn.lpstrFileTitle, name.constData(), static_cast<std::size_t>(name.size()) + 1);
    return 1;
}

}  // namespace kelvora::testing
