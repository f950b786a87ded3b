// The viewer's own theme "Skyline": a light theme with a blue accent, drawn
// from scratch, and the forms it is written in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/theme_msux_data.h"

namespace themegen {

constexpr const char* kSkylineName = "Skyline";

// Name, description and images of Skyline (nothing built yet).
void BuildSkyline(TmsuxThemeData& data);

// The theme-list value: format byte 2, the name as a 32-bit length and its
// characters, the data size as a 64-bit count (low half, then 0), then the
// stored form.
std::vector<uint8_t> ThemeStreamValue(const TmsuxThemeData& data);

// A resource script for a style-file module holding the theme, and beside it
// the files it names: the colour, size and file-resource name lists, the
// description as UTF-16 text and every image as a 32-bit bitmap (fully
// transparent pixels magenta with alpha 0, as style files key them).
void WriteModuleScript(const TmsuxThemeData& data, const std::string& rcPath);

// A 32-bit bottom-up bitmap file of the image.
std::vector<uint8_t> BitmapFile(const TskBitmap& bitmap);

}  // namespace themegen
