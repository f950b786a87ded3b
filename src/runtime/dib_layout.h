// The layout of a bitmap file (.bmp): what its info header says about the
// colour table and the pixels that follow, and the rules every reader of
// bitmap files in this project applies, so that the viewer's loader and the
// book checker accept exactly the same files.
#pragma once

#include <cstdint>
#include <string>

// Compression codes of the info header.
enum : uint32_t { kDibRgb = 0, kDibRle8 = 1, kDibRle4 = 2, kDibBitFields = 3 };

// Size of the file header in front of the info header.
inline constexpr uint32_t kBitmapFileHeaderSize = 14;

struct TDibLayout {
  uint32_t HeaderSize = 0;
  bool Core = false;  // the old 12-byte header with 16-bit sizes
  int64_t Width = 0;
  int64_t Height = 0;  // negative: rows top first
  int BitCount = 0;
  uint32_t Compression = kDibRgb;
  uint32_t SizeImage = 0;
  // Bytes of colour table (and of bit masks after a 40-byte header) that
  // follow the info header.
  uint64_t TableBytes = 0;

  bool RunLength() const { return Compression == kDibRle8 || Compression == kDibRle4; }
  // Bytes of pixel data: the compressed size, or whole 32-bit aligned rows.
  uint64_t PixelBytes() const;
};

// The info header sizes the readers accept: 12, 40, 52, 56, 108 and 124.
bool IsKnownDibHeaderSize(uint32_t size);

// Reads the info header at info (HeaderSize bytes, starting with the size
// field, which must be a known size). Returns an empty text when the
// picture is one the viewer can hold (at most 2^27 pixels: it is kept at 32
// bits per pixel in one DIB section), else why not ("no picture size",
// "7 bits per pixel", "unsupported compression", "too large", "colour table
// too long", "compressed pixels of unknown size").
std::string ReadDibLayout(const uint8_t* info, TDibLayout& layout);
