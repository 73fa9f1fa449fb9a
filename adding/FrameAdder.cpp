#include "adding/FrameAdder.h"

#include "bitmap/FramePlan.h"
#include "bitmap/FrameValidity.h"
#include "bitmap/cDIB.h"
#include "platform/text/PathNames.h"
#include "platform/text/Counts.h"

namespace kelvora::adding {

namespace {
constexpr const char* kIncompleteText = "Il file è incompleto:";
}  // namespace

FrameAdder::FrameAdder(FrameFormat& format, platform::MessageBoxService& messages)
    : m_format(format), m_messages(messages)
{
}

Admission FrameAdder::admit(const QString& path)
{
    const std::string file = platform::nativePath(path);
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
    if (!m_format.set) {
        m_format = FrameFormat{true, shape.width, shape.height, shape.bitCount, shape.compression};
        return Admission::Added;
    }
    // Frames of one stream share their size, row order, depth and compression; colour tables
    // may differ (the video changes its palette for such a frame).
    if (shape.height == m_format.height && shape.width == m_format.width && shape.bitCount == m_format.bitCount &&
        shape.compression == m_format.compression)
        return Admission::Added;
    ++m_mismatched;
    return Admission::Mismatch;
}

QStringList bmpFilesOfFolder(const QString& folder)
{
    QStringList paths;
    forEachBmpFileOfFolder(folder, [&paths](const QString& path) { paths << path; });
    return paths;
}

platform::DirectorySearch bmpNamesOfFolder(const std::string& folder, NumberGaps* gaps)
{
    platform::DirectorySearch names(folder.empty() ? std::string(".") : folder, "*.BMP");
    if (gaps) {
        gaps->startFolder();
        for (std::size_t i = 0; i < names.size(); ++i)
            gaps->take(names.name(i));
    }
    return names;
}

void forEachBmpFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take, NumberGaps* gaps)
{
    const QString prefix = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const platform::DirectorySearch names = bmpNamesOfFolder(platform::nativePath(prefix), gaps);
    for (std::size_t i = 0; i < names.size(); ++i)
        take(prefix + platform::pathFromNative(names.name(i)));
}

QString skippedSummary(int mismatched, const FrameFormat& format)
{
    if (mismatched <= 0)
        return {};
    // Short enough for the status line: the list is the context that says these are frames.
    const QString count = platform::countText(mismatched, u"escluso: diverso", u"esclusi: diversi");
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
