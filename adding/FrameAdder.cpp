#include "adding/FrameAdder.h"

#include "bitmap/FramePlan.h"
#include "bitmap/FrameValidity.h"
#include "bitmap/cDIB.h"
#include "platform/filesystem/FileOpener.h"
#include "platform/text/PathNames.h"
#include "platform/text/Counts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <filesystem>
#include <span>

namespace kelvora::adding {

namespace {
constexpr const char* kIncompleteText = bitmap::kIncompletePictureText;
using bitmap::kNotAPictureText;
using bitmap::kUnsupportedPictureText;

using bitmap::PictureType;

constexpr std::string_view kBmpPatterns[] = {"*.BMP"};
constexpr std::string_view kPngPatterns[] = {"*.PNG"};
constexpr std::string_view kJpegPatterns[] = {"*.JPG", "*.JPEG"};
constexpr std::string_view kPicturePatterns[] = {"*.BMP", "*.PNG", "*.JPG", "*.JPEG"};

std::span<const std::string_view> patternsOf(PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
        break;
    case PictureType::Png:
        return kPngPatterns;
    case PictureType::Jpeg:
        return kJpegPatterns;
    }
    return kBmpPatterns;
}

// The type most of the names have; BMP, then PNG, then JPEG where as many.
PictureType commonestType(const platform::DirectorySearch& names)
{
    std::array<std::size_t, 3> counts{};
    for (std::size_t i = 0; i < names.size(); ++i)
        if (const auto type = bitmap::pictureTypeOfName(std::filesystem::path(names.name(i))))
            ++counts[static_cast<std::size_t>(*type)];
    const auto most = std::max_element(counts.begin(), counts.end());  // the first of equals
    return static_cast<PictureType>(most - counts.begin());
}
}  // namespace

FrameAdder::FrameAdder(FrameFormat& format, platform::MessageBoxService& messages)
    : m_format(format), m_messages(messages)
{
}

Admission FrameAdder::admit(const QString& path)
{
    const std::string file = platform::nativePath(path);
    if (const auto named = bitmap::pictureTypeOfName(file); named && *named != PictureType::Bmp)
        return admitPicture(file, *named);
    bitmap::cDIB dib(m_messages);
    // Everything admission decides is in the headers, the colour table and the file's
    // length (run-length data aside), so the pixels stay on disk until the save.
    if (!dib.CreateHeadersFromFile(file))
        return Admission::Refused;  // the bitmap object has told the user why
    return judge(file, bitmap::planFrame(dib));
}

Admission FrameAdder::judge(const std::string& file, const bitmap::FramePlan& plan)
{
    // A frame players cannot show as it is stored would make a video that does not play; it
    // is refused, with the reason, before it can set the format.
    if (!plan.accepted()) {
        const bool incomplete = plan.form == bitmap::FramePlan::Form::Incomplete;
        const std::string text =
            incomplete ? std::string(kIncompleteText) + "\r\n" + file
                       : std::string(bitmap::kUnsupportedFormatText) + "\r\n" + file + "\r\nMotivo: " + plan.reason;
        m_messages.MsgBox(text, incomplete ? platform::vbCritical : platform::vbInformation,
                          std::string(platform::AppTitle));
        return incomplete ? Admission::Refused : Admission::Unusable;
    }
    const bitmap::StreamShape& shape = plan.shape;
    return compare(FrameFormat{true, shape.width, shape.height, shape.bitCount, shape.compression, std::nullopt});
}

Admission FrameAdder::admitPicture(const std::string& file, PictureType named)
{
    std::optional<platform::OpenResult> opened = bitmap::openFrameFile(platform::systemFileOpener(), m_messages, file);
    if (!opened)
        return Admission::Refused;  // the user has been told why
    const std::optional<std::int64_t> length =
        opened->length >= 0 ? std::optional(opened->length) : opened->file.length();
    if (!length) {
        bitmap::showSystemError(m_messages, errno);
        return Admission::Refused;
    }
    // The headers decide: a few small reads, however large the file.
    return judgePicture(file, bitmap::readPictureHeader(opened->file, *length, named));
}

