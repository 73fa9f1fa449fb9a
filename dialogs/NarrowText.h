#pragma once

// The narrow (UTF-8) form of the application's texts for the platform functions, and the
// way back at full length, so NULs and what follows them survive. Paths are file-system
// bytes: the conversions keep bytes that are not UTF-8 (see platform/text/PathNames.h).

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelvora::dialogs {

// text in UTF-8, padded with NULs to exactly size bytes; nullopt when it does not fit.
[[nodiscard]] std::optional<QByteArray> paddedBuffer(const QString& text, qsizetype size);

// The buffer up to, not including, its first NUL (all of it when it has none).
[[nodiscard]] QString textToFirstNul(const QByteArray& buffer);

// Every byte of the buffer, NULs included.
[[nodiscard]] QString wholeText(const QByteArray& buffer);

// The pointer a record takes for an optional text: null for an empty one.
[[nodiscard]] const char* textOrAbsent(const QByteArray& narrow);

}  // namespace kelvora::dialogs
