// Files a test book is made of, built in memory: the book's icon, a toolbar
// glyph, and the hex text config.ini holds binary values in.
#pragma once

#include <cstdint>
#include <string>

// A valid icon file: one 32 x 32 image with 32-bit pixels.
std::string IconFile();
std::string Hex(const std::string& bytes);
// A 24-bit bitmap file of width × height filled with one colour
// (0x00RRGGBB): a toolbar glyph.
std::string GlyphFile(int width, int height, uint32_t colour = 0x00C08040);
