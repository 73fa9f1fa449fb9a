#include "tests/support/app/ScriptedServices.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace kelvora::testing {

namespace {

std::string upToNul(const char* text) { return text ? std::string(text) : std::string(); }

std::string filterList(const char* filter)
{
    if (!filter)
        return {};
    // The list ends at the first pair of NULs.
    std::size_t n = 0;
    while (filter[n] != '\0' || filter[n + 1] != '\0')
        ++n;
    return std::string(filter, n + 2);
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

platform::BOOL ScriptedDialogs::GetOpenFileNameA(platform::OPENFILENAMEA& ofn)
{
    return run(DialogRequest::Kind::Open, ofn);
}

platform::BOOL ScriptedDialogs::GetOpenFileNamePreviewA(platform::OPENFILENAMEA& ofn)
{
    return run(DialogRequest::Kind::OpenPreview, ofn);
}

platform::BOOL ScriptedDialogs::GetSaveFileNameA(platform::OPENFILENAMEA& ofn)
{
    return run(DialogRequest::Kind::Save, ofn);
}

short ScriptedDialogs::GetFileTitleA(const char* lpszFile, char* lpszTitle, platform::WORD cbBuf)
{
    const std::string path = upToNul(lpszFile);
    if (path.empty() || path.back() == '/')
        return -1;
    copyInto(lpszTitle, cbBuf, std::filesystem::path(path).filename().string());
    return 0;
}

platform::BOOL ScriptedDialogs::run(DialogRequest::Kind kind, platform::OPENFILENAMEA& ofn)
{
    requests.push_back({kind, ofn.hwndOwner, filterList(ofn.lpstrFilter), upToNul(ofn.lpstrFile),
                        upToNul(ofn.lpstrInitialDir), upToNul(ofn.lpstrTitle), upToNul(ofn.lpstrDefExt), ofn.Flags,
                        ofn.nFilterIndex});
    if (answers.empty())
        return 0;
    const DialogAnswer answer = answers.front();
    answers.pop_front();
    if (!answer.confirm)
        return 0;
    copyInto(ofn.lpstrFile, ofn.nMaxFile, answer.path);
    const std::filesystem::path chosen(answer.path);
    copyInto(ofn.lpstrFileTitle, ofn.nMaxFileTitle, chosen.filename().string());
    ofn.nFilterIndex = answer.filterIndex;
    if (kind != DialogRequest::Kind::Save && changeDirectory && !(ofn.Flags & platform::OFN_NOCHANGEDIR)) {
        std::error_code ignored;
        std::filesystem::current_path(chosen.parent_path(), ignored);
    }
    return 1;
}

// --- RecordingAVIDecs ---------------------------------------------------------------------

namespace {
// Distinct, recognisable fake handles; never dereferenced.
video::PAVIFILE fakeFile() { return reinterpret_cast<video::PAVIFILE>(std::uintptr_t{0xF11E}); }
video::PAVISTREAM fakeStream() { return reinterpret_cast<video::PAVISTREAM>(std::uintptr_t{0x57AE}); }
video::PAVISTREAM fakeCompressed() { return reinterpret_cast<video::PAVISTREAM>(std::uintptr_t{0xC0DE}); }

std::string handleName(const void* handle)
{
    if (handle == fakeFile())
        return "file";
    if (handle == fakeStream())
        return "stream";
    if (handle == fakeCompressed())
        return "compressed";
    return handle ? "unknown" : "null";
}
}  // namespace

video::HRESULT RecordingAVIDecs::outcome(const std::string& name)
{
    m_seen.push_back(name);
    const auto occurrence = std::count(m_seen.begin(), m_seen.end(), name) - 1;
    return name == failAt && occurrence >= failOccurrence ? failWith : 0;
}

void RecordingAVIDecs::record(std::string call)
{
    if (onCall)
        onCall(call.substr(0, call.find('(')));
    calls.push_back(std::move(call));
}

std::vector<std::string> RecordingAVIDecs::namesOnly() const
{
    std::vector<std::string> names;
    for (const std::string& call : calls)
        names.push_back(call.substr(0, call.find('(')));
    return names;
}

void RecordingAVIDecs::AVIFileInit()
{
    ++initCount;
    record("AVIFileInit()");
}

void RecordingAVIDecs::AVIFileExit()
{
    ++exitCount;
    record("AVIFileExit()");
}

video::HRESULT RecordingAVIDecs::AVIFileOpen(video::PAVIFILE* ppfile, const char* szFile, video::UINT uMode,
                                             const video::CLSID* lpHandler)
{
    record("AVIFileOpen(" + upToNul(szFile) + "," + std::to_string(uMode) + "," +
                    (lpHandler ? "handler" : "null") + ")");
    const video::HRESULT result = outcome("AVIFileOpen");
    *ppfile = result == 0 ? fakeFile() : nullptr;
    return result;
}

video::HRESULT RecordingAVIDecs::AVIFileCreateStreamA(video::PAVIFILE pfile, video::PAVISTREAM* ppavi,
                                                      const video::AVISTREAMINFOA* psi)
{
    record("AVIFileCreateStreamA(" + handleName(pfile) + ")");
    streamInfo = *psi;
    const video::HRESULT result = outcome("AVIFileCreateStreamA");
    *ppavi = result == 0 ? fakeStream() : nullptr;
    return result;
}

video::HRESULT RecordingAVIDecs::AVIMakeCompressedStream(video::PAVISTREAM* ppsCompressed, video::PAVISTREAM psSource,
                                                         const video::AVICOMPRESSOPTIONS* lpOptions,
                                                         const video::CLSID* pclsidHandler)
{
    const bool allZero = lpOptions && lpOptions->fccType == 0 && lpOptions->fccHandler == 0 &&
                         lpOptions->dwKeyFrameEvery == 0 && lpOptions->dwQuality == 0 &&
                         lpOptions->dwBytesPerSecond == 0 && lpOptions->dwFlags == 0 && !lpOptions->lpFormat &&
                         lpOptions->cbFormat == 0 && !lpOptions->lpParms && lpOptions->cbParms == 0 &&
                         lpOptions->dwInterleaveEvery == 0;
    record("AVIMakeCompressedStream(" + handleName(psSource) + "," + (allZero ? "zero" : "options") + "," +
                    (pclsidHandler ? "handler" : "null") + ")");
    const video::HRESULT result = outcome("AVIMakeCompressedStream");
    *ppsCompressed = result == 0 ? fakeCompressed() : nullptr;
    return result;
}

video::HRESULT RecordingAVIDecs::AVIStreamSetFormat(video::PAVISTREAM pavi, video::LONG lPos, const void* lpFormat,
                                                    video::LONG cbFormat)
{
    record("AVIStreamSetFormat(" + handleName(pavi) + "," + std::to_string(lPos) + "," +
                    std::to_string(cbFormat) + ")");
    format.assign(static_cast<const char*>(lpFormat), static_cast<std::size_t>(cbFormat));
    return outcome("AVIStreamSetFormat");
}

video::HRESULT RecordingAVIDecs::AVIStreamWrite(video::PAVISTREAM pavi, video::LONG lStart, video::LONG lSamples,
                                                const void* lpBuffer, video::LONG cbBuffer, video::DWORD dwFlags,
                                                video::LONG* plSampWritten, video::LONG* plBytesWritten)
{
    record("AVIStreamWrite(" + handleName(pavi) + "," + std::to_string(lStart) + "," +
                    std::to_string(lSamples) + "," + std::to_string(cbBuffer) + "," + std::to_string(dwFlags) + "," +
                    (plSampWritten ? "samples" : "null") + "," + (plBytesWritten ? "bytes" : "null") + ")");
    const video::HRESULT result = outcome("AVIStreamWrite");
    if (result == 0)
        writtenData.emplace_back(static_cast<const char*>(lpBuffer), static_cast<std::size_t>(cbBuffer));
    return result;
}

video::ULONG RecordingAVIDecs::AVIStreamRelease(video::PAVISTREAM pavi)
{
    record("AVIStreamRelease(" + handleName(pavi) + ")");
    return 0;
}

video::ULONG RecordingAVIDecs::AVIFileRelease(video::PAVIFILE pfile, video::HRESULT* phrFinish)
{
    record("AVIFileRelease(" + handleName(pfile) + ")");
    if (phrFinish)
        *phrFinish = finishResult;
    return 0;
}

video::FOURCC RecordingAVIDecs::mmioStringToFOURCCA(const char* sz, video::UINT uFlags)
{
    record("mmioStringToFOURCCA(" + upToNul(sz) + "," + std::to_string(uFlags) + ")");
    video::FOURCC code = 0;
    for (int i = 0; i < 4; ++i)
        code |= static_cast<video::FOURCC>(static_cast<unsigned char>(sz[i])) << (8 * i);
    return code;
}

video::BOOL RecordingAVIDecs::SetRect(video::RECT* lprc, int xLeft, int yTop, int xRight, int yBottom)
{
    record("SetRect(" + std::to_string(xLeft) + "," + std::to_string(yTop) + "," + std::to_string(xRight) +
                    "," + std::to_string(yBottom) + ")");
    *lprc = {xLeft, yTop, xRight, yBottom};
    return 1;
}

}  // namespace kelvora::testing
