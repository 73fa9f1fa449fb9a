#pragma once

// Writes test bitmaps through the library's published calls, the way the save does.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/avifile/AVIFile.h"
#include "tests/support/avi/TestBitmaps.h"
#include "tests/support/fs/TempDir.h"

namespace kelvora::testsupport {

using namespace avifile;  // the library's published names, as a caller of it writes them

struct SaveResult {
    HRESULT lastWrite = AVIERR_OK;  // the first failing call, or 0
    int framesWritten = 0;
    HRESULT finish = AVIERR_OK;
};

inline AVISTREAMINFOA videoStreamInfo(const TestBitmap& first, DWORD rate)
{
    AVISTREAMINFOA info{};
    info.fccType = mmioStringToFOURCCA("vids", 0);
    info.dwScale = 1;
    info.dwRate = rate;
    info.dwSuggestedBufferSize = static_cast<DWORD>(first.pixels.size());
    // As the save does: the bitmap's own height, negative for rows stored top-down.
    SetRect(&info.rcFrame, 0, 0, first.width, first.height);
    return info;
}

inline SaveResult saveFrames(const std::filesystem::path& path, const std::vector<TestBitmap>& frames, DWORD rate = 25,
                             const AviFileLimits& limits = {})
{
    SaveResult r;
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;
    r.lastWrite = AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr, limits);
    if (r.lastWrite != AVIERR_OK)
        return r;
    const AVISTREAMINFOA info = videoStreamInfo(frames.front(), rate);
    AVICOMPRESSOPTIONS options{};
    r.lastWrite = AVIFileCreateStreamA(file, &stream, &info);
    if (r.lastWrite == AVIERR_OK)
        r.lastWrite = AVIMakeCompressedStream(&compressed, stream, &options, nullptr);
    if (r.lastWrite == AVIERR_OK)
        r.lastWrite = AVIStreamSetFormat(compressed, 0, frames.front().info.data(),
                                         static_cast<LONG>(frames.front().info.size()));
    for (std::size_t i = 0; r.lastWrite == AVIERR_OK && i < frames.size(); ++i) {
        // A frame with a colour table of its own sets it from its position.
        if (i > 0 && frames[i].bitCount <= 8 && frames[i].info != frames[i - 1].info)
            r.lastWrite = AVIStreamSetFormat(compressed, static_cast<LONG>(i), frames[i].info.data(),
                                             static_cast<LONG>(frames[i].info.size()));
        if (r.lastWrite != AVIERR_OK)
            break;
        r.lastWrite = AVIStreamWrite(compressed, static_cast<LONG>(i), 1, frames[i].pixels.data(),
                                     static_cast<LONG>(frames[i].pixels.size()), AVIIF_KEYFRAME, nullptr, nullptr);
        if (r.lastWrite == AVIERR_OK)
            ++r.framesWritten;
    }
    if (stream)
        AVIStreamRelease(stream);
    if (compressed)
        AVIStreamRelease(compressed);
    AVIFileRelease(file, &r.finish);
    return r;
}

inline std::vector<TestBitmap> testFrames(int count, int width, int height, int bitCount)
{
    std::vector<TestBitmap> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(makeTestBitmap(width, height, bitCount, i));
    return frames;
}

}  // namespace kelvora::testsupport
