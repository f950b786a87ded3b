// Pictures written as PNG files (8-bit RGB, alpha dropped), for tools that
// let people look at what the skin draws.
#pragma once

#include <cstdint>
#include <vector>

class TskBitmap;

std::vector<uint8_t> EncodePng(const TskBitmap& bitmap);
