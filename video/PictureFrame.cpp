#include "video/PictureFrame.h"

#include "bitmap/cDIB.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/filesystem/FileOpener.h"
#include "platform/filesystem/FileSystem.h"

#include <array>
#include <memory>

namespace kelvora::video {

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// A picture file larger than this is no frame: libavcodec takes packets below 2 GiB, and no
// picture a video of ours holds (32767 x 32767) needs more.
constexpr std::int64_t kLargestPicture = std::int64_t{1} << 30;

void refuse(platform::MessageBoxService& messages, const std::string& path, const std::string& reason)
{
    messages.MsgBox(std::string(bitmap::kUnsupportedFormatText) + "\r\n" + path + "\r\nMotivo: " + reason,
                    platform::vbInformation, std::string(platform::AppTitle));
}

// The stream format of a video of such pictures, as ffmpeg writes it when it copies them.
std::vector<std::uint8_t> formatBlock(codec::PictureType type, std::int32_t width, std::int32_t rows)
{
    binary::BITMAPINFOHEADER header;
    header.biSize = binary::kInfoHeaderSize;
    header.biWidth = width;
    header.biHeight = rows;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = static_cast<std::int32_t>(codec::pictureFourCC(type).value());
    header.biSizeImage = static_cast<std::int32_t>(std::int64_t{width} * rows * 3);
    const auto bytes = binary::infoHeaderBytes(header);
    return {bytes.begin(), bytes.end()};
}

// What decides a picture frame's shape: its size and its own format.
struct PictureHeader {
    std::int32_t width = 0;
    std::int32_t rows = 0;
    std::uint32_t format = 0;
    std::string refusal;  // why it is no frame, empty when it is one
};

PictureHeader headerOf(codec::PictureType type, std::span<const std::uint8_t> bytes)
{
    PictureHeader out;
    std::string error;
    const auto decoder = codec::PictureDecoder::open(type, error);
    if (!decoder || !decoder->decode(bytes, error)) {
        out.refusal = error;
        return out;
    }
    const AVFrame& picture = decoder->picture();
    if (picture.width > bitmap::kLargestVideoSide || picture.height > bitmap::kLargestVideoSide) {
        out.refusal = "l'immagine è più grande di quanto un video AVI possa contenere";
        return out;
    }
    out.width = picture.width;
    out.rows = picture.height;
    out.format = static_cast<std::uint32_t>(picture.format) + 1;
    return out;
}

}  // namespace

std::optional<codec::PictureType> pictureTypeOf(std::span<const std::uint8_t> head)
{
    if (head.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), head.begin()))
        return codec::PictureType::Png;
    if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return codec::PictureType::Jpeg;
    return std::nullopt;
}

std::optional<codec::PictureType> pictureTypeOfFile(const std::string& path)
{
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    std::array<std::uint8_t, kPngSignature.size()> head{};
    if (!opened.file.isOpen())
        return std::nullopt;
    const std::optional<std::size_t> read = opened.file.readAt(head, 0);
    return read ? pictureTypeOf(std::span(head).first(*read)) : std::nullopt;
}

bool loadPicture(const std::string& path, codec::PictureType type, bool readBytes, PictureFrame& frame,
                 bitmap::FramePlan& plan, platform::MessageBoxService& messages)
{
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen()) {
        messages.MsgBox(platform::errorDescription(opened.error), platform::vbInformation,
                        std::string(platform::AppTitle));
        return false;
    }
    if (opened.length <= 0 || opened.length > kLargestPicture) {
        refuse(messages, path, opened.length <= 0 ? "il file è vuoto" : "il file è troppo grande per un fotogramma");
        return false;
    }
    // Until the picture headers are read on their own, the first bytes are the whole file.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(opened.length));
    if (opened.file.readExactlyAt(bytes, 0) != platform::ReadOutcome::Complete) {
        messages.MsgBox(std::string("Il file è incompleto:\r\n") + path, platform::vbCritical,
                        std::string(platform::AppTitle));
        return false;
    }
    const PictureHeader header = headerOf(type, bytes);
    if (!header.refusal.empty()) {
        refuse(messages, path, header.refusal);
        return false;
    }
    frame.type = type;
    frame.file = std::move(opened.file);
    frame.size = opened.length;
    frame.identity = opened.identity;
    if (readBytes)
        frame.bytes = std::move(bytes);
    else
        frame.bytes.clear();
    plan.form = bitmap::FramePlan::Form::AsStored;
    plan.reason.clear();
    plan.shape = {header.width, -header.rows, 24, static_cast<std::int32_t>(codec::pictureFourCC(type).value()),
                  header.format};
    plan.format = formatBlock(type, header.width, header.rows);
    plan.palette.clear();
    return true;
}

}  // namespace kelvora::video
