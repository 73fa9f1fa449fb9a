#include "bench/avifile/SavePaths.h"

#include "bitmap/cDIB.h"
#include "platform/avifile/AVIFile.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace kelvora::bench {

namespace {

using namespace avifile;

// The handles of one save, released in the order the application releases them.
struct Save {
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;

    [[nodiscard]] bool open(const SaveJob& job, std::span<const std::uint8_t> format, DWORD bufferSize)
    {
        AVISTREAMINFOA info{};
        info.fccType = mmioStringToFOURCCA("vids", 0);
        info.dwScale = 1;
        info.dwRate = 25;
        info.dwSuggestedBufferSize = bufferSize;
        SetRect(&info.rcFrame, 0, 0, job.workload.width, job.workload.height);
        AVICOMPRESSOPTIONS options{};
        return AVIFileOpenA(&file, job.output.c_str(), OF_WRITE | OF_CREATE, nullptr) == AVIERR_OK &&
               AVIFileCreateStreamA(file, &stream, &info) == AVIERR_OK &&
               AVIMakeCompressedStream(&compressed, stream, &options, nullptr) == AVIERR_OK &&
               AVIStreamSetFormat(compressed, 0, format.data(), static_cast<LONG>(format.size())) == AVIERR_OK;
    }
    [[nodiscard]] bool write(int index, const std::uint8_t* pixels, std::size_t size)
    {
        return AVIStreamWrite(compressed, index, 1, pixels, static_cast<LONG>(size), AVIIF_KEYFRAME, nullptr,
                              nullptr) == AVIERR_OK;
    }
    // 0 when every write went through and the file was finished.
    [[nodiscard]] int close(bool written)
    {
        if (stream)
            AVIStreamRelease(stream);
        if (compressed)
            AVIStreamRelease(compressed);
        HRESULT finish = AVIERR_OK;
        if (file)
            AVIFileRelease(file, &finish);
        return !written ? 2 : (finish != AVIERR_OK ? 3 : 0);
    }
};

}  // namespace

std::vector<Workload> standardWorkloads(int bigFrames, int smallFrames)
{
    return {{"1920x1080x24", 1920, 1080, 24, bigFrames}, {"160x120x8", 160, 120, 8, smallFrames}};
}

SaveJob prepareJob(const Workload& workload, const std::filesystem::path& root, std::filesystem::path output,
                   std::uint64_t& bytes)
{
    SaveJob job{workload, root / workload.name, std::move(output)};
    std::filesystem::create_directories(job.frameDir);
    bytes = writeBmpFiles(workload, job.frameDir);
    return job;
}

std::string frameName(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.bmp", index);
    return name;
}

int libraryFromMemory(const SaveJob& job)
{
    // A few distinct frames, cycled: the frames are "already in memory" without the
    // benchmark's own memory growing with their number.
    std::vector<Frame> pool;
    for (int i = 0; i < 8; ++i)
        pool.push_back(makeFrame(job.workload, i));
    Save save;
    bool ok = save.open(job, pool[0].info, static_cast<DWORD>(pool[0].pixels.size()));
    for (int i = 0; i < job.workload.frames && ok; ++i) {
        const auto& px = pool[static_cast<std::size_t>(i) % pool.size()].pixels;
        ok = save.write(i, px.data(), px.size());
    }
    return save.close(ok);
}

int bitmapObjectSave(const SaveJob& job)
{
    bitmap::cDIB dib(platform::stderrMessageBox());
    if (!dib.CreateFromFile((job.frameDir / frameName(0)).string()))
        return 1;
    Save save;
    bool ok = save.open(job, std::span(dib.PointerToBitmapInfo(), static_cast<std::size_t>(dib.SizeBitmapInfo())),
                        static_cast<DWORD>(dib.SizeImage()));
    for (int i = 0; i < job.workload.frames && ok; ++i) {
        ok = dib.CreateFromFile((job.frameDir / frameName(i)).string()) &&
             save.write(i, dib.PointerToBits(), static_cast<std::size_t>(dib.SizeImage()));
    }
    return save.close(ok);
}

int plainCopy(const SaveJob& job)
{
    const int out = ::open(job.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0)
        return 1;
    std::vector<char> buffer(8 << 20);
    for (int i = 0; i < job.workload.frames; ++i) {
        const int in = ::open((job.frameDir / frameName(i)).c_str(), O_RDONLY);
        if (in < 0)
            return 1;
        ssize_t n = 0;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
            if (::write(out, buffer.data(), static_cast<std::size_t>(n)) != n)
                return 2;
        ::close(in);
    }
    return ::close(out) == 0 ? 0 : 3;
}

int ffmpegSave(const SaveJob& job)
{
    const std::string input = (job.frameDir / "frame_%05d.bmp").string();
    ::execlp("ffmpeg", "ffmpeg", "-v", "error", "-y", "-framerate", "25", "-i", input.c_str(), "-c:v", "rawvideo",
             job.output.c_str(), static_cast<char*>(nullptr));
    return 127;
}

int catFiles(const SaveJob& job)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(job.workload.frames));
    for (int i = 0; i < job.workload.frames; ++i)
        names.push_back((job.frameDir / frameName(i)).string());
    std::vector<char*> argv{const_cast<char*>("cat")};
    for (std::string& name : names)
        argv.push_back(name.data());
    argv.push_back(nullptr);
    const int out = ::open(job.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0)
        return 1;
    ::close(out);
    ::execvp("cat", argv.data());
    return 127;
}

}  // namespace kelvora::bench
