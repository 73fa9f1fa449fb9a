#pragma once

// Writes test bitmaps through the library's published calls, the way the save does.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/avifile/AVIFile.h"
#include "tests/support/avi/TestBitmaps.h"

namespace kelvora::avifile::test {

struct SaveResult {
    HRESULT lastWrite = AVIERR_OK;  // the first failing call, or 0
    int framesWritten = 0;
    HRESULT finish = AVIERR_OK;
};

inline AVISTREAMINFOA videoStreamInfo(const testsupport::TestBitmap& first, DWORD rate)
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

inline SaveResult saveFrames(const std::filesystem::path& path, const std::vector<testsupport::TestBitmap>& frames,
                             DWORD rate = 25, const AviFileLimits& limits = {})
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

inline std::vector<testsupport::TestBitmap> testFrames(int count, int width, int height, int bitCount)
{
    std::vector<testsupport::TestBitmap> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(testsupport::makeTestBitmap(width, height, bitCount, i));
    return frames;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvora-avi-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(const char* name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

}  // namespace kelvora::avifile::test