Admission FrameAdder::judgePicture(const std::string& file, const bitmap::PictureHeader& header)
{
    const auto tell = [&](const char* text, const std::string& reason, int style) {
        m_messages.MsgBox(std::string(text) + "\r\n" + file + "\r\nMotivo: " + reason, style,
                          std::string(platform::AppTitle));
    };
    switch (header.outcome) {
    case bitmap::PictureHeader::Outcome::Read:
        break;
    case bitmap::PictureHeader::Outcome::ReadError:
        bitmap::showSystemError(m_messages, header.error);
        return Admission::Refused;
    case bitmap::PictureHeader::Outcome::Incomplete:
        tell(kIncompleteText, header.reason, platform::vbCritical);
        return Admission::Refused;
    case bitmap::PictureHeader::Outcome::Refused:
        tell(kNotAPictureText, header.reason, platform::vbInformation);
        return Admission::Refused;
    }
    const bitmap::PicturePlan plan = bitmap::planPicture(header);
    if (!plan.accepted)
        return refusePicture(file, plan.reason);
    return compare(FrameFormat{true, plan.shape.width, plan.shape.height, 0, 0, plan.shape});
}

Admission FrameAdder::refusePicture(const std::string& file, const std::string& reason)
{
    m_messages.MsgBox(std::string(kUnsupportedPictureText) + "\r\n" + file + "\r\nMotivo: " + reason,
                      platform::vbInformation, std::string(platform::AppTitle));
    return Admission::Unusable;
}

Admission FrameAdder::compare(const FrameFormat& frame)
{
    if (!m_format.set) {
        m_format = frame;
        return Admission::Added;
    }
    // Frames of one stream share their type, size, row order, depth and compression (PNG: colour
    // type and depth; JPEG: components and sampling); colour tables may differ (the video changes
    // its palette for such a frame).
    if (frame.height == m_format.height && frame.width == m_format.width && frame.bitCount == m_format.bitCount &&
        frame.compression == m_format.compression && frame.picture == m_format.picture)
        return Admission::Added;
    // A video that fits every frame into its size takes it all the same.
    if (m_anyFormat) {
        ++m_differing;
        return Admission::Added;
    }
    ++m_mismatched;
    if (const PictureType offered = typeOfFormat(frame); offered != typeOfFormat(m_format)) {
        ++m_byType.count;
        m_byType.offered |= 1u << static_cast<unsigned>(offered);
    }
    return Admission::Mismatch;
}

QStringList bmpFilesOfFolder(const QString& folder)
{
    QStringList paths;
    forEachBmpFileOfFolder(folder, [&paths](const QString& path) { paths << path; });
    return paths;
}

namespace {

void learnGaps(const platform::DirectorySearch& names, NumberGaps* gaps)
{
    if (!gaps)
        return;
    gaps->startFolder();
    for (std::size_t i = 0; i < names.size(); ++i)
        gaps->take(names.name(i));
}

}  // namespace

platform::DirectorySearch pictureNamesOfFolder(const std::string& folder, NumberGaps* gaps)
{
    platform::DirectorySearch names(folder.empty() ? std::string(".") : folder, kPicturePatterns);
    learnGaps(names, gaps);
    return names;
}

platform::DirectorySearch frameNamesOfFolder(const std::string& folder, std::optional<PictureType> type,
                                             NumberGaps* gaps)
{
    const std::string where = folder.empty() ? std::string(".") : folder;
    platform::DirectorySearch names(where, type ? patternsOf(*type) : kPicturePatterns);
    if (!type) {
        // Mostly one folder holds one type: it is read once. Otherwise again, for that type.
        const PictureType commonest = commonestType(names);
        for (std::size_t i = 0; i < names.size(); ++i)
            if (bitmap::pictureTypeOfName(std::filesystem::path(names.name(i))) != commonest) {
                names = platform::DirectorySearch(where, patternsOf(commonest));
                break;
            }
    }
    learnGaps(names, gaps);
    return names;
}

