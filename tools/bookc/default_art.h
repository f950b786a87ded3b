// The pictures bookc gives a book that names none of its own ("@default" in
// config.ini): the window icon and the eight toolbar glyphs. They are drawn
// here, in code, with the theme generator's anti-aliased shapes and the
// colours of the viewer's own theme "Skyline" (its accent blue, ink and the
// red of its close button), so that they sit on that theme's toolbar as its
// own caption buttons do.
#pragma once

#include <cstdint>
#include <vector>

// Glyphs are 24 x 24 24-bit bitmap files. The viewer draws a glyph without
// blending: the colour of its bottom-left pixel is left out and every other
// pixel is drawn as it is. Edges are therefore blended here with the
// toolbar's face colour, and left-out pixels carry kDefaultGlyphKey.
constexpr int kDefaultGlyphSize = 24;
constexpr uint32_t kDefaultGlyphKey = 0xFF00FF;   // 0xRRGGBB
constexpr uint32_t kDefaultGlyphFace = 0xF3F5F9;  // Skyline's toolbar face

// The glyph of toolbar entry index (settings order: Back, Forward, Refresh,
// Stop, Print, Search, About, Home), as a bitmap file.
std::vector<uint8_t> DefaultGlyphFile(int index);

// The window icon: an icon file with 16, 24, 32 and 48 pixel images of 32
// bits (with the mask older systems read). Every pixel is either opaque or
// left out.
std::vector<uint8_t> DefaultIconFile();
