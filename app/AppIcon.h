#pragma once

#include <QIcon>
#include <QImage>

namespace kelvora::app {

// The application's icon, drawn from the one picture compiled into the program
// (data/kelvora-maker.svg): the window's icon and the installed icons are the same drawing.
[[nodiscard]] QImage renderAppIcon(int size);

// The window's 32 x 32 icon.
[[nodiscard]] QIcon makeAppIcon();

}  // namespace kelvora::app
