// The innermost pixel loops of the bitmap library, as a table of routines
// chosen once per process: a plain variant that follows the blending formula
// exactly, and on x86 processors with SSE2 a variant that blends the four
// components of a pixel at once on 16-bit lanes.
//
// Invariant shared by both tables: blending a pixel of alpha 0 leaves the
// destination untouched, alpha 255 copies the source, and any other alpha
// gives colour components within one step of the plain formula and alpha 255.
// Only the colour components may differ between the two tables, so nothing
// that tests alpha afterwards (DetectAlpha, MergeUnder, another blended draw)
// depends on the processor.
#pragma once

#include <cstddef>
#include <cstdint>

// 0xAARRGGBB; in memory blue, green, red, alpha. Alpha is not premultiplied.
using TskPixel = uint32_t;

struct TskPixelRoutines {
  const char* Name;
  // source over destination with the source's alpha.
  TskPixel (*BlendPixel)(TskPixel source, TskPixel destination);
  // Per pixel: alpha 0 skipped, 255 copied, anything else blended.
  void (*BlendRow)(TskPixel* destination, const TskPixel* source, size_t count);
  // Pixels whose colour part is not the key colour are written with alpha
  // 255; key pixels are skipped.
  void (*KeyCopyRow)(TskPixel* destination, const TskPixel* source, size_t count);
  // memmove semantics: the two rows may overlap.
  void (*CopyRow)(TskPixel* destination, const TskPixel* source, size_t count);
  void (*FillPixels)(TskPixel* destination, size_t count, TskPixel value);
  void (*SetAlphaPixels)(TskPixel* destination, size_t count, uint8_t alpha);
  // Pixels whose colour part equals colour (0x00RRGGBB) get alpha 0.
  void (*ClearAlphaOfColor)(TskPixel* destination, size_t count, TskPixel colour);
};

const TskPixelRoutines& PlainPixelRoutines();
// nullptr when this build or this processor has no SSE2.
const TskPixelRoutines* ExtensionPixelRoutines();
// The table in use, chosen on first call.
const TskPixelRoutines& PixelRoutines();
