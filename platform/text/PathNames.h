#pragma once

// File names are byte strings on Linux, with no promise of being UTF-8. The window holds
// them as text, so each byte that is not part of valid UTF-8 travels as the lone low
// surrogate U+DC80 + byte and turns back into that byte on the way out: every name the file
// system gives survives the round trip through the list and back.

#include <QString>

#include <string>
#include <string_view>

namespace kelvora::platform {

// The text of a file-system name or path; lossless for any byte string.
[[nodiscard]] QString pathFromNative(std::string_view bytes);

// The bytes to hand to the file system for a path held as text: UTF-8, escaped bytes back
// as themselves.
[[nodiscard]] std::string nativePath(const QString& path);

}  // namespace kelvora::platform
