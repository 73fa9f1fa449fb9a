#include "tests/support/dialogs/ScriptedCommonDialogs.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace kelvora::testsupport {

namespace {

std::optional<std::string> text(const char* p) { return p ? std::optional<std::string>(p) : std::nullopt; }

std::string filterList(const char* filter)
{
    if (!filter)
        return {};
    std::size_t n = 0;
    while (filter[n] != '\0' || filter[n + 1] != '\0')
        ++n;
    return std::string(filter, n + 2);
}

std::string wholeBuffer(const char* buffer, platform::DWORD size)
{
    return buffer ? std::string(buffer, size) : std::string();
}

void copyInto(char* buffer, platform::DWORD capacity, const std::string& text)
{
    if (!buffer || capacity == 0)
        return;
    const std::size_t n = std::min<std::size_t>(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

std::string DialogRequest::file() const { return fileBuffer.substr(0, fileBuffer.find('\0')); }

DialogAnswer DialogAnswer::choose(std::string path, platform::DWORD filterIndex)
{
    return {[path = std::move(path), filterIndex](platform::OPENFILENAMEA& ofn) {
        copyInto(ofn.lpstrFile, ofn.nMaxFile, path);
        copyInto(ofn.lpstrFileTitle, ofn.nMaxFileTitle, std::filesystem::path(path).filename().string());
        ofn.nFilterIndex = filterIndex;
        return platform::BOOL{1};
    }};
}

DialogAnswer DialogAnswer::cancel()
{
    return {[](platform::OPENFILENAMEA&) { return platform::BOOL{0}; }};
}

platform::BOOL ScriptedCommonDialogs::GetOpenFileNameA(platform::OPENFILENAMEA& ofn)
{
    return run(platform::FileDialogKind::Open, ofn);
}

platform::BOOL ScriptedCommonDialogs::GetOpenFileNamePreviewA(platform::OPENFILENAMEA& ofn)
{
    return run(platform::FileDialogKind::OpenWithPreview, ofn);
}

platform::BOOL ScriptedCommonDialogs::GetSaveFileNameA(platform::OPENFILENAMEA& ofn)
{
    return run(platform::FileDialogKind::Save, ofn);
}

short ScriptedCommonDialogs::GetFileTitleA(const char* lpszFile, char* lpszTitle, platform::WORD cbBuf)
{
    const std::string path = lpszFile ? lpszFile : "";
    if (path.empty() || path.back() == '/')
        return -1;
    copyInto(lpszTitle, cbBuf, std::filesystem::path(path).filename().string());
    return 0;
}

platform::BOOL ScriptedCommonDialogs::run(platform::FileDialogKind kind, platform::OPENFILENAMEA& ofn)
{
    requests.push_back({kind, ofn, filterList(ofn.lpstrFilter), wholeBuffer(ofn.lpstrFile, ofn.nMaxFile),
                        wholeBuffer(ofn.lpstrFileTitle, ofn.nMaxFileTitle), text(ofn.lpstrInitialDir),
                        text(ofn.lpstrTitle), text(ofn.lpstrDefExt)});
    if (answers.empty())
        return 0;
    const DialogAnswer answer = std::move(answers.front());
    answers.pop_front();
    const platform::BOOL result = answer.fill(ofn);
    if (result == 0)
        return 0;
    // A confirmed open dialog moves the current folder to the chosen file's, as the real ones do.
    if (kind != platform::FileDialogKind::Save && !(ofn.Flags & platform::OFN_NOCHANGEDIR)) {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::path(ofn.lpstrFile).parent_path(), ignored);
    }
    return result;
}

}  // namespace kelvora::testsupport
