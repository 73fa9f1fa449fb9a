#include "verify/PictureCompare.h"

#include "bitmap/PictureHeader.h"
#include "codec/PictureDecoder.h"
#include "platform/filesystem/FileOpener.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <memory>

namespace kelvora::verify {

namespace {

constexpr std::int64_t kLargestPicture = std::int64_t{1} << 30;

struct FreeFrame {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// The file's picture in the decoded frame's pixel format, packed as ffmpeg packs raw video.
std::string packedAs(bitmap::PictureType type, std::span<const std::uint8_t> file, codec::Codec codec,
                     AVPixelFormat format, int width, int height, std::vector<std::uint8_t>& out)
{
    std::string error;
    const auto decoder = codec::PictureDecoder::open(type, error);
    if (!decoder || !decoder->decode(file, error))
        return "il file non si decodifica più (" + error + ")";
    const std::unique_ptr<AVFrame, FreeFrame> target(av_frame_alloc());
    if (!target)
        return "memoria insufficiente";
    target->format = format;
    target->width = width;
    target->height = height;
    if (av_frame_get_buffer(target.get(), 0) < 0)
        return "memoria insufficiente";
    if (!codec::convertPicture(decoder->picture(), codec, *target, error))
        return "i pixel sono diversi (" + error + ")";
    const int size = av_image_get_buffer_size(format, width, height, 1);
    out.resize(static_cast<std::size_t>(std::max(size, 0)));
    if (size <= 0 ||
        av_image_copy_to_buffer(out.data(), size, target->data, target->linesize, format, width, height, 1) < 0)
        return "il fotogramma non si confronta";
    return {};
}

}  // namespace

std::optional<std::string> pictureDifference(const std::string& path, std::span<const std::uint8_t> chunk,
                                             codec::Codec codec, const codec::LosslessDecoder* decoded)
{
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen())
        return std::nullopt;  // judged as a bitmap: the bitmap object says why it does not load
    const bitmap::PictureHeader header = bitmap::readPictureHeader(opened.file, opened.length, std::nullopt);
    if (header.type == bitmap::PictureType::Bmp)
        return std::nullopt;
    if (!header.read())
        return "il file non è più un fotogramma del video (" + header.reason + ")";
    if (opened.length > kLargestPicture)
        return std::string("il file è troppo grande per un fotogramma");
    std::vector<std::uint8_t> file(static_cast<std::size_t>(opened.length));
    if (opened.file.readExactlyAt(file, 0) != platform::ReadOutcome::Complete)
        return std::string("il file non si legge più per intero");
    if (std::equal(chunk.begin(), chunk.end(), file.begin(), file.end()))
        return std::string();
    if (!decoded || codec == codec::Codec::Raw)
        return std::string("i byte del fotogramma non sono quelli del file");
    const codec::DecodedPicture picture = decoded->picture();
    const AVPixelFormat format = av_get_pix_fmt(decoded->pixelFormatName().c_str());
    std::vector<std::uint8_t> want;
    if (std::string error = packedAs(header.type, file, codec, format, picture.width, picture.height, want);
        !error.empty())
        return error;
    std::vector<std::uint8_t> got;
    decoded->packed(got);
    return got == want ? std::string() : std::string("i pixel sono diversi");
}

}  // namespace kelvora::verify
