#include "video/Fitting.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "platform/filesystem/FileOpener.h"
#include "platform/msgbox/MessageBox.h"
#include "video/PictureFrame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace kelvora::video {

namespace {

// What a frame file's headers say, without a word to the user: the save says it when it
// reaches the file.
class Quiet final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string&, int, const std::string&) override {}
};

FrameLook lookOfBitmap(const std::string& path)
{
    Quiet quiet;
    bitmap::cDIB dib(quiet);
    if (!dib.CreateLeavingPixelsInFile(path))
        return {};
    const bitmap::FramePlan plan = bitmap::planFrame(dib);
    if (!plan.accepted())
        return {};
    FrameLook look;
    look.read = true;
    look.shape = plan.shape;
    return look;
}

// A video of no size chosen, for phones and Windows' player: H.264 level 5.1 holds 4096 x 2304.
constexpr photo::OutputSize kShareBox{4096, 2304};
constexpr photo::OutputSize kShareFit{3840, 2160};

struct Level {
    int level;              // x 10
    std::int64_t frameMbs;  // macroblocks a frame
    std::int64_t mbsPerSecond;
};
// ITU-T H.264, Table A-1.
constexpr std::array<Level, 16> kLevels{{{10, 99, 1485},
                                         {11, 396, 3000},
                                         {12, 396, 6000},
                                         {13, 396, 11880},
                                         {20, 396, 11880},
                                         {21, 792, 19800},
                                         {22, 1620, 20250},
                                         {30, 1620, 40500},
                                         {31, 3600, 108000},
                                         {32, 5120, 216000},
                                         {40, 8192, 245760},
                                         {42, 8704, 522240},
                                         {50, 22080, 589824},
                                         {51, 36864, 983040},
                                         {52, 36864, 2073600},
                                         {62, 139264, 16711680}}};

}  // namespace

photo::OutputSize FrameLook::upright() const
{
    const int rows = shape.height < 0 ? -shape.height : shape.height;
    return orientation >= 5 ? photo::OutputSize{rows, shape.width} : photo::OutputSize{shape.width, rows};
}

FrameLook lookOfFile(const std::string& path)
{
    const std::optional<bitmap::PictureType> named = bitmap::pictureTypeOfName(path);
    if (named == bitmap::PictureType::Bmp)
        return lookOfBitmap(path);
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen())
        return {};
    const bitmap::PictureHeader header = bitmap::readPictureHeader(opened.file, opened.length, named);
    if (!header.read())
        return {};
    if (header.type == bitmap::PictureType::Bmp)
        return lookOfBitmap(path);
    FrameLook look;
    look.read = true;
    look.jpeg = header.type == bitmap::PictureType::Jpeg;
    look.shape = planPicture(header, codec::Codec::Png).shape;
    look.orientation = look.jpeg ? header.jpeg.orientation : 1;
    look.profiled = header.profiled;
    return look;
}

bool keptAsStored(codec::Codec codec, Container container, const FrameLook& first, const FrameLook& frame)
{
    // FFV1 keeps a JPEG's planes, which are full range: Matroska says so, AVI cannot (its JPEGs
    // are fitted, in RGB). PNG frames of a JPEG are its RGB.
    const bool jpegKept = codec == codec::Codec::Png || container == Container::Matroska;
    return frame.read && frame.shape == first.shape && frame.orientation == 1 && !frame.profiled &&
           (!frame.jpeg || jpegKept);
}

Fitting planFitting(codec::Codec codec, Container container, const photo::Framing& framing, const FrameLook& first,
                    const std::function<bool()>& allKept)
{
    Fitting out;
    out.framing = framing;
    if (!framing.size.original()) {
        out.on = true;
        if (codec == codec::Codec::Raw)
            out.notice = "immagini adattate a " + photo::sizeText(framing.size) +
                         ", 24 bit: il video non contiene i byte dei file";
        return out;
    }
    const photo::OutputSize upright = first.upright();
    if (codec == codec::Codec::H264) {
        out.on = true;
        out.framing.size = upright;
        const bool portrait = upright.height > upright.width;
        const photo::OutputSize box = portrait ? photo::OutputSize{kShareBox.height, kShareBox.width} : kShareBox;
        if (upright.width > box.width || upright.height > box.height) {
            const photo::OutputSize fit = portrait ? photo::OutputSize{kShareFit.height, kShareFit.width} : kShareFit;
            out.framing.size = photo::fitWithin(upright.width, upright.height, fit);
            out.notice = "fotogrammi di " + photo::sizeText(upright) + " ridotti a " +
                         photo::sizeText(out.framing.size) + ": un MP4 più grande di " + photo::sizeText(box) +
                         " non si riproduce col lettore di Windows né su molti telefoni (livello H.264 5.1); "
                         "--size ne sceglie un'altra misura";
        }
        return out;
    }
    if (codec == codec::Codec::Raw)
        return out;
    if (keptAsStored(codec, container, first, first) && allKept())
        return out;
    out.on = true;
    out.framing.size = upright;
    return out;
}

std::optional<photo::Framing> fittingOfFrames(codec::Codec codec, Container container, const photo::Framing& asked,
                                              const std::vector<std::string>& frames, bool faded)
{
    if (frames.empty())
        return std::nullopt;
    const FrameLook first = lookOfFile(frames.front());
    const Fitting fitting = planFitting(codec, container, asked, first, [&] {
        return !faded && std::ranges::all_of(frames, [&](const std::string& path) {
            return keptAsStored(codec, container, first, lookOfFile(path));
        });
    });
    return fitting.on ? std::optional(fitting.framing) : std::nullopt;
}

int h264Level(photo::OutputSize size, std::uint32_t rate, std::uint32_t scale)
{
    const std::int64_t across = (size.width + 15) / 16;
    const std::int64_t down = (size.height + 15) / 16;
    const std::int64_t frame = across * down;
    const double perSecond = static_cast<double>(frame) * rate / std::max<std::uint32_t>(scale, 1);
    for (const Level& level : kLevels) {
        // A side may be at most the square root of eight times the level's frame.
        const auto side = static_cast<std::int64_t>(std::sqrt(8.0 * static_cast<double>(level.frameMbs)));
        if (frame <= level.frameMbs && perSecond <= static_cast<double>(level.mbsPerSecond) && across <= side &&
            down <= side)
            return level.level;
    }
    return 99;
}

std::string levelNotice(photo::OutputSize size, std::uint32_t rate, std::uint32_t scale)
{
    const int level = h264Level(size, rate, scale);
    if (level <= 51)
        return {};
    const std::string name =
        level == 99 ? std::string("oltre il 6.2") : std::to_string(level / 10) + "." + std::to_string(level % 10);
    return "un video di " + photo::sizeText(size) + " a questa frequenza vuole il livello H.264 " + name +
           ": il lettore di Windows (fino al 5.1), molti telefoni e i siti di condivisione non lo riproducono";
}

}  // namespace kelvora::video
