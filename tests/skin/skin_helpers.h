// Helpers shared by the skin library tests.
#pragma once

#include <cstdint>

#include "graphics/sk_bitmap.h"

inline TskPixel Argb(int a, int r, int g, int b) {
  return (static_cast<TskPixel>(a) << 24) | (static_cast<TskPixel>(r) << 16) | (static_cast<TskPixel>(g) << 8) |
         static_cast<TskPixel>(b);
}
