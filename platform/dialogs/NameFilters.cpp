#include "platform/dialogs/NameFilters.h"

#include <cstring>

namespace kelvora::platform {

QStringList nameFiltersFromList(const char* lpstrFilter)
{
    QStringList filters;
    if (lpstrFilter == nullptr) {
        return filters;
    }
    // The list ends where a description would start and is empty. A description whose
    // pattern is empty is the last pair too: its two NULs may be the list's end, and
    // nothing behind them is ours to read.
    const char* cursor = lpstrFilter;
    while (*cursor != '\0') {
        const QString description = QString::fromUtf8(cursor);
        cursor += std::strlen(cursor) + 1;
        const bool lastPair = *cursor == '\0';
        QString patterns = QString::fromUtf8(cursor).replace(u';', u' ').trimmed();
        cursor += std::strlen(cursor) + 1;
        if (patterns.isEmpty()) {
            patterns = QStringLiteral("*");
        }
        filters.append(description + QStringLiteral(" (") + patterns + u')');
        if (lastPair) {
            break;
        }
    }
    return filters;
}

}  // namespace kelvora::platform
