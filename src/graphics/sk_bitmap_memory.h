// The platform seam of TskBitmap: where pixel memory comes from and what a
// system colour is. On Windows (sk_bitmap_win.cpp) the memory is a top-down
// 32-bit DIB section selected into its own memory device context; elsewhere
// (sk_bitmap_posix.cpp) it is zeroed heap memory and the "device context" is
// only an identity for the bitmap registry.
#pragma once

#include <cstdint>

#include "graphics/sk_pixel_routines.h"

class TskPixelMemory {
 public:
  // width, height > 0 and width × height ≤ TskBitmap::kMaxPixels. The
  // pixels start all zero. Raises ESkBitmapError "Can't allocate the DIB
  // handle", "Can't create compatible DC" or "Can't select an object into
  // DC"; nothing is left allocated then.
  TskPixelMemory(int32_t width, int32_t height);
  ~TskPixelMemory();
  TskPixelMemory(const TskPixelMemory&) = delete;
  TskPixelMemory& operator=(const TskPixelMemory&) = delete;

  TskPixel* Bits() const { return bits_; }
  void* DeviceContext() const { return deviceContext_; }
  void* DibHandle() const { return dib_; }

 private:
  void Release();

  TskPixel* bits_ = nullptr;
  void* deviceContext_ = nullptr;
  void* dib_ = nullptr;
  void* previousBitmap_ = nullptr;
};

// The current RGB (0x00BBGGRR) of system colour index (COLOR_BTNFACE, ...).
uint32_t SystemColorRgb(int index);
