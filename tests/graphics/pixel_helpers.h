// Pixel values for the tests of the graphics core and of the skin built on it.
#pragma once

#include <cstdint>

#include "graphics/sk_bitmap.h"

inline TskPixel Argb(int a, int r, int g, int b) {
  return (static_cast<TskPixel>(a) << 24) | (static_cast<TskPixel>(r) << 16) | (static_cast<TskPixel>(g) << 8) |
         static_cast<TskPixel>(b);
}
