#include "verify/PictureCompare.h"

#include "bitmap/PictureHeader.h"
#include "codec/LosslessEncoder.h"
#include "codec/PictureDecoder.h"
#include "platform/filesystem/FileOpener.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace kelvora::verify {

namespace {

constexpr std::int64_t kLargestPicture = std::int64_t{1} << 30;

struct FreeFrame {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// Whether a picture decoded as `decoded` can be put exactly into `format`: the form a save of
// ours makes of it, or another writer's RGB or grey form of the same samples. Any other form
// (4:2:0 Y'CbCr for an RGB picture...) cannot hold it exactly.
bool holdsExactly(codec::Codec codec, const AVFrame& decoded, AVPixelFormat format)
{
    static constexpr AVPixelFormat kSampleForms[] = {AV_PIX_FMT_BGR0,     AV_PIX_FMT_BGRA,      AV_PIX_FMT_RGB24,
                                                     AV_PIX_FMT_GRAY8,    AV_PIX_FMT_YA8,       AV_PIX_FMT_GRAY16LE,
                                                     AV_PIX_FMT_GBRP16LE, AV_PIX_FMT_GBRAP16LE, AV_PIX_FMT_PAL8};
    return format == codec::pictureStreamFormat(codec, decoded) ||
           std::ranges::find(kSampleForms, format) != std::end(kSampleForms);
}

std::string formName(int format)
{
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
    return name ? name : "?";
}

// The file's picture in the decoded frame's pixel format, packed as ffmpeg packs raw video.
std::string packedAs(bitmap::PictureType type, std::span<const std::uint8_t> file, codec::Codec codec,
                     AVPixelFormat format, int width, int height, std::vector<std::uint8_t>& out)
{
    const auto decoded = codec::PictureDecoder::decodeOne(type, file);
    if (!decoded)
        return "il file non si decodifica più (" + decoded.error() + ")";
    const auto& decoder = decoded.value();
    if (!holdsExactly(codec, decoder->picture(), format))
        return "il video tiene i pixel in " + formName(format) +
               ", una forma che non contiene esattamente l'immagine del file (" + formName(decoder->picture().format) +
               ")";
    const std::unique_ptr<AVFrame, FreeFrame> target(av_frame_alloc());
    if (!target)
        return "memoria insufficiente";
    target->format = format;
    target->width = width;
    target->height = height;
    if (av_frame_get_buffer(target.get(), 0) < 0)
        return "memoria insufficiente";
    if (const auto converted = codec::convertPicture(decoder->picture(), codec, *target); !converted)
        return "i pixel sono diversi (" + converted.error() + ")";
    const int size = av_image_get_buffer_size(format, width, height, 1);
    out.resize(static_cast<std::size_t>(std::max(size, 0)));
    if (size <= 0 ||
        av_image_copy_to_buffer(out.data(), size, target->data, target->linesize, format, width, height, 1) < 0)
        return "il fotogramma non si confronta";
    return {};
}

}  // namespace

std::optional<PictureFile> readPictureFile(const std::string& path)
{
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen())
        return std::nullopt;  // judged as a bitmap: the bitmap object says why it does not load
    const bitmap::PictureHeader header = bitmap::readPictureHeader(opened.file, opened.length, std::nullopt);
    if (header.type == bitmap::PictureType::Bmp)
        return std::nullopt;
    PictureFile out{header.type, {}, {}};
    if (!header.read())
        out.problem = "il file non è più un fotogramma del video (" + header.reason + ")";
    else if (opened.length > kLargestPicture)
        out.problem = "il file è troppo grande per un fotogramma";
    else if (const bitmap::PictureEnd end = bitmap::findPictureEnd(opened.file, opened.length, header);
             end.outcome != bitmap::PictureEnd::Outcome::Found)
        out.problem = "il file non è più un fotogramma del video (" + end.reason + ")";
    else {
        // The picture's own bytes, as the save stores them (a JPEG's, up to its end marker).
        out.bytes.resize(static_cast<std::size_t>(end.end));
        if (opened.file.readExactlyAt(out.bytes, 0) != platform::ReadOutcome::Complete)
            out.problem = "il file non si legge più per intero";
    }
    return out;
}

