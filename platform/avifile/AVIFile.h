#pragma once

// Our AVI file library: the functions, records and constants of the platform's AVIFile
// interface, under their published names, writing RIFF AVI files (OpenDML beyond the first
// RIFF) of one video stream and, where one is made after it, one PCM audio stream ('auds',
// its format a WAVEFORMATEX; AVIStreamWrite takes lSamples blocks as one chunk, and
// AVIStreamWriteSamples one chunk a sample). Chunks go into the file in the order they are
// written: the caller interleaves the streams. Standard library and POSIX only.

#include <cstdint>
#include <span>

#include "platform/filesystem/File.h"
#include "platform/types/PlatformTypes.h"

namespace kelvora::avifile {

using platform::BOOL;
using platform::DWORD;
using platform::FOURCC;
using platform::HRESULT;
using platform::LONG;
using platform::UINT;
using platform::ULONG;
using platform::WORD;
struct CLSID;  // handler classes are never used: callers pass nullptr

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// The in-memory stream description (narrow-text form). Not the on-disk 'strh' layout.
struct AVISTREAMINFOA {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwFlags = 0;
    DWORD dwCaps = 0;
    WORD wPriority = 0;
    WORD wLanguage = 0;
    DWORD dwScale = 0;
    DWORD dwRate = 0;
    DWORD dwStart = 0;
    DWORD dwLength = 0;
    DWORD dwInitialFrames = 0;
    DWORD dwSuggestedBufferSize = 0;
    DWORD dwQuality = 0;
    DWORD dwSampleSize = 0;
    RECT rcFrame;
    DWORD dwEditCount = 0;
    DWORD dwFormatChangeCount = 0;
    char szName[64] = {};
};

struct AVICOMPRESSOPTIONS {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwKeyFrameEvery = 0;
    DWORD dwQuality = 0;
    DWORD dwBytesPerSecond = 0;
    DWORD dwFlags = 0;
    void* lpFormat = nullptr;
    DWORD cbFormat = 0;
    void* lpParms = nullptr;
    DWORD cbParms = 0;
    DWORD dwInterleaveEvery = 0;
};

// Opaque handles; each is released with its counted release function.
struct AVIFileObject;
struct AVIStreamObject;
using PAVIFILE = AVIFileObject*;
using PAVISTREAM = AVIStreamObject*;

inline constexpr UINT OF_READ = 0x0000;
inline constexpr UINT OF_WRITE = 0x0001;
inline constexpr UINT OF_CREATE = 0x1000;
inline constexpr DWORD AVIIF_KEYFRAME = 0x10;

constexpr HRESULT makeAviErr(unsigned error) { return static_cast<HRESULT>(0x80044000u | error); }
inline constexpr HRESULT AVIERR_OK = 0;
inline constexpr HRESULT AVIERR_UNSUPPORTED = makeAviErr(101);
inline constexpr HRESULT AVIERR_BADFORMAT = makeAviErr(102);
inline constexpr HRESULT AVIERR_MEMORY = makeAviErr(103);
inline constexpr HRESULT AVIERR_INTERNAL = makeAviErr(104);
inline constexpr HRESULT AVIERR_BADFLAGS = makeAviErr(105);
inline constexpr HRESULT AVIERR_BADPARAM = makeAviErr(106);
inline constexpr HRESULT AVIERR_BADSIZE = makeAviErr(107);
inline constexpr HRESULT AVIERR_BADHANDLE = makeAviErr(108);
inline constexpr HRESULT AVIERR_FILEREAD = makeAviErr(109);
inline constexpr HRESULT AVIERR_FILEWRITE = makeAviErr(110);
inline constexpr HRESULT AVIERR_FILEOPEN = makeAviErr(111);
inline constexpr HRESULT AVIERR_COMPRESSOR = makeAviErr(112);
inline constexpr HRESULT AVIERR_NOCOMPRESSOR = makeAviErr(113);
inline constexpr HRESULT AVIERR_READONLY = makeAviErr(114);
inline constexpr HRESULT AVIERR_NODATA = makeAviErr(115);
inline constexpr HRESULT AVIERR_BUFFERTOOSMALL = makeAviErr(116);
inline constexpr HRESULT AVIERR_CANTCOMPRESS = makeAviErr(117);
inline constexpr HRESULT AVIERR_USERABORT = makeAviErr(198);
inline constexpr HRESULT AVIERR_ERROR = makeAviErr(199);

// Our extension: the limits of the OpenDML layout a file is written with. A RIFF ends before
// it passes riffBytes (at most 1 GiB, so every 32-bit offset in it stays in range), and the
// super index has room for superIndexEntries RIFFs; a frame beyond that is refused with
// AVIERR_BADSIZE. Tests pass lower limits to reach several RIFFs with a few megabytes.
struct AviFileLimits {
    static constexpr std::uint64_t kMaxRiffBytes = 1ull << 30;
    std::uint64_t riffBytes = kMaxRiffBytes;
    std::uint32_t superIndexEntries = 1022;
};

// Counted: every AVIFileInit is balanced by one AVIFileExit.
void AVIFileInit();
void AVIFileExit();
// How many AVIFileInit calls are not yet balanced (for tests and diagnostics).
[[nodiscard]] int AVIFileInitCount();

[[nodiscard]] HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler,
                                   const AviFileLimits& limits = {});
[[nodiscard]] HRESULT AVIFileCreateStreamA(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi);
[[nodiscard]] HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM psSource,
                                              const AVICOMPRESSOPTIONS* lpOptions, const CLSID* pclsidHandler);
[[nodiscard]] HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat);
[[nodiscard]] HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                                     DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten);
// Our extension: several samples at once, from lStart on, each from its own buffer with its own
// flags, gathered into as few writes as the platform allows; as if each had been given to
// AVIStreamWrite in turn. *plSampWritten (when given) receives how many are in the file.
// A sample may also stay in a file (inFile.file set, lpBuffer null): its cbBuffer bytes are
// the `stored` bytes of that open file from `offset` on, then zeros; they are copied from
// the file to the video without passing through the caller's memory. A file that no longer
// holds its `stored` bytes, or that is written while it is copied, gives AVIERR_FILEREAD:
// that sample is not in the video (the samples before it are), and writing may go on.
struct AVISAMPLEFILE {
    platform::File* file = nullptr;
    std::int64_t offset = 0;
    std::size_t stored = 0;
};
struct AVISAMPLE {
    const void* lpBuffer = nullptr;
    LONG cbBuffer = 0;
    DWORD dwFlags = 0;
    AVISAMPLEFILE inFile = {};
};
[[nodiscard]] HRESULT AVIStreamWriteSamples(PAVISTREAM pavi, LONG lStart, std::span<const AVISAMPLE> samples,
                                            LONG* plSampWritten);
ULONG AVIStreamRelease(PAVISTREAM pavi);
// The last release finishes the file (headers, indexes) and closes it. Our extension:
// when phrFinish is given, it receives AVIERR_OK or the failure of finishing the file
// (AVIERR_FILEWRITE when the disk filled up while the indexes were written).
ULONG AVIFileRelease(PAVIFILE pfile, HRESULT* phrFinish = nullptr);

[[nodiscard]] FOURCC mmioStringToFOURCCA(const char* sz, UINT uFlags);
BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom);

}  // namespace kelvora::avifile
