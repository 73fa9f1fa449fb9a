#include "adding/FrameAdder.h"

#include "bitmap/FrameValidity.h"
#include "bitmap/cDIB.h"
#include "platform/dirsearch/DirectorySearch.h"
#include "platform/filesystem/PathNames.h"

namespace kelvora::app {

FrameAdder::FrameAdder(FrameFormat& format, platform::MessageBoxService& messages)
    : m_format(format), m_messages(messages)
{
}

Admission FrameAdder::admit(const QString& path)
{
    const std::string file = platform::nativePath(path);
    bitmap::cDIB dib(m_messages);
    if (!dib.CreateFromFile(file))
        return Admission::Refused;  // the bitmap object has told the user why
    // A frame players cannot decode would make a video that does not play; it is refused as
    // the bitmap object refuses a format it cannot use, before it can set the format.
    if (!bitmap::isDecodableFrame(dib)) {
        m_messages.MsgBox(std::string(bitmap::kUnsupportedFormatText) + "\r\n" + file, platform::vbInformation,
                          std::string(platform::AppTitle));
        return Admission::Refused;
    }
    const std::int32_t width = dib.Width();
    const std::int32_t height = dib.Height();
    const std::int32_t bitCount = dib.BitCount();
    if (!m_format.set) {
        m_format = FrameFormat{true, width, height, bitCount};
        return Admission::Added;
    }
    if (height == m_format.height && width == m_format.width && bitCount == m_format.bitCount)
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

void forEachBmpFileOfFolder(const QString& folder, const std::function<void(const QString&)>& take)
{
    const QString prefix =
        folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    platform::DirectorySearch search(platform::nativePath(prefix.isEmpty() ? QStringLiteral(".") : prefix), "*.BMP");
    for (std::string name = search.next(); !name.empty(); name = search.next()) {
        const QString bare = platform::pathFromNative(name);
        if (bare.right(4).toUpper() == QLatin1String(".BMP"))
            take(prefix + bare);
    }
}

QString skippedSummary(int mismatched, const FrameFormat& format)
{
    if (mismatched <= 0)
        return {};
    // Short enough for the status line: the list is the context that says these are frames.
    const QString count = mismatched == 1 ? QStringLiteral("1 escluso: diverso")
                                          : QStringLiteral("%1 esclusi: diversi").arg(mismatched);
    // A top-down format (negative height) is named as such: its frames differ from
    // bottom-up ones of the same size.
    const QString order = format.height < 0 ? QStringLiteral(", dall'alto in basso") : QString();
    return QStringLiteral("%1 da %2×%3, %4 bit%5")
        .arg(count)
        .arg(format.width)
        .arg(format.height < 0 ? -static_cast<std::int64_t>(format.height) : format.height)
        .arg(format.bitCount)
        .arg(order);
}

}  // namespace kelvora::app
