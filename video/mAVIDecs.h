#pragma once

// The declarations of the video-file library the application calls. The window and the
// AVI writer go through this interface, so tests can put a recording stand-in in place
// of the real library (platform/avifile).

#include "platform/avifile/AVIFile.h"

namespace kelvora::video {

using avifile::AVICOMPRESSOPTIONS;
using avifile::AVISAMPLE;
using avifile::AVISTREAMINFOA;
using avifile::BOOL;
using avifile::CLSID;
using avifile::DWORD;
using avifile::FOURCC;
using avifile::HRESULT;
using avifile::LONG;
using avifile::PAVIFILE;
using avifile::PAVISTREAM;
using avifile::RECT;
using avifile::UINT;
using avifile::ULONG;

using avifile::AVIIF_KEYFRAME;
using avifile::OF_CREATE;
using avifile::OF_WRITE;

class mAVIDecs {
public:
    virtual ~mAVIDecs() = default;

    virtual void AVIFileInit() = 0;
    virtual void AVIFileExit() = 0;
    [[nodiscard]] virtual HRESULT AVIFileOpen(PAVIFILE* ppfile, const char* szFile, UINT uMode,
                                              const CLSID* lpHandler) = 0;
    [[nodiscard]] virtual HRESULT AVIFileCreateStreamA(PAVIFILE pfile, PAVISTREAM* ppavi,
                                                       const AVISTREAMINFOA* psi) = 0;
    [[nodiscard]] virtual HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM psSource,
                                                          const AVICOMPRESSOPTIONS* lpOptions,
                                                          const CLSID* pclsidHandler) = 0;
    [[nodiscard]] virtual HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat,
                                                     LONG cbFormat) = 0;
    [[nodiscard]] virtual HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer,
                                                 LONG cbBuffer, DWORD dwFlags, LONG* plSampWritten,
                                                 LONG* plBytesWritten) = 0;
    // See avifile::AVIStreamWriteSamples. A library without it writes the samples one by one.
    [[nodiscard]] virtual HRESULT AVIStreamWriteSamples(PAVISTREAM pavi, LONG lStart,
                                                        std::span<const AVISAMPLE> samples, LONG* plSampWritten);
    virtual ULONG AVIStreamRelease(PAVISTREAM pavi) = 0;
    // phrFinish: see avifile::AVIFileRelease.
    virtual ULONG AVIFileRelease(PAVIFILE pfile, HRESULT* phrFinish) = 0;
    [[nodiscard]] virtual FOURCC mmioStringToFOURCCA(const char* sz, UINT uFlags) = 0;
    virtual BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom) = 0;
};

// The real library, for the application.
mAVIDecs& systemAVIDecs();

}  // namespace kelvora::video
