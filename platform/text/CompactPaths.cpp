#include "platform/text/CompactPaths.h"

namespace kelvora::platform {

void CompactPaths::append(const QString& path)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QStringView folder = QStringView(path).left(nameStart);
    if (m_runs.empty() || m_runs.back().folder != folder)
        m_runs.push_back({size(), folder.toString()});
    m_names.append(QStringView(path).mid(nameStart));
}

QString CompactPaths::takeInOrder(int index)
{
    while (m_reading + 1 < m_runs.size() && m_runs[m_reading + 1].first <= index)
        ++m_reading;
    return m_runs[m_reading].folder + m_names.takeInOrder(index);
}

}  // namespace kelvora::platform
