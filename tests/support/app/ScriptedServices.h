#pragma once

// Stand-ins for the window's modal services and the video library: they record what the
// window asks of them and answer as a scripted user (or library) would.

#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/MessageBox.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"
#include "video/mAVIDecs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kelvora::testing {

// What a dialog was asked, copied out of the request while it was open.
struct DialogRequest {
    enum class Kind { Open, OpenPreview, Save } kind = Kind::Open;
    platform::HWND hwndOwner = 0;
    std::string filter;  // the whole filter list, NULs included
    std::string file;    // the proposed name (file buffer up to its first NUL)
    std::string initialDir;
    std::string title;
    std::string defExt;
    platform::DWORD flags = 0;
    platform::DWORD filterIndex = 0;
};

// The user's answer: confirm with a path (and optionally a filter index), or cancel.
struct DialogAnswer {
    bool confirm = false;
    std::string path;
    platform::DWORD filterIndex = 1;
    static DialogAnswer cancel() { return {}; }
    static DialogAnswer choose(std::string path, platform::DWORD filterIndex = 1)
    {
        return {true, std::move(path), filterIndex};
    }
};

class ScriptedDialogs final : public platform::CommonDialogs {
public:
    platform::BOOL GetOpenFileNameA(platform::OPENFILENAMEA& ofn) override;
    platform::BOOL GetOpenFileNamePreviewA(platform::OPENFILENAMEA& ofn) override;
    platform::BOOL GetSaveFileNameA(platform::OPENFILENAMEA& ofn) override;
    short GetFileTitleA(const char* lpszFile, char* lpszTitle, platform::WORD cbBuf) override;

    std::deque<DialogAnswer> answers;  // one per dialog, in order; an empty queue cancels
    std::vector<DialogRequest> requests;
    // Confirmed open dialogs move the current folder to the chosen file's, as the real ones do.
    bool changeDirectory = true;

private:
    platform::BOOL run(DialogRequest::Kind kind, platform::OPENFILENAMEA& ofn);
};

// Records every call to the video library as text and hands out fake handles; a call
// can be made to fail with failAt.
class RecordingAVIDecs final : public video::mAVIDecs {
public:
    void AVIFileInit() override;
    void AVIFileExit() override;
    video::HRESULT AVIFileOpen(video::PAVIFILE* ppfile, const char* szFile, video::UINT uMode,
                               const video::CLSID* lpHandler) override;
    video::HRESULT AVIFileCreateStreamA(video::PAVIFILE pfile, video::PAVISTREAM* ppavi,
                                        const video::AVISTREAMINFOA* psi) override;
    video::HRESULT AVIMakeCompressedStream(video::PAVISTREAM* ppsCompressed, video::PAVISTREAM psSource,
                                           const video::AVICOMPRESSOPTIONS* lpOptions,
                                           const video::CLSID* pclsidHandler) override;
    video::HRESULT AVIStreamSetFormat(video::PAVISTREAM pavi, video::LONG lPos, const void* lpFormat,
                                      video::LONG cbFormat) override;
    video::HRESULT AVIStreamWrite(video::PAVISTREAM pavi, video::LONG lStart, video::LONG lSamples,
                                  const void* lpBuffer, video::LONG cbBuffer, video::DWORD dwFlags,
                                  video::LONG* plSampWritten, video::LONG* plBytesWritten) override;
    video::ULONG AVIStreamRelease(video::PAVISTREAM pavi) override;
    video::ULONG AVIFileRelease(video::PAVIFILE pfile, video::HRESULT* phrFinish) override;
    video::FOURCC mmioStringToFOURCCA(const char* sz, video::UINT uFlags) override;
    video::BOOL SetRect(video::RECT* lprc, int xLeft, int yTop, int xRight, int yBottom) override;

    std::vector<std::string> calls;         // e.g. "AVIFileOpen(/tmp/x.avi,4097)"
    std::vector<std::string> writtenData;   // each sample's bytes, in write order
    std::string format;                     // the format block set on the stream
    video::AVISTREAMINFOA streamInfo{};     // the description given to AVIFileCreateStreamA
    int initCount = 0;
    int exitCount = 0;
    // The name of the call that fails ("AVIStreamWrite" ...), and from which occurrence on (0-based).
    std::string failAt;
    int failOccurrence = 0;
    video::HRESULT failWith = avifile::AVIERR_FILEWRITE;
    video::HRESULT finishResult = 0;  // what the file's last release reports
    std::function<void(const std::string& name)> onCall;  // runs at the start of every call

    [[nodiscard]] std::vector<std::string> namesOnly() const;

private:
    video::HRESULT outcome(const std::string& name);
    void record(std::string call);
    std::vector<std::string> m_seen;
};

}  // namespace kelvora::testing
