#include "dialogs/FilterList.h"

namespace kelvora::dialogs {

QString buildFilterList(const QString& filter)
{
    QString list = filter;
    for (QChar& c : list) {
        if (c == u'|' || c == u':') {
            c = QChar(u'\0');
        }
    }
    list.append(QChar(u'\0'));
    list.append(QChar(u'\0'));
    return list;
}

QString filterPair(const QString& list, std::int32_t index)
{
    if (list == QString(QChar(u'\0'))) {
        return {};
    }
    const QChar nul(u'\0');
    qsizetype start = 0;
    // Each pass moves start past a second NUL, so the walk ends for any index.
    while (start <= list.size()) {
        const qsizetype first = list.indexOf(nul, start);
        if (first < 0) {
            return {};
        }
        const qsizetype second = list.indexOf(nul, first + 1);
        const qsizetype end = second < 0 ? list.size() : second;
        if (index == 1) {
            return list.mid(start, end - start);
        }
        if (second < 0) {
            return {};
        }
        --index;
        start = second + 1;
    }
    return {};
}

}  // namespace kelvora::dialogs
