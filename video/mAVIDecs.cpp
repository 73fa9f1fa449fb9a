#include "video/mAVIDecs.h"

#include <algorithm>
#include <vector>

namespace kelvora::video {

HRESULT mAVIDecs::AVIStreamWriteSamples(PAVISTREAM pavi, LONG lStart, std::span<const AVISAMPLE> samples,
                                        LONG* plSampWritten)
{
    LONG written = 0;
    HRESULT hr = 0;
    std::vector<std::uint8_t> fromFile;
    for (const AVISAMPLE& sample : samples) {
        const void* bytes = sample.lpBuffer;
        if (sample.inFile.file) {
            // A sample left in its file is read here, zeros past what the file held when judged;
            // a file that holds less by now is not written as zeros.
            fromFile.assign(static_cast<std::size_t>(std::max<LONG>(sample.cbBuffer, 0)), 0);
            const auto stored = std::span(fromFile).first(std::min(sample.inFile.stored, fromFile.size()));
            if (sample.inFile.file->readExactlyAt(stored, sample.inFile.offset) != platform::ReadOutcome::Complete) {
                hr = avifile::AVIERR_FILEREAD;
                break;
            }
            bytes = fromFile.data();
        }
        hr = AVIStreamWrite(pavi, lStart + written, 1, bytes, sample.cbBuffer, sample.dwFlags, nullptr, nullptr);
        if (hr != 0)
            break;
        ++written;
    }
    if (plSampWritten)
        *plSampWritten = written;
    return hr;
}

namespace {

// Forwards every call to our AVI file library.
class SystemAVIDecs final : public mAVIDecs {
public:
    void AVIFileInit() override { avifile::AVIFileInit(); }
    void AVIFileExit() override { avifile::AVIFileExit(); }
    HRESULT AVIFileOpen(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler) override
    {
        return avifile::AVIFileOpenA(ppfile, szFile, uMode, lpHandler);
    }
    HRESULT AVIFileCreateStreamA(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi) override
    {
        return avifile::AVIFileCreateStreamA(pfile, ppavi, psi);
    }
    HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM psSource, const AVICOMPRESSOPTIONS* lpOptions,
                                    const CLSID* pclsidHandler) override
    {
        return avifile::AVIMakeCompressedStream(ppsCompressed, psSource, lpOptions, pclsidHandler);
    }
    HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat) override
    {
        return avifile::AVIStreamSetFormat(pavi, lPos, lpFormat, cbFormat);
    }
    HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                           DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten) override
    {
        return avifile::AVIStreamWrite(pavi, lStart, lSamples, lpBuffer, cbBuffer, dwFlags, plSampWritten,
                                       plBytesWritten);
    }
    HRESULT AVIStreamWriteSamples(PAVISTREAM pavi, LONG lStart, std::span<const AVISAMPLE> samples,
                                  LONG* plSampWritten) override
    {
        return avifile::AVIStreamWriteSamples(pavi, lStart, samples, plSampWritten);
    }
    ULONG AVIStreamRelease(PAVISTREAM pavi) override { return avifile::AVIStreamRelease(pavi); }
    ULONG AVIFileRelease(PAVIFILE pfile, HRESULT* phrFinish) override
    {
        return avifile::AVIFileRelease(pfile, phrFinish);
    }
    FOURCC mmioStringToFOURCCA(const char* sz, UINT uFlags) override
    {
        return avifile::mmioStringToFOURCCA(sz, uFlags);
    }
    BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom) override
    {
        return avifile::SetRect(lprc, xLeft, yTop, xRight, yBottom);
    }
};

}  // namespace

mAVIDecs& systemAVIDecs()
{
    static SystemAVIDecs library;
    return library;
}

}  // namespace kelvora::video
