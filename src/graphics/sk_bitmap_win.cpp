// Pixel memory on Windows: a top-down 32-bit DIB section permanently
// selected into its own memory device context. Platform drawing into that
// context and direct access through Bits() touch the same memory; callers
// that read pixels right after platform drawing flush the batch first.
#include <windows.h>

#include "graphics/sk_bitmap.h"
#include "graphics/sk_bitmap_memory.h"

TskPixelMemory::TskPixelMemory(int32_t width, int32_t height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // negative: rows top to bottom
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib == nullptr || bits == nullptr) {
    if (dib != nullptr) DeleteObject(dib);
    throw ESkBitmapError("Can't allocate the DIB handle");
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    DeleteObject(dib);
    throw ESkBitmapError("Can't create compatible DC");
  }
  HGDIOBJ previous = SelectObject(dc, dib);
  if (previous == nullptr || previous == HGDI_ERROR) {
    DeleteDC(dc);
    DeleteObject(dib);
    throw ESkBitmapError("Can't select an object into DC");
  }
  // Section memory comes zero-filled from the system.
  bits_ = static_cast<TskPixel*>(bits);
  dib_ = dib;
  deviceContext_ = dc;
  previousBitmap_ = previous;
}

TskPixelMemory::~TskPixelMemory() { Release(); }

void TskPixelMemory::Release() {
  if (deviceContext_ != nullptr) {
    SelectObject(static_cast<HDC>(deviceContext_), static_cast<HGDIOBJ>(previousBitmap_));
    DeleteDC(static_cast<HDC>(deviceContext_));
  }
  if (dib_ != nullptr) DeleteObject(static_cast<HGDIOBJ>(dib_));
  bits_ = nullptr;
  dib_ = nullptr;
  deviceContext_ = nullptr;
  previousBitmap_ = nullptr;
}

uint32_t SystemColorRgb(int index) { return GetSysColor(index); }