namespace {

std::string decodedDifference(const PictureFile& file, codec::Codec codec, AVPixelFormat format, int width, int height,
                              std::span<const std::uint8_t> got)
{
    std::vector<std::uint8_t> want;
    if (std::string error = packedAs(file.type, file.bytes, codec, format, width, height, want); !error.empty())
        return error;
    return std::equal(got.begin(), got.end(), want.begin(), want.end()) ? std::string()
                                                                        : std::string("i pixel sono diversi");
}

// Whether `chunk` is a PNG image exactly as our PNG codec writes its picture (libavcodec's
// encoder as the save opens it): a frame the save encoded, not a file it stored.
bool writtenByOurPngCodec(std::span<const std::uint8_t> chunk)
{
    const auto decoder = codec::PictureDecoder::decodeOne(bitmap::PictureType::Png, chunk);
    if (!decoder)
        return false;
    const AVFrame& picture = decoder.value()->picture();
    const bitmap::StreamShape shape{picture.width, -picture.height, 24,
                                    static_cast<std::int32_t>(codec::pictureFourCC(bitmap::PictureType::Png).value())};
    const auto encoder = codec::LosslessEncoder::openForPictures(codec::Codec::Png, shape,
                                                                 static_cast<AVPixelFormat>(picture.format), 1, {});
    std::vector<std::uint8_t> packet;
    return encoder && encoder.value()->encodePicture(picture, packet) && std::ranges::equal(packet, chunk);
}

}  // namespace

std::optional<std::string> pictureDifference(const std::string& path, std::span<const std::uint8_t> chunk,
                                             codec::Codec codec, const codec::LosslessDecoder* decoded, PngStream& png)
{
    const std::optional<PictureFile> file = readPictureFile(path);
    if (!file || !file->problem.empty())
        return file ? std::optional(file->problem) : std::nullopt;
    if (std::equal(chunk.begin(), chunk.end(), file->bytes.begin(), file->bytes.end()))
        return std::string();
    const std::string notItsBytes = "i byte del fotogramma non sono quelli del file";
    if (!decoded || codec == codec::Codec::Raw)
        return notItsBytes;
    if (codec == codec::Codec::Png && file->type == bitmap::PictureType::Png) {
        if (!png.encoded)
            png.encoded = writtenByOurPngCodec(chunk);
        if (!*png.encoded)
            return notItsBytes + " (un PNG conservato com'è si confronta byte per byte)";
    }
    const codec::DecodedPicture picture = decoded->picture();
    std::vector<std::uint8_t> got;
    decoded->packed(got);
    return decodedDifference(*file, codec, av_get_pix_fmt(decoded->pixelFormatName().c_str()), picture.width,
                             picture.height, got);
}

std::optional<std::string> pictureDifference(const std::string& path, codec::Codec codec, const AVFrame& picture,
                                             std::span<const std::uint8_t> packed)
{
    const std::optional<PictureFile> file = readPictureFile(path);
    if (!file || !file->problem.empty())
        return file ? std::optional(file->problem) : std::nullopt;
    return decodedDifference(*file, codec, static_cast<AVPixelFormat>(picture.format), picture.width, picture.height,
                             packed);
}

PictureRgb pictureRgb(const std::string& path)
{
    PictureRgb out;
    std::optional<PictureFile> file = readPictureFile(path);
    if (!file)
        return out;
    out.picture = true;
    out.type = file->type;
    out.problem = std::move(file->problem);
    if (!out.problem.empty())
        return out;
    const auto decoder = codec::PictureDecoder::decodeOne(file->type, file->bytes);
    if (!decoder) {
        out.problem = "il file non si decodifica più (" + decoder.error() + ")";
        return out;
    }
    const AVFrame& picture = decoder.value()->picture();
    // libswscale writes whole aligned blocks: the target is a frame of its own making.
    const std::unique_ptr<AVFrame, FreeFrame> target(av_frame_alloc());
    if (!target) {
        out.problem = "memoria insufficiente";
        return out;
    }
    target->format = AV_PIX_FMT_RGB24;
    target->width = picture.width;
    target->height = picture.height;
    // A buffer that cannot be had has no reason of its own to give.
    if (av_frame_get_buffer(target.get(), 0) < 0) {
        out.problem = "il file non si converte in RGB ()";
        return out;
    }
    if (const auto converted = codec::convertPicture(picture, codec::Codec::H264, *target); !converted) {
        out.problem = "il file non si converte in RGB (" + converted.error() + ")";
        return out;
    }
    out.width = picture.width;
    out.height = picture.height;
    const auto rowBytes = static_cast<std::size_t>(out.width) * 3;
    out.rgb.resize(rowBytes * static_cast<std::size_t>(out.height));
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.rgb.data() + rowBytes * static_cast<std::size_t>(y),
                    target->data[0] + static_cast<std::ptrdiff_t>(y) * target->linesize[0], rowBytes);
    return out;
}

}  // namespace kelvora::verify
