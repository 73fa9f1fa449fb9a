#include "tests/support/video/RecordingAVIDecs.h"

#include "platform/avifile/AVIFile.h"

#include <algorithm>
#include <cstdint>

namespace kelvora::testsupport {

namespace {

std::string upToNul(const char* text) { return text ? std::string(text) : std::string(); }

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

void RecordingAVIDecs::record(std::string call) { calls.push_back(std::move(call)); }

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
    if (m_library)
        m_library->AVIFileInit();
}

void RecordingAVIDecs::AVIFileExit()
{
    ++exitCount;
    record("AVIFileExit()");
    if (m_library)
        m_library->AVIFileExit();
}

video::HRESULT RecordingAVIDecs::AVIFileOpen(video::PAVIFILE* ppfile, const char* szFile, video::UINT uMode,
                                             const video::CLSID* lpHandler)
{
    record("AVIFileOpen(" + upToNul(szFile) + "," + std::to_string(uMode) + "," + (lpHandler ? "handler" : "null") +
           ")");
    const video::HRESULT result = outcome("AVIFileOpen");
    if (result == 0 && m_library)
        return m_library->AVIFileOpen(ppfile, szFile, uMode, lpHandler);
    *ppfile = result == 0 ? fakeFile() : nullptr;
    return result;
}

video::HRESULT RecordingAVIDecs::AVIFileCreateStreamA(video::PAVIFILE pfile, video::PAVISTREAM* ppavi,
                                                      const video::AVISTREAMINFOA* psi)
{
    record("AVIFileCreateStreamA(" + handleName(pfile) + ")");
    streamInfo = *psi;
    const video::HRESULT result = outcome("AVIFileCreateStreamA");
    if (result == 0 && m_library)
        return m_library->AVIFileCreateStreamA(pfile, ppavi, psi);
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
    if (result == 0 && m_library)
        return m_library->AVIMakeCompressedStream(ppsCompressed, psSource, lpOptions, pclsidHandler);
    *ppsCompressed = result == 0 ? fakeCompressed() : nullptr;
    return result;
}

video::HRESULT RecordingAVIDecs::AVIStreamSetFormat(video::PAVISTREAM pavi, video::LONG lPos, const void* lpFormat,
                                                    video::LONG cbFormat)
{
    record("AVIStreamSetFormat(" + handleName(pavi) + "," + std::to_string(lPos) + "," + std::to_string(cbFormat) +
           ")");
    format.assign(static_cast<const char*>(lpFormat), static_cast<std::size_t>(cbFormat));
    const video::HRESULT result = outcome("AVIStreamSetFormat");
    if (result == 0 && m_library)
        return m_library->AVIStreamSetFormat(pavi, lPos, lpFormat, cbFormat);
    return result;
}

video::HRESULT RecordingAVIDecs::AVIStreamWrite(video::PAVISTREAM pavi, video::LONG lStart, video::LONG lSamples,
                                                const void* lpBuffer, video::LONG cbBuffer, video::DWORD dwFlags,
                                                video::LONG* plSampWritten, video::LONG* plBytesWritten)
{
    if (beforeWrite)
        beforeWrite(lStart);
    record("AVIStreamWrite(" + handleName(pavi) + "," + std::to_string(lStart) + "," + std::to_string(lSamples) + "," +
           std::to_string(cbBuffer) + "," + std::to_string(dwFlags) + "," + (plSampWritten ? "samples" : "null") + "," +
           (plBytesWritten ? "bytes" : "null") + ")");
    const video::HRESULT result = outcome("AVIStreamWrite");
    if (result != 0)
        return result;
    writtenData.emplace_back(static_cast<const char*>(lpBuffer), static_cast<std::size_t>(cbBuffer));
    if (m_library)
        return m_library->AVIStreamWrite(pavi, lStart, lSamples, lpBuffer, cbBuffer, dwFlags, plSampWritten,
                                         plBytesWritten);
    return 0;
}

video::ULONG RecordingAVIDecs::AVIStreamRelease(video::PAVISTREAM pavi)
{
    record("AVIStreamRelease(" + handleName(pavi) + ")");
    return m_library ? m_library->AVIStreamRelease(pavi) : 0;
}

video::ULONG RecordingAVIDecs::AVIFileRelease(video::PAVIFILE pfile, video::HRESULT* phrFinish)
{
    record("AVIFileRelease(" + handleName(pfile) + ")");
    if (m_library)
        return m_library->AVIFileRelease(pfile, phrFinish);
    if (phrFinish)
        *phrFinish = finishResult;
    return 0;
}

video::FOURCC RecordingAVIDecs::mmioStringToFOURCCA(const char* sz, video::UINT uFlags)
{
    record("mmioStringToFOURCCA(" + upToNul(sz) + "," + std::to_string(uFlags) + ")");
    // A pure function of its text: the library's own answers whether or not calls go through.
    return avifile::mmioStringToFOURCCA(sz, uFlags);
}

video::BOOL RecordingAVIDecs::SetRect(video::RECT* lprc, int xLeft, int yTop, int xRight, int yBottom)
{
    record("SetRect(" + std::to_string(xLeft) + "," + std::to_string(yTop) + "," + std::to_string(xRight) + "," +
           std::to_string(yBottom) + ")");
    if (m_library)
        return m_library->SetRect(lprc, xLeft, yTop, xRight, yBottom);
    *lprc = {xLeft, yTop, xRight, yBottom};
    return 1;
}

}  // namespace kelvora::testsupport
