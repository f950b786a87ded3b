// Drawing a TskBitmap into device contexts, and exchanging pictures with the
// platform's bitmaps. Windows only.
//
// DrawRect picks the fastest route that gives the same pixels:
//   1. the context belongs to a TskBitmap: bitmap to bitmap in memory;
//   2. the context holds a 32-bit bottom-up DIB section: straight into its
//      memory;
//   3. otherwise the platform's blits, with a read-modify-write through a
//      temporary bitmap for blending (and for the key colour when the
//      transparent blit is not usable).
// Routes 1 and 2 work in device units: the destination is shifted by the
// context's window and viewport origins, and they are taken only when the
// destination lies inside a rectangular clip (the blits clip for the rest). Every direct memory access is preceded by a
// GdiFlush so that batched platform drawing has landed.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/scope_exit.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_api_win.h"

namespace {

// The memory of a 32-bit uncompressed bottom-up DIB section selected into
// dc, if that is what it holds.
bool BottomUpDibOf(HDC dc, TskPixelBuffer& buffer) {
  HGDIOBJ object = GetCurrentObject(dc, OBJ_BITMAP);
  DIBSECTION section{};
  if (object == nullptr || GetObjectA(object, sizeof section, &section) != sizeof section) return false;
  if (section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr || section.dsBmih.biHeight <= 0 ||
      section.dsBmih.biCompression != BI_RGB) {
    return false;
  }
  buffer = TskPixelBuffer{static_cast<TskPixel*>(section.dsBm.bmBits), section.dsBm.bmWidth,
                          section.dsBm.bmHeight, true};
  return true;
}

}  // namespace

HDC TskBitmap::DC() const { return static_cast<HDC>(const_cast<void*>(DeviceContext())); }

void TskBitmap::Draw(HDC dc, int32_t x, int32_t y) const { Draw(dc, x, y, Bounds()); }

void TskBitmap::Draw(HDC dc, int32_t x, int32_t y, const TRect& source) const {
  const auto edge = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX)); };
  DrawRect(dc, TRect{x, y, edge(int64_t{x} + RectWidth(source)), edge(int64_t{y} + RectHeight(source))}, source);
}

void TskBitmap::DrawRect(HDC dc, const TRect& destination, const TRect& source) const {
  if (IsEmpty() || dc == nullptr || IsRectEmpty(destination) || IsRectEmpty(source) || !Contains(source, Bounds())) {
    return;
  }
  // Logical to device units: a parent painting a child moves the viewport
  // origin, a scrolled view the window origin.
  POINT windowOrigin{};
  POINT viewportOrigin{};
  GetWindowOrgEx(dc, &windowOrigin);
  GetViewportOrgEx(dc, &viewportOrigin);
  const TRect shifted =
      OffsetRect(destination, viewportOrigin.x - windowOrigin.x, viewportOrigin.y - windowOrigin.y);
  // The memory routes know nothing of clipping: they serve only a
  // destination that lies wholly inside a rectangular clip.
  RECT clipBox{};
  const int clipKind = GetClipBox(dc, &clipBox);
  if (clipKind == NULLREGION) return;
  const bool unclipped =
      clipKind == SIMPLEREGION &&
      Contains(destination, TRect{clipBox.left, clipBox.top, clipBox.right, clipBox.bottom});

  if (TskBitmap* target = FromDeviceContext(dc); target != nullptr && unclipped) {
    GdiFlush();
    DrawOnto(*target, shifted, source);
    return;
  }
  TskPixelBuffer dib;
  if (unclipped && BottomUpDibOf(dc, dib)) {
    GdiFlush();
    DrawToPixels(dib, shifted, source);
    return;
  }

  const TskPlatformFunctions& platform = PlatformFunctions();
  if (!AlphaBlend && Transparent && platform.UseTransparentBlt) {
    platform.TransparentBlt(dc, destination.Left, destination.Top, static_cast<int>(RectWidth(destination)),
                            static_cast<int>(RectHeight(destination)), DC(), source.Left, source.Top,
                            static_cast<int>(RectWidth(source)), static_cast<int>(RectHeight(source)), kKeyColor);
    return;
  }
  if (!AlphaBlend && !Transparent) {
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, destination.Left, destination.Top, static_cast<int>(RectWidth(destination)),
               static_cast<int>(RectHeight(destination)), DC(), source.Left, source.Top,
               static_cast<int>(RectWidth(source)), static_cast<int>(RectHeight(source)), SRCCOPY);
    SetStretchBltMode(dc, oldMode);
    return;
  }

  // Read-modify-write. Only the visible part of the destination is copied
  // out, so a huge destination does not make a huge temporary bitmap; the
  // image is still placed by the whole destination.
  TRect visible = destination;
  if (clipKind != ERROR) {
    visible = IntersectRects(destination, TRect{clipBox.left, clipBox.top, clipBox.right, clipBox.bottom});
  }
  if (IsRectEmpty(visible)) return;
  const int width = static_cast<int>(RectWidth(visible));
  const int height = static_cast<int>(RectHeight(visible));
  TskBitmap scratch;
  scratch.SetSize(width, height);
  BitBlt(scratch.DC(), 0, 0, width, height, dc, visible.Left, visible.Top, SRCCOPY);
  GdiFlush();
  DrawOnto(scratch, OffsetRect(destination, -visible.Left, -visible.Top), source);
  BitBlt(dc, visible.Left, visible.Top, width, height, scratch.DC(), 0, 0, SRCCOPY);
}