platform::DirectorySearch bmpNamesOfFolder(const std::string& folder, NumberGaps* gaps)
{
    return frameNamesOfFolder(folder, PictureType::Bmp, gaps);
}

namespace {

// Each name `list` finds in `folder`, handed to `take` as a full path.
void forEachPathOf(const QString& folder, const std::function<platform::DirectorySearch(const std::string&)>& list,
                   const std::function<void(const QString&)>& take)
{
    const QString prefix = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const platform::DirectorySearch names = list(platform::nativePath(prefix));
    for (std::size_t i = 0; i < names.size(); ++i)
        take(prefix + platform::pathFromNative(names.name(i)));
}

}  // namespace

void forEachFrameFileOfFolder(const QString& folder, std::optional<PictureType> type,
                              const std::function<void(const QString&)>& take, NumberGaps* gaps)
{
    forEachPathOf(
        folder, [&](const std::string& where) { return frameNamesOfFolder(where, type, gaps); }, take);
}

void forEachPictureFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take,
                                NumberGaps* gaps)
{
    forEachPathOf(
        folder, [&](const std::string& where) { return pictureNamesOfFolder(where, gaps); }, take);
}

void forEachBmpFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take, NumberGaps* gaps)
{
    forEachFrameFileOfFolder(folder, PictureType::Bmp, take, gaps);
}

PictureType folderTypeForChosen(const QString& chosen)
{
    return bitmap::pictureTypeOfName(platform::nativePath(chosen)).value_or(PictureType::Bmp);
}

PictureType typeOfFormat(const FrameFormat& format) { return format.picture ? format.picture->type : PictureType::Bmp; }

QString skippedSummary(int mismatched, const FrameFormat& format, const TypeMismatches& byType)
{
    if (mismatched <= 0)
        return {};
    if (byType.count > 0) {
        // Another type is the difference, whatever the sizes: said as such.
        const unsigned offered = byType.offered;
        const bool oneType = offered != 0 && (offered & (offered - 1)) == 0;
        const QString types =
            oneType
                ? QStringLiteral("file ") +
                      QString::fromUtf8(bitmap::pictureTypeName(static_cast<PictureType>(std::countr_zero(offered))))
                : QStringLiteral("file di altri tipi");
        const QString line = platform::countText(byType.count, u"escluso", u"esclusi") +
                             QStringLiteral(": %1 in una lista di %2")
                                 .arg(types, QString::fromUtf8(bitmap::pictureTypeName(typeOfFormat(format))));
        const QString rest = skippedSummary(mismatched - byType.count, format);
        return rest.isEmpty() ? line : rest + QStringLiteral(" · ") + line;
    }
    // Short enough for the status line: the list is the context that says these are frames.
    const QString count = platform::countText(mismatched, u"escluso: diverso", u"esclusi: diversi");
    if (format.picture)
        return QStringLiteral("%1 da %2").arg(count, QString::fromStdString(bitmap::pictureShapeText(*format.picture)));
    // A top-down format (negative height) is named as such: its frames differ from
    // bottom-up ones of the same size.
    QString order = format.height < 0 ? QStringLiteral(", dall'alto in basso") : QString();
    // Frames of one depth can still differ in how their pixels are stored.
    if (format.compression == bitmap::BI_RLE8 || format.compression == bitmap::BI_RLE4)
        order += QStringLiteral(", RLE");
    else if (format.bitCount == 16)
        order += format.compression == bitmap::BI_BITFIELDS ? QStringLiteral(", 5-6-5") : QStringLiteral(", 5-5-5");
    return QStringLiteral("%1 da %2×%3, %4 bit%5")
        .arg(count)
        .arg(format.width)
        .arg(format.height < 0 ? -static_cast<std::int64_t>(format.height) : format.height)
        .arg(format.bitCount)
        .arg(order);
}

}  // namespace kelvora::adding
