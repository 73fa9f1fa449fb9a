#pragma once

// The video library as the tests see it: every call is recorded as text; the answers are
// fake handles, or the real library's when one is passed in. A call can be made to fail.

#include "video/mAVIDecs.h"

#include <functional>
#include <string>
#include <vector>

namespace kelvora::testsupport {

class RecordingAVIDecs final : public video::mAVIDecs {
public:
    RecordingAVIDecs() = default;
    // Calls that are not made to fail go on to `library` (which outlives this object).
    explicit RecordingAVIDecs(video::mAVIDecs& library) : m_library(&library) {}

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

    std::vector<std::string> calls;        // e.g. "AVIFileOpen(/tmp/x.avi,4097)"
    std::vector<std::string> writtenData;  // each sample's bytes, in write order
    std::string format;                    // the format block set on the stream
    video::AVISTREAMINFOA streamInfo{};    // the description given to AVIFileCreateStreamA
    int initCount = 0;
    int exitCount = 0;
    // The name of the call that fails ("AVIStreamWrite" ...), and from which occurrence on (0-based).
    std::string failAt;
    int failOccurrence = 0;
    video::HRESULT failWith = avifile::AVIERR_FILEWRITE;
    video::HRESULT finishResult = 0;  // what the file's last release reports (fake handles only)
    // Runs on the caller's thread before sample lStart is written.
    std::function<void(video::LONG lStart)> beforeWrite;

    [[nodiscard]] std::vector<std::string> namesOnly() const;

private:
    video::HRESULT outcome(const std::string& name);
    void record(std::string call);
    std::vector<std::string> m_seen;
    video::mAVIDecs* m_library = nullptr;  // not owned
};

}  // namespace kelvora::testsupport
