#include "video/PictureFrame.h"

#include "bitmap/cDIB.h"
#include "codec/PictureDecoder.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/filesystem/FileOpener.h"
#include "platform/filesystem/FileSystem.h"

namespace kelvora::video {

namespace {

using bitmap::PictureType;

// A picture file larger than this is no frame: libavcodec takes packets below 2 GiB, and no
// picture a video of ours holds (32767 x 32767) needs more.
constexpr std::int64_t kLargestPicture = std::int64_t{1} << 30;

void tell(platform::MessageBoxService& messages, const std::string& text, int style)
{
    messages.MsgBox(text, style, std::string(platform::AppTitle));
}

std::vector<std::uint8_t> formatBlock(PictureType type, std::int32_t width, std::int32_t rows)
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

// What every frame of a stream of pictures shares beside its size: a PNG's colour type and
// depth, a JPEG's components and their sampling.
std::uint32_t formatKey(const bitmap::PictureHeader& header)
{
    if (header.type == PictureType::Png)
        return 1u << 28 | static_cast<std::uint32_t>(header.png.colour) << 8 | header.png.bitDepth;
    const bitmap::JpegFacts& jpeg = header.jpeg;
    std::uint32_t key = 2u << 28 | std::uint32_t{jpeg.componentCount} << 24;
    for (std::size_t i = 0; i < 3 && i < jpeg.componentCount; ++i)
        key |= (std::uint32_t{jpeg.components[i].horizontal} << 4 | jpeg.components[i].vertical) << (16 - 8 * i);
    return key;
}

// Why the picture cannot be a frame of a video of `codec`; empty when it can.
std::string refusalFor(const bitmap::PictureHeader& header, codec::Codec codec)
{
    const bool asStored = codec == codec::Codec::Raw;
    if (header.type == PictureType::Png)
        return header.png.animated ? "è un PNG animato (APNG): un fotogramma è un'immagine sola" : "";
    const bitmap::JpegFacts& jpeg = header.jpeg;
    if (!asStored)
        return codec::decodingRefusal(jpeg);
    if (jpeg.cmyk())
        return "è un JPEG CMYK (inchiostri di stampa), che i lettori video non mostrano";
    if (jpeg.process == bitmap::JpegProcess::Progressive)
        return "è un JPEG progressivo, che i lettori di Motion-JPEG non decodificano; si può salvare compresso (FFV1 o "
               "PNG)";
    if (jpeg.arithmetic || jpeg.hierarchical || jpeg.process == bitmap::JpegProcess::Lossless || jpeg.precision != 8)
        return "è un JPEG di un tipo (aritmetico, senza perdita, gerarchico o non a 8 bit) che i lettori di "
               "Motion-JPEG non decodificano; si può salvare compresso (FFV1 o PNG)";
    return {};
}

}  // namespace

bitmap::FramePlan planPicture(const bitmap::PictureHeader& header, codec::Codec codec)
{
    bitmap::FramePlan plan;
    plan.reason = refusalFor(header, codec);
    plan.form = plan.reason.empty() ? bitmap::FramePlan::Form::AsStored : bitmap::FramePlan::Form::Refused;
    plan.shape = {header.width, -header.height, 24,
                  static_cast<std::int32_t>(codec::pictureFourCC(header.type).value()), formatKey(header)};
    plan.format = formatBlock(header.type, header.width, header.height);
    return plan;
}

FileKind loadPicture(const std::string& path, codec::Codec codec, bool readBytes, PictureFrame& frame,
                     bitmap::FramePlan& plan, platform::MessageBoxService& messages)
{
    // A file named .bmp goes to the bitmap object, which refuses anything else with its reason:
    // the save of many small bitmaps opens each once, as ever.
    const std::optional<PictureType> named = bitmap::pictureTypeOfName(path);
    if (named == PictureType::Bmp)
        return FileKind::Bitmap;
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen())
        return FileKind::Bitmap;  // the bitmap object says why, in its own words
    const bitmap::PictureHeader header = bitmap::readPictureHeader(opened.file, opened.length, named);
    if (header.read() && header.type == PictureType::Bmp)
        return FileKind::Bitmap;
    if (header.outcome == bitmap::PictureHeader::Outcome::Refused && header.type == PictureType::Bmp)
        return FileKind::Bitmap;  // not a picture file: the bitmap object judges it, as ever
    if (header.outcome == bitmap::PictureHeader::Outcome::Incomplete) {
        tell(messages, "Il file è incompleto:\r\n" + path, platform::vbCritical);
        return FileKind::Unreadable;
    }
    if (header.outcome == bitmap::PictureHeader::Outcome::ReadError) {
        tell(messages, platform::errorDescription(header.error), platform::vbInformation);
        return FileKind::Unreadable;
    }
    if (!header.read() || opened.length > kLargestPicture) {
        const std::string reason = header.read() ? "il file è troppo grande per un fotogramma" : header.reason;
        tell(messages, std::string(bitmap::kUnsupportedFormatText) + "\r\n" + path + "\r\nMotivo: " + reason,
             platform::vbInformation);
        return FileKind::Unreadable;
    }
    frame.bytes.clear();
    if (readBytes) {
        frame.bytes.resize(static_cast<std::size_t>(opened.length));
        if (opened.file.readExactlyAt(frame.bytes, 0) != platform::ReadOutcome::Complete) {
            tell(messages, "Il file è incompleto:\r\n" + path, platform::vbCritical);
            return FileKind::Unreadable;
        }
    }
    frame.type = header.type;
    frame.header = header;
    frame.file = std::move(opened.file);
    frame.size = opened.length;
    frame.identity = opened.identity;
    plan = planPicture(header, codec);
    return FileKind::Picture;
}

}  // namespace kelvora::video
