#include "video/PictureFrame.h"

#include "bitmap/PicturePlan.h"
#include "bitmap/cDIB.h"
#include "codec/PictureDecoder.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/filesystem/FileOpener.h"
#include "platform/filesystem/FileSystem.h"
#include "video/PngIntegrity.h"

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

// Why the picture cannot be a frame of a video of `codec`; empty when it can. What no video
// takes is the adding's rule (bitmap/PicturePlan), applied again to a file changed since; a
// kind one codec takes and another does not would be refused here for the others.
std::string refusalFor(const bitmap::PictureHeader& header, codec::Codec codec)
{
    const bitmap::PicturePlan plan = bitmap::planPicture(header);
    if (!plan.accepted)
        return "è un " + plan.reason;
    if (header.type != PictureType::Jpeg)
        return {};
    if (codec != codec::Codec::Raw)
        return codec::decodingRefusal(header.jpeg);
    if (header.jpeg.cmyk())
        return "è un JPEG CMYK (inchiostri di stampa), che i lettori di Motion-JPEG non mostrano: si può salvare "
               "compresso (FFV1, PNG o MP4)";
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

namespace {

// Tells that the picture file at `path` is no frame: `text` the message's first line, the
// reason after "Motivo: ".
FileKind unreadable(platform::MessageBoxService& messages, const char* text, const std::string& path,
                    const std::string& reason, int style)
{
    tell(messages, std::string(text) + "\r\n" + path + "\r\nMotivo: " + reason, style);
    return FileKind::Unreadable;
}

}  // namespace

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
    // A file named .png or .jpg must be what its name says, as the adding has it; a file of
    // another name is a bitmap unless its content is a picture file.
    if (!named && header.type == PictureType::Bmp && header.outcome != bitmap::PictureHeader::Outcome::Incomplete &&
        header.outcome != bitmap::PictureHeader::Outcome::ReadError)
        return FileKind::Bitmap;
    switch (header.outcome) {
    case bitmap::PictureHeader::Outcome::Read:
        break;
    case bitmap::PictureHeader::Outcome::Incomplete:
        return unreadable(messages, bitmap::kIncompletePictureText, path, header.reason, platform::vbCritical);
    case bitmap::PictureHeader::Outcome::ReadError:
        tell(messages, platform::errorDescription(header.error), platform::vbInformation);
        return FileKind::Unreadable;
    case bitmap::PictureHeader::Outcome::Refused:
        return unreadable(messages, bitmap::kNotAPictureText, path, header.reason, platform::vbInformation);
    }
    if (opened.length > kLargestPicture)
        return unreadable(messages, bitmap::kUnsupportedPictureText, path, "il file è troppo grande per un fotogramma",
                          platform::vbInformation);
    // The picture's own bytes are the frame: data after a JPEG's end (a phone's motion photo)
    // is left out, found now that the save reads the file.
    const bitmap::PictureEnd end = bitmap::findPictureEnd(opened.file, opened.length, header);
    if (end.outcome == bitmap::PictureEnd::Outcome::ReadError) {
        tell(messages, platform::errorDescription(end.error), platform::vbInformation);
        return FileKind::Unreadable;
    }
    if (end.outcome == bitmap::PictureEnd::Outcome::Incomplete)
        return unreadable(messages, bitmap::kIncompletePictureText, path, end.reason, platform::vbCritical);
    frame.bytes.clear();
    // A PNG is held in memory for its check (its CRCs, its data inflated), and written from there.
    if (readBytes || header.type == PictureType::Png) {
        frame.bytes.resize(static_cast<std::size_t>(end.end));
        if (opened.file.readExactlyAt(frame.bytes, 0) != platform::ReadOutcome::Complete)
            return unreadable(messages, bitmap::kIncompletePictureText, path,
                              "il file è stato accorciato mentre veniva letto", platform::vbCritical);
        if (header.type == PictureType::Png)
            if (const std::string damage = pngDamage(frame.bytes, header); !damage.empty())
                return unreadable(messages, bitmap::kNotAPictureText, path, damage, platform::vbInformation);
    }
    frame.type = header.type;
    frame.header = header;
    frame.file = std::move(opened.file);
    frame.size = end.end;
    frame.identity = opened.identity;
    plan = planPicture(header, codec);
    return FileKind::Picture;
}

}  // namespace kelvora::video