void TskBitmap::Tile(HDC dc, const TRect& destination, const TRect& source, const TRect& clip) const {
  ForEachTile(destination, source, clip, [&](const TRect& d, const TRect& s) { DrawRect(dc, d, s); });
}

void TskBitmap::AssignBitmapHandle(HBITMAP bitmap) {
  DIBSECTION section{};
  if (GetObjectA(bitmap, sizeof section, &section) == sizeof section && section.dsBm.bmBitsPixel == 32 &&
      section.dsBm.bmBits != nullptr) {
    // The header keeps the orientation in the sign of its height.
    const int32_t width = section.dsBm.bmWidth;
    const int32_t height = static_cast<int32_t>(std::abs(section.dsBmih.biHeight));
    const bool bottomUp = section.dsBmih.biHeight > 0;
    SetSize(width, height);
    if (IsEmpty()) return;
    GdiFlush();
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    for (int32_t y = 0; y < height; ++y) {
      const int32_t from = bottomUp ? height - 1 - y : y;
      std::copy_n(reinterpret_cast<const TskPixel*>(bits + int64_t{from} * section.dsBm.bmWidthBytes), width, Row(y));
    }
    DetectAlpha();
    return;
  }
  BITMAP info{};
  if (GetObjectA(bitmap, sizeof info, &info) == 0) return;
  SetSize(info.bmWidth, info.bmHeight);
  if (IsEmpty()) return;
  HDC source = CreateCompatibleDC(nullptr);
  if (source == nullptr) return;
  {
    const TSelectObject select(source, bitmap);
    BitBlt(DC(), 0, 0, width_, height_, source, 0, 0, SRCCOPY);
  }
  DeleteDC(source);
  GdiFlush();
  SetAlpha(255);
}

HBITMAP TskBitmap::CreateBitmapHandle() const {
  if (IsEmpty()) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = height_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    DeleteObject(bitmap);
    return nullptr;
  }
  {
    const TSelectObject select(dc, bitmap);
    Draw(dc, 0, 0);
  }
  DeleteDC(dc);
  return bitmap;
}

void TskBitmap::LoadFromResource(const std::string& moduleFile, const std::string& resourceName) {
  HMODULE module = LoadLibraryExA(moduleFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return;
  const TScopeExit release([module] { FreeLibrary(module); });

  HRSRC resource = FindResourceA(module, resourceName.c_str(), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  if (resource == nullptr) return;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr || SizeofResource(module, resource) < sizeof(BITMAPINFOHEADER)) return;
  BITMAPINFOHEADER header;
  std::memcpy(&header, data, sizeof header);

  // A 32-bit image keeps its alpha only as a DIB section; other depths may
  // go through the platform's own bitmap loader.
  HBITMAP bitmap = nullptr;
  if (header.biBitCount != 32) bitmap = LoadBitmapA(module, resourceName.c_str());
  if (bitmap == nullptr) {
    bitmap = static_cast<HBITMAP>(LoadImageA(module, resourceName.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  }
  if (bitmap == nullptr) return;
  AssignBitmapHandle(bitmap);
  DeleteObject(bitmap);
}
