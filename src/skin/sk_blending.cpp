#include "skin/sk_blending.h"

#include <algorithm>

#include "forms/graphics.h"
#include "runtime/scope_exit.h"

TskPixel MixPixels(TskPixel a, TskPixel b, int weight) {
  auto channel = [&](int shift) {
    const int x = static_cast<int>((a >> shift) & 0xFF), y = static_cast<int>((b >> shift) & 0xFF);
    return static_cast<TskPixel>((x * weight + y * (255 - weight)) / 255) << shift;
  };
  return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

TskPixel BackgroundPixel(const TskBitmap* background, int x, int y) {
  if (background == nullptr || x < 0 || y < 0 || x >= background->Width() || y >= background->Height()) {
    return 0xFF000000u;
  }
  return background->Row(y)[x];
}

bool CaptureScreen(TskBitmap& picture, const TRect& screenBounds) {
  const int width = screenBounds.Right - screenBounds.Left, height = screenBounds.Bottom - screenBounds.Top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  const TScopeExit release([screen] { ReleaseDC(nullptr, screen); });
  picture.SetSize(width, height);
  const bool copied =
      BitBlt(picture.DC(), 0, 0, width, height, screen, screenBounds.Left, screenBounds.Top, SRCCOPY) != FALSE;
  GdiFlush();
  return copied;
}

void ComposeShadowAndBlending(TskBitmap& buffer, const TskBitmap* background, int shapeWidth, int shapeHeight,
                              const TRect& opaque, const TSkBlending& blending, int shadow) {
  GdiFlush();
  auto under = [&](int x, int y) { return BackgroundPixel(background, x, y); };
  constexpr TskPixel kShadowColor = 0xFF3F3F3Fu;  // red, green and blue 63
  constexpr int kShadowAlpha = 128;
  // The window is the shape and its shadow band; a shared buffer may be larger.
  const int width = std::min(buffer.Width(), shapeWidth + shadow);
  const int height = std::min(buffer.Height(), shapeHeight + shadow);
  for (int y = 0; y < height; ++y) {
    TskPixel* row = buffer.Row(y);
    for (int x = 0; x < width; ++x) {
      if (x < shapeWidth && y < shapeHeight) {
        if (blending.Enabled() && !PointInRect(opaque, x, y)) row[x] = MixPixels(row[x], under(x, y), blending.Value());
        continue;
      }
      if (shadow == 0 || x < shadow || y < shadow) continue;
      // The band fades in over its first Size pixels at both of its ends.
      int alpha = kShadowAlpha;
      if (y < 2 * shadow) alpha = alpha * (y - shadow + 1) / (shadow + 1);
      if (x < 2 * shadow) alpha = alpha * (x - shadow + 1) / (shadow + 1);
      row[x] = MixPixels(kShadowColor, under(x, y), alpha);
    }
  }
}

HRGN RegionWithShadow(HRGN shape, int shapeWidth, int shapeHeight, int shadow) {
  if (shadow <= 0) return shape;
  HRGN region = shape != nullptr ? shape : CreateRectRgn(0, 0, shapeWidth, shapeHeight);
  HRGN moved = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(moved, region, nullptr, RGN_COPY);
  OffsetRgn(moved, shadow, shadow);
  CombineRgn(region, region, moved, RGN_OR);
  DeleteObject(moved);
  return region;
}
