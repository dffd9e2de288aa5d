#pragma once

#include <cmath>

// Sizes are designed in twips, 15 to a pixel.
namespace twips {
inline constexpr int perPixel = 15;
inline int toPixels(int tw) {
    return static_cast<int>(std::lround(tw / double(perPixel)));
}
inline int fromPixels(int px) {
    return px * perPixel;
}
} // namespace twips
