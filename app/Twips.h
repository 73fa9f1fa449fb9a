#pragma once

#include <QRect>

namespace kelvora::app {

// The layout is designed in twips: 15 twips are one pixel at 96 dots per inch.
constexpr int twips(int value) { return value / 15; }

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}

}  // namespace kelvora::app
