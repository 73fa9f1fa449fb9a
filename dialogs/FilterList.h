#pragma once

// The filter list the dialogs take, built from the object's Filter text, and the pair of
// it that a confirmed dialog leaves in force.

#include <QString>
#include <cstdint>

namespace kelvora::dialogs {

// Each '|' and each ':' becomes one NUL, every other character (NUL included) is kept,
// and two NULs close the list. A colon can therefore never be part of a description.
[[nodiscard]] QString buildFilterList(const QString& filter);

// The index-th (1-based) "description NUL pattern" of a list. An index the list does not
// have, below 1 included, walks off its end and gives empty text.
[[nodiscard]] QString filterPair(const QString& list, std::int32_t index);

}  // namespace kelvora::dialogs
