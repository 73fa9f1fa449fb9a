#pragma once

#include <QIcon>

namespace kelvora::app {

// The window's 32 x 32 icon: a strip of film, drawn in a handful of colours.
[[nodiscard]] QIcon makeAppIcon();

}  // namespace kelvora::app
