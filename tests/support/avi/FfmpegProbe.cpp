#include "tests/support/avi/FfmpegProbe.h"

#include <cstdio>
#include <sys/wait.h>

namespace kelvora::testsupport {

namespace {

std::string quoted(const std::filesystem::path& p)
{
    std::string out = "'";
    for (char c : p.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string valueOf(const std::string& text, const std::string& key)
{
    const auto at = text.find(key + "=");
    if (at == std::string::npos)
        return {};
    const auto begin = at + key.size() + 1;
    return text.substr(begin, text.find('\n', begin) - begin);
}

}  // namespace

int runCommand(const std::string& command, std::string& out)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ffmpegAvailable()
{
    std::string out;
    return runCommand("ffprobe -version >/dev/null 2>&1 && ffmpeg -version >/dev/null 2>&1 && echo yes", out) == 0 &&
           out.starts_with("yes");
}

ProbeResult probeVideo(const std::filesystem::path& file)
{
    ProbeResult r;
    const int status = runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                  "stream=nb_read_frames,width,height,r_frame_rate,pix_fmt -of default=nw=1 " +
                                      quoted(file) + " 2>&1",
                                  r.output);
    const std::string frames = valueOf(r.output, "nb_read_frames");
    r.ok = status == 0 && !frames.empty() && frames != "N/A";
    if (!r.ok)
        return r;
    r.framesRead = std::stoi(frames);
    r.width = std::stoi(valueOf(r.output, "width"));
    r.height = std::stoi(valueOf(r.output, "height"));
    r.frameRate = valueOf(r.output, "r_frame_rate");
    r.pixelFormat = valueOf(r.output, "pix_fmt");
    return r;
}

std::vector<std::uint8_t> decodeFrames(const std::filesystem::path& file, const std::string& pixelFormat)
{
    std::string out;
    const int status = runCommand(
        "ffmpeg -v error -i " + quoted(file) + " -f rawvideo -pix_fmt " + pixelFormat + " - 2>/dev/null", out);
    if (status != 0)
        return {};
    return {out.begin(), out.end()};
}

}  // namespace kelvora::testsupport
