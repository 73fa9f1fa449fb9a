// Placeholder bodies until the RIFF writer lands; every call reports "unsupported".
#include "platform/avifile/AVIFile.h"

namespace kelvora::avifile {

HRESULT AVIFileOpenA(PAVIFILE*, const char*, UINT, const CLSID*) { return AVIERR_UNSUPPORTED; }
HRESULT AVIFileCreateStreamA(PAVIFILE, PAVISTREAM*, const AVISTREAMINFOA*) { return AVIERR_UNSUPPORTED; }
HRESULT AVIMakeCompressedStream(PAVISTREAM*, PAVISTREAM, const AVICOMPRESSOPTIONS*, const CLSID*)
{
    return AVIERR_UNSUPPORTED;
}
HRESULT AVIStreamSetFormat(PAVISTREAM, LONG, const void*, LONG) { return AVIERR_UNSUPPORTED; }
HRESULT AVIStreamWrite(PAVISTREAM, LONG, LONG, const void*, LONG, DWORD, LONG*, LONG*) { return AVIERR_UNSUPPORTED; }
ULONG AVIStreamRelease(PAVISTREAM) { return 0; }
ULONG AVIFileRelease(PAVIFILE, HRESULT* phrFinish)
{
    if (phrFinish)
        *phrFinish = AVIERR_OK;
    return 0;
}
FOURCC mmioStringToFOURCCA(const char*, UINT) { return 0; }
BOOL SetRect(RECT*, int, int, int, int) { return 0; }

}  // namespace kelvora::avifile
