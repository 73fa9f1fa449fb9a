#include "adding/FrameSources.h"

#include "adding/FrameAdder.h"
#include "platform/dirsearch/DirectorySearch.h"
#include "platform/text/PathNames.h"

#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kelvora::adding {

QStringList frameCandidates(const QStringList& items)
{
    QStringList candidates;
    forEachFrameCandidate(items, [&candidates](const QString& path) { candidates << path; });
    return candidates;
}

void forEachFrameCandidate(const QStringList& items, const std::function<void(const QString&)>& take, NumberGaps* gaps)
{
    for (const QString& item : items) {
        std::error_code error;
        if (std::filesystem::is_directory(platform::nativePath(item), error))
            forEachFrameFileOfFolder(item, std::nullopt, take, gaps);
        else
            take(item);
    }
}

QStringList droppedItems(const QMimeData& data)
{
    QStringList items;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        // Taken from the encoded bytes: a name that is not UTF-8 still names its file.
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        items << platform::pathFromNative(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    std::ranges::sort(items, [](const QString& a, const QString& b) {
        return platform::naturalLess(platform::nativePath(a), platform::nativePath(b));
    });
    return items;
}

}  // namespace kelvora::adding
