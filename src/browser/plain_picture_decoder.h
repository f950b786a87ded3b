// The plain browser's pictures, decoded by the platform's imaging component
// (WIC: PNG, JPEG, GIF, BMP, ICO, TIFF and whatever codecs the system has)
// into 32-bit bitmaps. Windows only; callable on any thread (the fetch
// workers decode what they fetched).
#pragma once

#include <memory>
#include <string_view>

#include "graphics/sk_bitmap.h"

// Pictures larger than this many pixels are not decoded (they could not be
// held in a 32-bit process anyway).
inline constexpr long long kMaxPicturePixels = 64LL * 1024 * 1024;

// The picture's first frame, composed over white: the plain browser's page
// is always white, so its pictures draw opaque and scale smoothly. nullptr
// when the bytes are no picture the platform decodes.
std::unique_ptr<TskBitmap> DecodePicture(std::string_view bytes);
